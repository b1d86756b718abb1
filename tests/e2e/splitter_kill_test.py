#!/usr/bin/env python3
"""The program killed by its process id in the middle of a merge and of a split (the
"生成恢复文件" box ticked, its default): afterwards no file under a final name is a part.
A 1 GiB set is split whole first; the merge of it is killed while the caption shows its
percentage (no output under its name); then a split of another file into the same folder is
killed (every piece under its name is a whole piece of one of the two files, never of both,
and a recovery piece under its name belongs to the pieces beside it)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e import check, check_equal, log, run, wait_until  # noqa: E402
from splitter_test import dialog, page_controls  # noqa: E402

MIB = 1024 * 1024
SIZE = 1024 * MIB
PIECE_MB = 64
PIECE = PIECE_MB * MIB
COUNT = SIZE // PIECE
OUTPUT_WIN = "C:\\e2e\\out\\merged.img"


def write_source(path, seed):
    """SIZE bytes that differ from piece to piece and between seeds."""
    block = os.urandom(MIB)
    with open(path, "wb") as f:
        for i in range(SIZE // MIB):
            f.write(bytes([(seed * 31 + i) % 251]) + block[1:])


def piece_of(path, k):
    with open(path, "rb") as f:
        f.seek((k - 1) * PIECE)
        return f.read(PIECE)


def parity_of(path):
    acc = 0
    with open(path, "rb") as f:
        while True:
            chunk = f.read(PIECE)
            if not chunk:
                break
            acc ^= int.from_bytes(chunk.ljust(PIECE, b"\0"), "big")
    return acc.to_bytes(PIECE, "big")


def wait_percent(s, main, working):
    """Waits until the caption shows the work under way, short of its end."""
    def under_way():
        caption = s.probe.text(main)
        if not caption.startswith(working + " ") or not caption.endswith("%"):
            return False
        return 0 < int(caption[len(working) + 1:-1]) < 90
    wait_until("%s under way" % working, under_way, timeout=60, interval=0.05)


def split_into(s, c, source_win, folder_name):
    s.replace_text(c["split_source"], source_win)
    s.probe.click(c["split"])
    d = dialog(s, "选择文件夹")
    s.tab_to("SysTreeView32")
    s.probe("type", folder_name)
    s.probe("keys", "ENTER")
    s.probe.wait_gone(d["hwnd"])


def test(s):
    user = [u for u in os.listdir(s.unix_path("C:\\users")) if u != "Public"][0]
    pieces_win = "C:\\users\\%s\\Desktop\\e2ekill" % user
    first_win, second_win = "C:\\e2e\\src\\first.img", "C:\\e2e\\src\\second.img"
    first, second = s.unix_path(first_win), s.unix_path(second_win)
    os.makedirs(os.path.dirname(first))
    os.makedirs(os.path.dirname(s.unix_path(OUTPUT_WIN)))
    folder = s.unix_path(pieces_win)
    os.makedirs(folder)
    write_source(first, 1)
    write_source(second, 2)

    pid = s.start_program()
    main = s.wait_main_window()["hwnd"]
    c = page_controls(s, main)
    s.replace_text(c["piece_size"], str(PIECE_MB))
    log("a whole split of the first file")
    split_into(s, c, first_win, "e2ekill")
    s.wait_caption(main, "分割完成", timeout=120)
    names = ["%d.ds" % k for k in range(1, COUNT + 1)]
    check_equal(sorted(os.listdir(folder)), sorted(["0.ds", "恢复.dsr"] + names), "the set")

    log("the merge killed half-way")
    s.probe.click(c["pick"])
    d = dialog(s, "打开")
    s.type_into_focus(pieces_win)
    wait_until("the dialog in the pieces folder", lambda: s.probe.text(s.focused()["hwnd"]) == "",
               timeout=10)
    s.type_into_focus(" ".join('"%s"' % n for n in ["0.ds"] + names))
    s.probe.wait_gone(d["hwnd"])
    s.probe.click(c["merge"])
    d = dialog(s, "另存为")
    s.type_into_focus(OUTPUT_WIN)
    s.probe.wait_gone(d["hwnd"])
    wait_percent(s, main, "正在合并，请稍侯...")
    s.probe("kill", pid)
    out = os.listdir(os.path.dirname(s.unix_path(OUTPUT_WIN)))
    check("merged.img" not in out, "a killed merge left its output under its name: %r" % out)

    log("a split of the second file into the same folder killed half-way")
    pid = s.start_program()
    main = s.wait_main_window()["hwnd"]
    c = page_controls(s, main)
    s.replace_text(c["piece_size"], str(PIECE_MB))
    split_into(s, c, second_win, "e2ekill")
    wait_percent(s, main, "正在分割，请稍侯...")
    s.probe("kill", pid)
    present = sorted(os.listdir(folder))
    log("left: %s" % " ".join(present))
    numbered = sorted(int(n[:-3]) for n in present if n.endswith(".ds") and n != "0.ds")
    owners = set()
    for k in numbered:
        piece = open(os.path.join(folder, "%d.ds" % k), "rb").read()
        if piece == piece_of(first, k):
            owners.add("first")
        elif piece == piece_of(second, k):
            owners.add("second")
        else:
            check(False, "%d.ds is no whole piece of either file (%d bytes)" % (k, len(piece)))
    check(len(owners) <= 1, "pieces of both files side by side: %r" % numbered)
    if "second" in owners:
        check_equal(numbered, list(range(1, len(numbered) + 1)), "the new set's first pieces")
    if "恢复.dsr" in present:
        check_equal(numbered, list(range(1, COUNT + 1)), "pieces beside a recovery piece")
        check(owners == {"first"}, "a recovery piece beside a part of a set")
        check(open(os.path.join(folder, "恢复.dsr"), "rb").read() == parity_of(first),
              "the recovery piece is not the first set's")
    # The older 0.ds went aside when the second split began, and the new one takes its name
    # only once its set is whole: no Index piece makes what is left look like a set.
    check("0.ds" not in present, "an Index piece beside a split cut off: %r" % present)


if __name__ == "__main__":
    run(test)
