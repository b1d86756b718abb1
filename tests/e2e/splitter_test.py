#!/usr/bin/env python3
"""The splitter through Wine's real dialogs, driven by the keyboard: a merge with an empty
list does nothing; a 2.5 MiB file split into 1 MB pieces through the open dialog and the
folder dialog; the pieces chosen in the multiple-selection dialog and merged through the
save dialog, byte for byte; a selection that lacks a piece is refused."""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e import (NORMAL_CAPTION, check, check_equal, find, log, run, wait_until)  # noqa: E402

SOURCE_WIN = "C:\\e2e\\src\\archive.rar"
OUTPUT_WIN = "C:\\e2e\\out\\merged.rar"
PIECE = 1024 * 1024


def page_controls(s, main):
    tree = s.probe.tree(main)
    buttons = {}
    for b in find(tree, cls="Button", many=True):
        if int(b["style"], 16) & 0xF != 7:  # group boxes share captions with buttons
            buttons[b["text"]] = b["hwnd"]
    edits = sorted(find(tree, cls="Edit", visible=True, many=True),
                   key=lambda n: (n["rect"][1], n["rect"][0]))
    return {"split_source": edits[0]["hwnd"], "piece_size": edits[1]["hwnd"],
            "choose": buttons["..."], "split": buttons["分割文件"],
            "pick": buttons["选择文件"], "merge": buttons["合并文件"],
            "list": find(tree, cls="ListBox", visible=True)["hwnd"]}


def dialog(s, title):
    d = s.probe.wait_window(cls="#32770", title=title)
    wait_until("the focus in the %s dialog" % title,
               lambda: (s.focused() or {}).get("class") in ("Edit", "Button", "SysTreeView32"),
               timeout=10)
    return d


