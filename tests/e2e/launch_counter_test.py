#!/usr/bin/env python3
"""The launch counter across real starts of one user: three plain starts, the partner offer
at the fourth before the main window is shown, closed with its box ticked (the partner
caption and the browser start page follow), and a fifth start in the partner edition, which
neither counts nor offers."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e import (MAIN_CLASS, NORMAL_CAPTION, PARTNER_CAPTION,  # noqa: E402
                 check, check_equal, find, log, run, wait_until)

PORTAL = "http://www.xingfan-daohang.example/?tn=mirtak_1013"
COUNTER_KEY = "HKCU\\Software\\MRTKBOX"
START_PAGE_KEY = "HKCU\\Software\\Microsoft\\Internet Explorer\\Main"


def counter(s):
    return s.reg_value(COUNTER_KEY, "cs")


def main_windows(s):
    return s.probe.windows(cls=MAIN_CLASS, visible_only=False)


def plain_start(s, number, caption, counter_after):
    pid = s.start_program()
    main = s.wait_main_window()
    check_equal(main["text"], caption, "caption at start %d" % number)
    s.no_window_appears("TFhzPortal", 1.5)
    check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code of start %d" % number)
    check_equal(counter(s), counter_after, "launch counter after start %d" % number)


def test(s):
    for n, value in ((1, "0x3"), (2, "0x4"), (3, "0x5")):
        log("start %d" % n)
        plain_start(s, n, NORMAL_CAPTION, ("REG_DWORD", value))
    before = s.reg_value(START_PAGE_KEY, "Start Page")
    check(before != ("REG_SZ", PORTAL), "start page before the offer: %r" % (before,))

    log("start 4: the offer comes first")
    pid = s.start_program()
    offer = s.probe.wait_window(cls="TFhzPortal", timeout=60)
    check_equal(offer["text"], "升级为合作版", "offer caption")
    mains = main_windows(s)
    check_equal([m["visible"] for m in mains], [False], "main window while the offer is up")
    tree = s.probe.tree(offer["hwnd"])
    box = find(tree, cls="Button", text="自动选择，升级为合作版")
    check_equal(s.probe("checked", box["hwnd"]), 1, "the offer's box when it opens")
    check(find(tree, cls="Button", text="设为首页"), "the offer's button")
    wait_until("the offer in the foreground",
               lambda: (s.probe("foreground")["window"] or {}).get("hwnd") == offer["hwnd"])
    s.probe("keys", "ALT+F4")
    s.probe.wait_gone(offer["hwnd"])
    main = s.wait_main_window()
    check_equal(main["hwnd"], mains[0]["hwnd"], "the main window shown after the offer")
    s.wait_caption(main["hwnd"], PARTNER_CAPTION, timeout=10)
    check_equal(s.reg_value(START_PAGE_KEY, "Start Page"), ("REG_SZ", PORTAL),
                "start page after the offer")
    check_equal(counter(s), ("REG_DWORD", "0x1"), "launch counter after the offer")
    check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code of start 4")

    log("start 5: the partner edition neither counts nor offers")
    # A counter that would bring the offer: a start that counted would show it.
    s.wine("reg", "add", COUNTER_KEY, "/v", "cs", "/t", "REG_DWORD", "/d", "7", "/f")
    plain_start(s, 5, PARTNER_CAPTION, ("REG_DWORD", "0x7"))


if __name__ == "__main__":
    run(test)
