#!/usr/bin/env python3
"""The installer run by hand over a copy of the program that is still running: once the user
has pressed 安装, its progress page says at once that it waits for the program
("正在等待 Mirtak小工具合集 退出…"), it stays on that page while the program runs, and it
goes on by itself when the program has ended: the copy is installed over (its uninstaller and
uninstall entry appear), and the finish page comes."""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import release  # noqa: E402
from e2e import BUILD, check, check_equal, find, log, run, wait_until  # noqa: E402

WAIT_TEXT = "正在等待 Mirtak小工具合集 退出…"
# The installer's own buttons: 下一步/安装/完成, and 取消.
NEXT_ID = 1
CANCEL_ID = 2


def texts(s, hwnd):
    """The visible texts of the installer's window, its page included."""
    return [n["text"] for n in find(s.probe.tree(hwnd), many=True) if n["visible"] and n["text"]]


def next_button(s, hwnd):
    return [n for n in find(s.probe.tree(hwnd), cls="Button", many=True) if n["id"] == NEXT_ID][0]


def press_next(s, hwnd, caption):
    """Presses 下一步/安装/完成 once it carries `caption` (without its & marks) and is
    enabled."""
    def ready():
        b = next_button(s, hwnd)
        return b["enabled"] and b["text"].replace("&", "").startswith(caption) and b
    s.probe("press", wait_until("the button %s" % caption, ready, timeout=30)["hwnd"])


def test(s):
    pkg = release.package(s, BUILD, "current")
    log("the program runs from %s" % s.install_dir_win)
    pid = s.start_program()
    main = s.wait_main_window()

    log("the installer by hand, into the same folder")
    setup = s.probe("start", release.windows_path(pkg.setup), "/D=" + s.install_dir_win)["pid"]
    title = "Mirtak小工具合集 %s 安装" % pkg.version
    window = s.probe.wait_window(title=title, timeout=60)["hwnd"]
    press_next(s, window, "下一步")
    press_next(s, window, "安装")
    pressed = time.monotonic()
    wait_until("the waiting text on the progress page", lambda: WAIT_TEXT in texts(s, window),
               timeout=10, interval=0.2)
    log("said after %.1f s" % (time.monotonic() - pressed))

    log("it keeps waiting while the program runs")
    time.sleep(3)
    check(WAIT_TEXT in texts(s, window), "the waiting text went while the program still runs")
    check(not os.path.exists(os.path.join(s.install_dir, "uninst.exe")),
          "the installer wrote into the folder of the running program")
    check_equal(release.uninstall_entry(s), {}, "the uninstall entry while waiting")
    check_equal(next_button(s, window)["enabled"], False, "the next button while waiting")

    log("the program ends: the installation goes on by itself")
    check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code of the program")
    wait_until("the finish page",
               lambda: next_button(s, window)["text"].replace("&", "").startswith("完成"),
               timeout=60, interval=0.3)
    check(os.path.exists(os.path.join(s.install_dir, "uninst.exe")),
          "no uninstaller in the folder installed over")
    check_equal(release.uninstall_entry(s).get("InstallLocation"),
                ("REG_SZ", s.install_dir_win), "the uninstall entry's folder")
    # Untick "运行 ..." so that finishing starts nothing, then finish.
    run_box = [n for n in find(s.probe.tree(window), cls="Button", many=True)
               if n["visible"] and n["text"].replace("&", "").startswith("运行")]
    check_equal(len(run_box), 1, "the finish page's box that starts the program")
    if s.probe("checked", run_box[0]["hwnd"]) == 1:
        s.probe("press", run_box[0]["hwnd"])
        wait_until("the box cleared", lambda: s.probe("checked", run_box[0]["hwnd"]) == 0,
                   timeout=10)
    press_next(s, window, "完成")
    check_equal(s.wait_exit(setup, timeout=30), 0, "exit code of the installer")


if __name__ == "__main__":
    run(test)
