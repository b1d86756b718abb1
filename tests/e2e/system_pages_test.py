#!/usr/bin/env python3
"""The three pages that work on the system, on a seeded registry and Startup folders:
"虚拟硬盘" lists the mapped letters, creates one and deletes one (subst seen through a
recording program installed as the prefix's subst.exe), refuses a letter it has; "IE修复"
shows the add-ons, the settings, a hosts-file line and a hijacked Edge profile and applies the
repair; "系统启动项"
lists the four places, adds a program through the open dialog and deletes ticked items from
each place. Every
change is read back with `wine reg query` and compared whole: exactly what should change
does, nothing else."""
import copy
import os
import shutil
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e import (RECORDER, check, check_equal, find, log, run, wait_until)  # noqa: E402

HKLM_RUN = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
HKCU_RUN = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
IE_MAIN = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Internet Explorer\\Main"
HOMEPAGE_LOCK = "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel"
REGTOOLS_LOCK = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"
TOOLBARS = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Toolbar"
EXTENSIONS = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Extensions"
MENU_EXT = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Internet Explorer\\MenuExt"
TOOLBAR_ID = "{E2E00001-0000-4000-8000-000000000001}"
EXTENSION_ID = "{E2E00002-0000-4000-8000-000000000002}"
CLASS_KEY = "HKEY_CLASSES_ROOT\\CLSID\\" + TOOLBAR_ID
SHELL32 = "C:\\windows\\system32\\shell32.dll"
SUBST = "C:\\windows\\system32\\subst.exe"
USER_STARTUP = "C:\\users\\%s\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"
COMMON_STARTUP = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"
TOOLS = "C:\\e2e\\tools"
CHROME_POLICY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Google\\Chrome"
PUBLIC_DESKTOP = "C:\\users\\Public\\Desktop"
EDGE_LNK = PUBLIC_DESKTOP + "\\Microsoft Edge.lnk"
EDGE_EXE = "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe"
EDGE_IFEO = ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
             "Image File Execution Options\\msedge.exe")
EDGE_DATA = "C:\\users\\%s\\AppData\\Local\\Microsoft\\Edge\\User Data"
# The profile's settings: a home page of the hijacker's, beside settings that stay as written.
EDGE_PREFS_SEEDED = (b'{"homepage":"http://e2e-hijack.example/profile","homepage_is_newtabpage":'
                     b'false,"browser":{"window_placement":{"left":12}},"zoom":1.25}')
HOSTS = "C:\\windows\\system32\\drivers\\etc\\hosts"
HOSTS_SEEDED = b"# e2e\r\n127.0.0.1 localhost\r\n1.2.3.4 www.baidu.com\n::1 localhost"
# A folder with a blank goes into the command line and the Run value quoted.
MAPPED = '"C:\\e2e\\vd folder"'

SEED = [
    "[%s]" % HKLM_RUN,
    '"x:"="subst x: C:\\\\e2e\\\\old x"',
    '"y:"="subst y: C:\\\\e2e\\\\old y"',
    '"Tool"="C:\\\\e2e\\\\tools\\\\tool.exe"',
    '"Same"="C:\\\\e2e\\\\tools\\\\machine same.exe"',
    "[%s]" % HKCU_RUN,
    '"Helper"="C:\\\\e2e\\\\tools\\\\helper.exe --min"',
    '"Same"="C:\\\\e2e\\\\tools\\\\user same.exe"',
    "[%s]" % IE_MAIN,
    '"Start Page"="http://hijack.example/"',
    '"Window Title"="Hijacked 浏览器"',
    "[%s]" % HOMEPAGE_LOCK,
    '"homepage"=dword:00000001',
    "[%s]" % REGTOOLS_LOCK,
    '"DisableRegistryTools"=dword:00000001',
    "[%s]" % TOOLBARS,
    '"%s"=hex:00' % TOOLBAR_ID,
    "[%s]" % CLASS_KEY,
    '@="Evil Toolbar"',
    "[%s\\InprocServer32]" % CLASS_KEY,
    '@="C:\\\\windows\\\\system32\\\\shell32.dll"',
    "[%s\\%s]" % (EXTENSIONS, EXTENSION_ID),
    '"ButtonText"="Evil Button"',
    '"HotIcon"="C:\\\\windows\\\\system32\\\\shell32.dll,3"',
    "[%s\\Evil Menu]" % MENU_EXT,
    '@="res://evil.dll/menu.htm"',
    "[%s]" % CHROME_POLICY,
    '"HomepageLocation"="http://e2e-hijack.example/chrome"',
    '"RestoreOnStartup"=dword:00000004',
    # An image hijack: another program started whenever Edge is.
    "[%s]" % EDGE_IFEO,
    '"Debugger"="C:\\\\e2e-hijack\\\\nav.exe --go"',
    '"MitigationOptions"=dword:00000100',
    # subst.exe is Wine's built-in unless told to load the file in system32.
    "[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]",
    '"subst.exe"="native"',
]
WATCHED = [HKLM_RUN, HKCU_RUN, IE_MAIN, HOMEPAGE_LOCK, REGTOOLS_LOCK, TOOLBARS, EXTENSIONS,
           MENU_EXT, CLASS_KEY, CHROME_POLICY, EDGE_IFEO]