def test(s):
    user = [u for u in os.listdir(s.unix_path("C:\\users")) if u != "Public"][0]
    pieces_win = "C:\\users\\%s\\Desktop\\e2epieces" % user
    data = bytes((i * 7 + i // 4096) % 256 for i in range(PIECE * 5 // 2))
    os.makedirs(os.path.dirname(s.unix_path(SOURCE_WIN)))
    os.makedirs(os.path.dirname(s.unix_path(OUTPUT_WIN)))
    os.makedirs(s.unix_path(pieces_win))
    with open(s.unix_path(SOURCE_WIN), "wb") as f:
        f.write(data)

    s.start_program()
    main = s.wait_main_window()["hwnd"]
    c = page_controls(s, main)

    log("merge with an empty list: nothing happens")
    s.probe.click(c["merge"])
    # The click reached the button (it took the focus), and nothing followed.
    wait_until("the merge button focused", lambda: s.focused()["hwnd"] == c["merge"], timeout=10)
    s.no_window_appears("#32770", 2)
    check_equal(s.probe.text(main), NORMAL_CAPTION, "caption after the refused merge")

    log("split: 1 MB pieces of a 2.5 MiB file")
    s.replace_text(c["piece_size"], "1")
    s.probe.click(c["choose"])
    d = dialog(s, "打开")
    s.type_into_focus(SOURCE_WIN)
    s.probe.wait_gone(d["hwnd"])
    check_equal(s.probe.text(c["split_source"]), SOURCE_WIN, "file to split")
    s.probe.click(c["split"])
    d = dialog(s, "选择文件夹")
    tree = s.probe.tree(d["hwnd"])
    check(find(tree, cls="Static", text="选择保存目录:"), "folder dialog title line")
    s.tab_to("SysTreeView32")
    s.probe("type", "e2epieces")
    s.probe("keys", "ENTER")
    s.probe.wait_gone(d["hwnd"])
    s.wait_caption(main, "分割完成")
    folder = s.unix_path(pieces_win)
    check_equal(sorted(os.listdir(folder)), ["0.ds", "1.ds", "2.ds", "3.ds", "恢复.dsr"],
                "piece set files (the recovery piece, ticked by default)")
    # "kzm" as older versions wrote it, then the record of sizes and XXH3-128 digests (the
    # merge below checks their values), the recovery piece and "hashalg" last.
    # An INI file the profile functions made: in the system's ANSI code page (936 here).
    with open(os.path.join(folder, "0.ds"), "rb") as f:
        index = f.read().decode("gbk")
    digest = "[0-9a-f]{32}"
    pattern = ("\\[fghb\\]\r\nkzm=\\.rar\r\nfilesize=%d\r\npiecesize=%d\r\npieces=3\r\n"
               "hash1=D\r\nhash2=D\r\nhash3=D\r\nhash=D\r\nrecovery=恢复\\.dsr\r\n"
               "recoverysize=%d\r\nrecoveryhash=D\r\nhashalg=XXH3-128\r\n"
               % (len(data), PIECE, PIECE)).replace("D", digest)
    check(re.fullmatch(pattern, index), "index piece: %r" % index)
    for k in (1, 2, 3):
        with open(os.path.join(folder, "%d.ds" % k), "rb") as f:
            check(f.read() == data[(k - 1) * PIECE:k * PIECE], "piece %d.ds differs" % k)
    parity = bytearray(PIECE)
    for k in range(3):
        part = data[k * PIECE:(k + 1) * PIECE]
        parity[:len(part)] = (int.from_bytes(parity[:len(part)], "big") ^
                              int.from_bytes(part, "big")).to_bytes(len(part), "big")
    with open(os.path.join(folder, "恢复.dsr"), "rb") as f:
        check(f.read() == bytes(parity), "the recovery piece is not the XOR of the pieces")

    log("merge: the four pieces through the selection and save dialogs")
    s.probe.click(c["pick"])
    d = dialog(s, "打开")
    s.type_into_focus(pieces_win)                      # into the folder first
    wait_until("the dialog in the pieces folder", lambda: s.probe.text(s.focused()["hwnd"]) == "",
               timeout=10)
    s.type_into_focus('"0.ds" "1.ds" "2.ds" "3.ds"')
    s.probe.wait_gone(d["hwnd"])
    rows = ["%s\\%d.ds" % (pieces_win, k) for k in range(4)]
    check_equal(s.probe("listbox", c["list"])["rows"], rows, "merge list")
    s.probe.click(c["merge"])
    d = dialog(s, "另存为")
    tree = s.probe.tree(d["hwnd"])
    check_equal(s.probe.text(s.focused()["hwnd"]), "ds.rar", "proposed output name")
    types = find(tree, cls="ComboBox", text="*.rar")
    check_equal(s.probe("combobox", types["hwnd"])["rows"], ["*.rar"], "output file types")
    s.type_into_focus(OUTPUT_WIN)
    s.probe.wait_gone(d["hwnd"])
    s.wait_caption(main, "合并完成")
    with open(s.unix_path(OUTPUT_WIN), "rb") as f:
        check(f.read() == data, "the merged file differs from the source")

    log("a selection without 2.ds is refused")
    s.probe.click(c["pick"])
    d = dialog(s, "打开")
    s.type_into_focus(pieces_win)
    wait_until("the dialog in the pieces folder", lambda: s.probe.text(s.focused()["hwnd"]) == "",
               timeout=10)
    s.type_into_focus('"0.ds" "1.ds" "3.ds"')
    s.probe.wait_gone(d["hwnd"])
    rows += ["%s\\%d.ds" % (pieces_win, k) for k in (0, 1, 3)]
    check_equal(s.probe("listbox", c["list"])["rows"], rows, "merge list after a second choice")
    os.unlink(s.unix_path(OUTPUT_WIN))
    s.probe.click(c["merge"])
    box, caption, text, tree = s.message_box(owner=main)
    check_equal(caption, "温馨提示", "caption of the refusal")
    check_equal(text, "缺少分割文件：%s\\2.ds\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。"
                % pieces_win, "refusal text")
    s.answer_message_box(tree)
    s.no_window_appears("#32770", 1)
    check(not os.path.exists(s.unix_path(OUTPUT_WIN)), "a refused merge wrote its output")
    check_equal(s.probe.text(main), "合并完成", "caption after the refusal")


if __name__ == "__main__":
    run(test)
