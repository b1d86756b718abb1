#!/usr/bin/env python3
"""A user's first start: the caption, the five tabs in order with the first one shown, every
text of the About tab and of the contact strip, the e-mail link's clipboard copy, and the
settings written (config.ini with firstrun=0, the launch counter created at 3)."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e import (NORMAL_CAPTION, check, check_equal, find, log,  # noqa: E402
                 reading_order, run, wait_until)

TABS = ["分割文件", "虚拟硬盘", "IE修复", "系统启动项", "关于"]
ABOUT = [
    "Mirtak工作小组开发",
    "本工作小组可接受定制开发各种应用程序",
    "如：进销存系列管理软件，会员管",
    "理软件，人事工资，考勤管理等各种管理系统，可针对硬件连接性开发，如语",
    "音盒，指纹考勤机，打印机，条码扫描枪，来电显示盒，客显设备，各种IC卡，RF卡，ID卡，磁条卡"
    "等所有卡",
    "类，也可定制即时通讯软件（IM），系统自动优化等工具的开发",
    "本程序功能：",
    "1.分割文件  （可以把大文件分割成小文件带走，然后再合并成原来的文件） ",
    "2.虚拟硬盘  （把文件夹虚拟成物理盘，解决文件夹多，不容易找到的问题） ",
    "3.IE修复    （修复IE默认主页被篡改的问题，被三方软件安装插件等问题）",
    "4.系统启动项（可添加系统开机自动启动软件，删除已有开机启动项）",
]
CONTACT = ["E-Mail:", "mt@mirtak.example", "QQ:", "800012345", "官方网站:",
           "www.mirtak.example", "问题反馈"]
SS_NOTIFY = 0x100


def visible_pages(tree):
    return [n for n in tree["children"] if n["class"] == "TMtPage" and n["visible"]]


def test(s):
    check(not os.path.exists(os.path.join(s.install_dir, "config.ini")), "config.ini before start")
    pid = s.start_program()
    main = s.wait_main_window()
    hwnd = main["hwnd"]
    check_equal(main["text"], NORMAL_CAPTION, "caption")
    check(not s.probe.windows(cls="TFhzPortal"), "an offer dialog at the first start")

    tree = s.probe.tree(hwnd)
    tabs = find(tree, cls="SysTabControl32")["hwnd"]
    got = s.probe("tabs", tabs)
    check_equal(got["tabs"], TABS, "tab captions")
    check_equal(got["selected"], 0, "selected tab")
    pages = visible_pages(tree)
    check_equal(len(pages), 1, "pages shown")
    check(find(pages[0], cls="Button", text="选择文件"), "the splitter page is shown")

    log("the About tab, by a click on its tab")
    s.probe.retry(lambda: s.probe("tab-click", tabs, 4))
    wait_until("the About tab selected", lambda: s.probe("tabs", tabs)["selected"] == 4)
    tree = s.probe.tree(hwnd)
    pages = visible_pages(tree)
    check_equal(len(pages), 1, "pages shown on the About tab")
    labels = [n for n in reading_order(find(pages[0], cls="Static", many=True)) if n["text"]]
    check_equal([n["text"] for n in labels], ABOUT, "About texts, top to bottom")
    check(not labels[0]["enabled"], "the first About line is greyed")
    check(all(n["enabled"] for n in labels[1:]), "the other About lines are not greyed")

    strip = reading_order([n for n in tree["children"] if n["class"] == "Static"])
    check_equal([n["text"] for n in strip], CONTACT, "contact strip, left to right")
    rows = {n["rect"][1] for n in strip}
    check_equal(len(rows), 1, "the contact strip is one row")
    links = [n["text"] for n in strip if int(n["style"], 16) & SS_NOTIFY]
    check_equal(links, ["mt@mirtak.example", "800012345", "www.mirtak.example", "问题反馈"],
                "clickable contact labels")

    log("the e-mail link copies the address")
    s.probe.click(find(tree, cls="Static", text="mt@mirtak.example")["hwnd"])
    box, caption, text, box_tree = s.message_box(owner=hwnd)
    check_equal((caption, text), ("温馨提示", "邮箱地址已复制到剪贴板"), "notice after copying")
    check_equal(s.probe("clipboard"), "mt@mirtak.example", "clipboard")
    s.answer_message_box(box_tree)

    log("settings written by the first start")
    ini = os.path.join(s.install_dir, "config.ini")
    wait_until("config.ini", lambda: os.path.exists(ini), timeout=10)
    with open(ini, "rb") as f:
        check_equal(f.read(), b"[DS_config]\r\nfirstrun=0\r\n", "config.ini")
    check_equal(s.reg_value("HKCU\\Software\\MRTKBOX", "cs"), ("REG_DWORD", "0x3"),
                "launch counter after the first start")
    check_equal(s.close_and_wait(hwnd, pid), 0, "exit code")
    left = [w for w in s.probe.windows(visible_only=False) if w["pid"] == pid]
    check_equal(left, [], "windows of the ended program")


if __name__ == "__main__":
    run(test)