def shell_link(target, arguments):
    """A shortcut file in the shell's link format: a header, the target as a local path in
    its link information, and the arguments as Unicode text."""
    flags = 0x02 | 0x20 | 0x80  # HasLinkInfo, HasArguments, IsUnicode
    header = struct.pack("<I16sII", 0x4C, bytes.fromhex("0114020000000000c000000000000046"),
                         flags, 0x20) + bytes(8 * 3) + struct.pack("<IiiHHII", 0, 0, 1, 0, 0, 0, 0)
    volume = struct.pack("<IIII", 17, 3, 0x12345678, 16) + b"\0"
    path = target.encode("mbcs" if os.name == "nt" else "latin-1") + b"\0"
    info_header = 0x1C
    body = volume + path + b"\0"
    info = struct.pack("<IIIIIII", info_header + len(body), info_header, 1, info_header,
                       info_header + len(volume), 0, info_header + len(volume) + len(path)) + body
    args = struct.pack("<H", len(arguments)) + arguments.encode("utf-16-le")
    return header + info + args + struct.pack("<I", 0)


def registry(s):
    """Every watched key, whole."""
    out = {}
    for key in WATCHED:
        out.update(s.reg_query(key))
    return out


def controls(s, page):
    """The visible page's controls by class, in reading order."""
    tree = s.probe.tree(page)
    return tree, lambda cls: sorted(find(tree, cls=cls, visible=True, many=True),
                                    key=lambda n: (n["rect"][1], n["rect"][0]))


def show_tab(s, main, index):
    tabs = find(s.probe.tree(main), cls="SysTabControl32")["hwnd"]
    s.probe.retry(lambda: s.probe("tab-click", tabs, index))
    wait_until("tab %d selected" % index, lambda: s.probe("tabs", tabs)["selected"] == index)
    pages = [n for n in s.probe.tree(main)["children"] if n["class"] == "TMtPage" and n["visible"]]
    check_equal(len(pages), 1, "pages shown")
    return pages[0]["hwnd"]


def subst_calls(s):
    log_path = s.unix_path("C:\\windows\\system32\\subst.log")
    if not os.path.exists(log_path):
        return []
    with open(log_path, encoding="utf-8") as f:
        return f.read().splitlines()


def button(tree, text, kind):
    """The button of that caption whose style kind is `kind` (0 push, 3 check, 9 radio)."""
    hits = [b for b in find(tree, cls="Button", text=text, many=True)
            if int(b["style"], 16) & 0xF == kind]
    check_equal(len(hits), 1, "buttons %r of kind %d" % (text, kind))
    return hits[0]["hwnd"]


def virtual_drives(s, main):
    log("虚拟硬盘: list, create, refuse a listed letter, delete")
    page = show_tab(s, main, 1)
    tree, of = controls(s, page)
    listbox = of("ListBox")[0]["hwnd"]
    combo = of("ComboBox")[0]["hwnd"]
    folder_edit = [n for n in tree["children"] if n["class"] == "Edit"][0]
    check_equal(s.probe("listbox", listbox)["rows"], ["x:", "y:"], "mapped letters")
    combo_state = s.probe("combobox", combo)
    check_equal(combo_state["rows"], ["%c:" % c for c in "abcdefghijklmnopqrstuvwxyz"],
                "drive letters offered")
    check_equal(combo_state["text"], "x:", "drive letter proposed")

    before = registry(s)
    s.replace_text(folder_edit["hwnd"], "C:\\e2e\\vd folder")
    s.replace_text(find(tree, cls="Edit", text="x:")["hwnd"], "m:")
    s.probe.click(button(tree, "建立", 0))
    wait_until("m: listed", lambda: s.probe("listbox", listbox)["rows"] == ["m:", "x:", "y:"])
    wait_until("subst started", lambda: subst_calls(s))
    check_equal(subst_calls(s), ['"%s" m: %s' % (SUBST, MAPPED)], "subst command lines")
    expected = copy.deepcopy(before)
    expected[HKLM_RUN]["m:"] = ("REG_SZ", "subst m: " + MAPPED)
    check_equal(registry(s), expected, "registry after creating m:")

    s.replace_text(find(s.probe.tree(page), cls="Edit", text="m:")["hwnd"], "x:")
    s.probe.click(button(tree, "建立", 0))
    box, caption, text, box_tree = s.message_box(owner=main)
    check_equal((caption, text), ("提示", "已存在此盘，请选择另外分区"), "a listed letter refused")
    s.answer_message_box(box_tree)
    check_equal(registry(s), expected, "registry after the refusal")

    s.probe.retry(lambda: s.probe("lb-click", listbox, 1))
    wait_until("x: selected", lambda: s.probe("listbox", listbox)["selected"] == 1)
    s.probe.click(button(tree, "删除", 0))
    wait_until("x: gone", lambda: s.probe("listbox", listbox)["rows"] == ["m:", "y:"])
    wait_until("subst started again", lambda: len(subst_calls(s)) == 2)
    check_equal(subst_calls(s)[1], '"%s" x: /d' % SUBST, "removal command line")
    del expected[HKLM_RUN]["x:"]
    check_equal(registry(s), expected, "registry after deleting x:")


def browser_repair(s, main, edge_prefs):
    log("IE修复: add-ons and settings shown, the repair applied")
    page = show_tab(s, main, 2)
    tree, of = controls(s, page)
    lv = of("SysListView32")[0]["hwnd"]
    edits = of("Edit")
    home, title = edits[0]["hwnd"], edits[1]["hwnd"]
    listed = s.probe("listview", lv)
    check_equal([c["text"] for c in listed["columns"]][:1], ["IE扩展项目"], "first column")
    check_equal([r["cells"][:3] for r in listed["rows"][:3]], [
        ["Evil Toolbar", TOOLBAR_ID, SHELL32],
        ["Evil Button", EXTENSION_ID, SHELL32 + ",3"],
        ["Evil Menu", "res://evil.dll/menu.htm", ""]], "add-on rows")
    # Today's browsers follow the add-ons: the Chrome policies, the hijacked shortcut, the
    # home page in Edge's profile and Edge's image hijack.
    found = [r["cells"][:3] for r in listed["rows"][3:] if "e2e-hijack" in r["cells"][0]
             or "Chrome" in r["cells"][0]]
    check_equal(found, [
        ["Chrome 主页（策略）：http://e2e-hijack.example/chrome",
         CHROME_POLICY + "\\HomepageLocation", "删除"],
        ["Chrome 启动时的操作（策略）：4", CHROME_POLICY + "\\RestoreOnStartup", "删除"],
        ["公共桌面快捷方式 Microsoft Edge.lnk 附加网址 http://e2e-hijack.example/edge",
         EDGE_LNK, "去掉网址"],
        ["Edge 主页（配置 Default）：http://e2e-hijack.example/profile", edge_prefs,
         "删除此设置及其校验值"],
        ["Edge 映像劫持（启动时改为运行）：C:\\e2e-hijack\\nav.exe --go",
         EDGE_IFEO + "\\Debugger", "删除"]], "browser hijack rows")
    # The hosts line that sends a search engine elsewhere, with its line number.
    hosts = [r["cells"][:3] for r in listed["rows"] if r["cells"][0].startswith("hosts ")]
    check_equal([[c.lower() for c in r] for r in hosts],
                [["hosts 重定向（搜索引擎）：www.baidu.com → 1.2.3.4", HOSTS.lower() + "，第 3 行",
                  "删除此行"]], "hosts rows")
    captions = [r["cells"][0] for r in listed["rows"]]
    home_row = captions.index(found[0][0])
    hosts_row = captions.index(hosts[0][0])
    link_row = captions.index(found[2][0])
    profile_row = captions.index(found[3][0])
    ifeo_row = captions.index(found[4][0])
    link_before = open(s.unix_path(EDGE_LNK), "rb").read()
    images = [r["image"] for r in listed["rows"]]
    check(images[0] >= 0 and images[1] >= 0 and images[0] != images[1],
          "the toolbar and the extension have icons of their own: %r" % images)
    check(images[2] < 0, "the menu entry has no icon: %r" % images)
    check(not any(r["checked"] for r in listed["rows"]), "rows ticked after showing")
    check_equal(s.probe.text(home), "http://hijack.example/", "home page shown")
    check_equal(s.probe.text(title), "Hijacked 浏览器", "window title shown")
    reg_lock, reg_free = button(tree, "禁止", 9), button(tree, "不禁止", 9)
    page_lock = button(tree, "禁止", 3)
    check_equal([s.probe("checked", h) for h in (reg_lock, reg_free, page_lock)], [1, 0, 1],
                "locks shown")

    before = registry(s)
    s.probe("lv-check", lv, 1, "on")
    s.probe("lv-check", lv, home_row, "on")
    s.probe("lv-check", lv, link_row, "on")
    s.probe("lv-check", lv, profile_row, "on")
    s.probe("lv-check", lv, ifeo_row, "on")
    s.probe("lv-check", lv, hosts_row, "on")
    s.probe.click(page_lock)
    s.probe.click(reg_free)
    wait_until("locks chosen", lambda: [s.probe("checked", h) for h in
                                        (reg_lock, reg_free, page_lock)] == [0, 1, 0])
    s.replace_text(home, "http://typed.example/")
    s.probe.click(button(tree, "自动反修", 0))
    wait_until("the ticked rows gone",
               lambda: len(s.probe("listview", lv)["rows"]) == len(listed["rows"]) - 6)
    rows = s.probe("listview", lv)["rows"]
    check_equal([r["cells"][0] for r in rows][:3],
                ["Evil Toolbar", "Evil Menu", "Chrome 启动时的操作（策略）：4"], "rows after repair")
    link_after = open(s.unix_path(EDGE_LNK), "rb").read()
    check(b"e2e-hijack".decode().encode("utf-16-le") not in link_after and
          "--profile-directory=Default".encode("utf-16-le") in link_after,
          "the shortcut keeps its other argument and loses the address")
    newest = sorted(os.listdir(os.path.join(s.install_dir, "备份")))[-1]
    with open(os.path.join(s.install_dir, "备份", newest, "Microsoft Edge.lnk"), "rb") as f:
        check(f.read() == link_before, "the backup holds the shortcut as it was")
    with open(s.unix_path(edge_prefs), "rb") as f:
        check_equal(f.read(), b'{"homepage_is_newtabpage":false,"browser":{"window_placement":'
                    b'{"left":12}},"zoom":1.25}', "the profile without its home page, the rest kept")
    with open(os.path.join(s.install_dir, "备份", newest, "Preferences"), "rb") as f:
        check(f.read() == EDGE_PREFS_SEEDED, "the backup holds the profile's settings as they were")
    with open(s.unix_path(HOSTS), "rb") as f:
        check_equal(f.read(), b"# e2e\r\n127.0.0.1 localhost\r\n::1 localhost",
                    "the hosts file without its line, every other byte kept")
    with open(os.path.join(s.install_dir, "备份", newest, "hosts"), "rb") as f:
        check(f.read() == HOSTS_SEEDED, "the backup holds the hosts file as it was")
    check_equal(s.probe.text(home), "about:blank", "home page after repair")
    check_equal(s.probe.text(title), "Microsoft Internet explorer", "window title after repair")
    expected = copy.deepcopy(before)
    expected[IE_MAIN]["Start Page"] = ("REG_SZ", "about:blank")
    expected[IE_MAIN]["Window Title"] = ("REG_SZ", "Microsoft Internet explorer")
    del expected[HOMEPAGE_LOCK]["homepage"]
    del expected[REGTOOLS_LOCK]["DisableRegistryTools"]
    del expected[EXTENSIONS + "\\" + EXTENSION_ID]
    del expected[CHROME_POLICY]["HomepageLocation"]
    del expected[EDGE_IFEO]["Debugger"]
    check_equal(registry(s), expected, "registry after the repair")


def startup_items(s, main, user_folder):
    log("系统启动项: four places listed, a program added, ticked items deleted")
    page = show_tab(s, main, 3)
    tree, of = controls(s, page)
    lv = of("SysListView32")[0]["hwnd"]
    listed = s.probe("listview", lv)
    check_equal([c["text"] for c in listed["columns"]],
                ["启动项名称", "启动项位置", "状态", "来源", "发布者"], "columns")
    # The columns fit the list (its two-pixel edges and a vertical bar's room aside), each
    # wide enough for its header in the 12-pixel face.
    rect = of("SysListView32")[0]["rect"]
    widths = [c["width"] for c in listed["columns"]]
    check(sum(widths) <= rect[2] - rect[0] - 4 - 16,
          "the columns %s fit a list %d pixels wide" % (widths, rect[2] - rect[0]))
    check(all(c["width"] >= 12 * len(c["text"]) + 12 for c in listed["columns"]),
          "every header whole: %s" % widths)
    # Every file of a Startup folder is opened at log-on: the note is listed too.
    user_rows = {(n, user_folder + "\\" + n) for n in ("a.lnk", "b.lnk", "记事本.lnk", "notes.txt")}
    groups = [
        {("m:", "subst m: " + MAPPED), ("y:", "subst y: C:\\e2e\\old y"),
         ("Tool", TOOLS + "\\tool.exe"), ("Same", TOOLS + "\\machine same.exe")},
        {("Helper", TOOLS + "\\helper.exe --min"), ("Same", TOOLS + "\\user same.exe")},
        user_rows,
        {("c.lnk", COMMON_STARTUP + "\\c.lnk")},
    ]

    def session_rows(rows):
        # The prefix's own services (Wine's) follow the places seeded here; they are not
        # the session's.
        return [r for r in rows if not r["cells"][3].startswith("服务")]

    def check_rows(rows, groups, what):
        rows = session_rows(rows)
        got = [tuple(r["cells"][:2]) for r in rows]
        # Nothing in this session is switched off the way the system's startup manager does.
        check_equal({r["cells"][2] for r in rows}, {"已启用"}, "%s: states" % what)
        at = 0
        for n, group in enumerate(groups):
            check_equal(set(got[at:at + len(group)]), group, "%s, place %d" % (what, n + 1))
            at += len(group)
        check_equal(len(got), at, "%s: number of rows" % what)

    check_rows(listed["rows"], groups, "startup rows")

    s.probe.click(button(tree, "添加", 0))
    d = s.probe.wait_window(cls="#32770", title="打开")
    wait_until("the name box focused", lambda: (s.focused() or {}).get("class") == "Edit")
    types = [n for n in find(s.probe.tree(d["hwnd"]), cls="ComboBox", many=True)
             if n["text"] == "*.exe"]
    check_equal(len(types), 1, "file types of the add dialog")
    before = registry(s)
    s.type_into_focus(TOOLS + "\\new tool.exe")
    s.probe.wait_gone(d["hwnd"])
    groups[0].add(("new tool.exe", TOOLS + "\\new tool.exe"))
    wait_until("the added program listed",
               lambda: len(session_rows(s.probe("listview", lv)["rows"])) == sum(map(len, groups)))
    check_rows(s.probe("listview", lv)["rows"], groups, "rows after adding")
    expected = copy.deepcopy(before)
    expected[HKLM_RUN]["new tool.exe"] = ("REG_SZ", TOOLS + "\\new tool.exe")
    check_equal(registry(s), expected, "registry after adding")

    rows = s.probe("listview", lv)["rows"]
    machine = len(groups[0])
    tick = {i for i, r in enumerate(rows)
            if (i < machine and r["cells"][0] == "Same")
            or (machine <= i < machine + 2 and r["cells"][0] == "Helper")
            or r["cells"][0] in ("a.lnk", "c.lnk")}
    check_equal(len(tick), 4, "rows to tick")
    for i in sorted(tick):
        s.probe("lv-check", lv, i, "on")
    check_equal({i for i, r in enumerate(s.probe("listview", lv)["rows"]) if r["checked"]}, tick,
                "ticked rows")
    s.probe.click(button(tree, "删除", 0))
    # The refresh after the deletion leaves every row unticked.
    wait_until("the list refreshed",
               lambda: not any(r["checked"] for r in s.probe("listview", lv)["rows"]))
    groups[0].discard(("Same", TOOLS + "\\machine same.exe"))
    groups[1].discard(("Helper", TOOLS + "\\helper.exe --min"))
    groups[2].discard(("a.lnk", user_folder + "\\a.lnk"))
    groups.pop()
    check_rows(s.probe("listview", lv)["rows"], groups, "rows after deleting")
    del expected[HKLM_RUN]["Same"]
    del expected[HKCU_RUN]["Helper"]
    check_equal(registry(s), expected, "registry after deleting")
    check_equal(sorted(os.listdir(s.unix_path(user_folder))), ["b.lnk", "notes.txt", "记事本.lnk"],
                "user Startup folder after deleting")
    check_equal(os.listdir(s.unix_path(COMMON_STARTUP)), [], "common Startup folder after deleting")
    check(os.path.exists(s.unix_path(TOOLS + "\\machine same.exe")),
          "deleting an item removed its program")


def test(s):
    user = [u for u in os.listdir(s.unix_path("C:\\users")) if u != "Public"][0]
    user_folder = USER_STARTUP % user
    subst = s.unix_path(SUBST)
    os.unlink(subst)                        # a hard link into the template: replace, not write
    shutil.copy(RECORDER, subst)
    os.makedirs(s.unix_path(TOOLS))
    for name in ("tool.exe", "machine same.exe", "user same.exe", "new tool.exe"):
        shutil.copy(RECORDER, s.unix_path(TOOLS + "\\" + name))
    for folder, names in ((user_folder, ("a.lnk", "b.lnk", "记事本.lnk", "notes.txt")),
                          (COMMON_STARTUP, ("c.lnk",))):
        os.makedirs(s.unix_path(folder), exist_ok=True)
        for name in names:
            with open(os.path.join(s.unix_path(folder), name), "wb") as f:
                f.write(b"shortcut stand-in")
    desktop = s.unix_path(PUBLIC_DESKTOP)
    os.makedirs(desktop, exist_ok=True)
    check(os.path.realpath(desktop).startswith(os.path.realpath(s.prefix)),
          "the public Desktop is inside the prefix")
    with open(s.unix_path(EDGE_LNK), "wb") as f:
        f.write(shell_link(EDGE_EXE, "--profile-directory=Default http://e2e-hijack.example/edge"))
    edge_prefs = EDGE_DATA % user + "\\Default\\Preferences"
    os.makedirs(os.path.dirname(s.unix_path(edge_prefs)), exist_ok=True)
    with open(s.unix_path(edge_prefs), "wb") as f:
        f.write(EDGE_PREFS_SEEDED)
    hosts = s.unix_path(HOSTS)
    if os.path.exists(hosts):
        os.unlink(hosts)                    # a hard link into the template: replace, not write
    with open(hosts, "wb") as f:
        f.write(HOSTS_SEEDED)
    s.reg_import(SEED)

    s.start_program()
    main = s.wait_main_window()["hwnd"]
    virtual_drives(s, main)
    browser_repair(s, main, edge_prefs)
    startup_items(s, main, user_folder)


if __name__ == "__main__":
    run(test)
