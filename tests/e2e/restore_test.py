#!/usr/bin/env python3
"""The undo of the shipped program: on a seeded registry and Startup folder, "系统启动项"
deletes a few items (the user's Run key, the machine's in both views, a Startup shortcut),
"IE修复" repairs a Chrome policy value and a hijacked shortcut, "虚拟硬盘" removes a drive
mapping. Then "恢复备份…" (the drive list's context menu, by keyboard) opens "备份与恢复", and
"恢复全部" of each set, newest first, answers the window's questions as a user would. After
that `wine reg export` of HKLM\\SOFTWARE and HKCU\\Software and the bytes of every touched
file must be what they were before the pages acted."""
import os
import shutil
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e import RECORDER, check, check_equal, find, log, reading_order, run, wait_until  # noqa: E402
from system_pages_test import (COMMON_STARTUP, HKCU_RUN, HKLM_RUN, PUBLIC_DESKTOP,  # noqa: E402
                               USER_STARTUP, button, controls, shell_link, show_tab)

MARK = "e2e-restore"
HKLM_RUN32 = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
CHROME_POLICY = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Policies\\Google\\Chrome"
EDGE_LNK = PUBLIC_DESKTOP + "\\Microsoft Edge.lnk"
EDGE_EXE = "C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe"
SUBST = "C:\\windows\\system32\\subst.exe"
DRIVE = "q:"


def expand_sz(text):
    """A REG_EXPAND_SZ value's data as a .reg file writes it."""
    data = (text + "\0").encode("utf-16-le")
    return "hex(2):" + ",".join("%02x" % b for b in data)


SEED = [
    "[%s]" % HKCU_RUN,
    '"%s a"="C:\\\\e2e\\\\tools\\\\a.exe --min"' % MARK,
    '"%s b"=%s' % (MARK, expand_sz("%ProgramFiles%\\e2e\\b.exe")),
    "[%s]" % HKLM_RUN,
    '"%s c"="C:\\\\e2e\\\\tools\\\\c.exe"' % MARK,
    '"%s"="subst %s \\"C:\\\\e2e\\\\q folder\\""' % (DRIVE, DRIVE),
    "[%s]" % HKLM_RUN32,
    '"%s c"="C:\\\\e2e\\\\tools (x86)\\\\c.exe"' % MARK,
    "[%s]" % CHROME_POLICY,
    '"HomepageLocation"="http://%s.example/chrome"' % MARK,
    # subst.exe is Wine's built-in unless told to load the file in system32.
    "[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]",
    '"subst.exe"="native"',
]

# Keys whose changes are not the restore's to undo, with all below them.
EXCLUDED = [
    # Wine's own per-user state (its desktop, window positions, the DLL override above).
    "HKEY_CURRENT_USER\\Software\\Wine",
    # The program's product key: its launch counter moves with every start.
    "HKEY_CURRENT_USER\\Software\\MRTKBOX",
    # The program's machine key: the backup sets' seal secret, made once on a machine with
    # its first set.
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\MRTKBOX",
    # The system's signature check (the publisher column of 系统启动项) keeps its settings
    # here, made on its first use.
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\WinTrust",
]
# What showing "IE修复" writes where it is missing (the page always did, outside any action
# and so outside any set): the machine's default start page and window title, and the keys of
# the two locks it shows. Ignored only when they were not there before.
SHOWN_DEFAULTS = {
    ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Main", '"Start Page"'),
    ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Internet Explorer\\Main", '"Window Title"'),
    ("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies", None),
    ("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
     None),
    ("HKEY_CURRENT_USER\\Software\\Policies", None),
    ("HKEY_CURRENT_USER\\Software\\Policies\\Microsoft", None),
    ("HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer", None),
    ("HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel",
     None),
}
SHOWN_DEFAULTS = {(k.lower(), n) for k, n in SHOWN_DEFAULTS}


def excluded(key):
    return any(key == e.lower() or key.startswith(e.lower() + "\\") for e in EXCLUDED)


def parse_export(text):
    """A .reg file as {key in lower case: {value name as written: data as written}};
    continued lines are joined, so that equal data compares equal however it was wrapped."""
    keys, current, pending = {}, None, ""
    for raw in text.splitlines():
        line = pending + (raw.lstrip() if pending else raw)
        pending = ""
        if line.endswith("\\") and current is not None and not line.startswith("["):
            pending = line[:-1]
            continue
        if line.startswith("[") and line.endswith("]"):
            current = keys.setdefault(line[1:-1].lower(), {})
        elif current is not None and line[:1] in ('"', "@"):
            if line[0] == "@":
                end = 1
            else:
                end = 1
                while end < len(line) and line[end] != '"':
                    end += 2 if line[end] == "\\" else 1
                end += 1
            current[line[:end]] = line[end:]
    return keys


def registry(s):
    """HKLM\\SOFTWARE (the 32-bit view's Wow6432Node below it) and HKCU\\Software, whole."""
    out = {}
    for n, key in enumerate(("HKLM\\SOFTWARE", "HKCU\\Software")):
        path = os.path.join(s.dir, "export-%d.reg" % n)
        if os.path.exists(path):
            os.unlink(path)
        s.wine("reg", "export", key, "Z:" + path.replace("/", "\\"), "/y")
        with open(path, "rb") as f:
            data = f.read()
        out.update(parse_export(data.decode("utf-16") if data[:2] == b"\xff\xfe"
                                else data.decode("utf-8", errors="replace")))
    return out


def differences(before, after):
    out = []
    for key, values in before.items():
        if excluded(key):
            continue
        if key not in after:
            out.append("key gone: " + key)
            continue
        for name, data in values.items():
            if name not in after[key]:
                out.append("value gone: %s %s" % (key, name))
            elif after[key][name] != data:
                out.append("value differs: %s %s was %s now %s" % (key, name, data[:120],
                                                                     after[key][name][:120]))
        out += ["value added: %s %s" % (key, n) for n in after[key]
                if n not in values and (key, n) not in SHOWN_DEFAULTS]
    out += ["key added: " + k for k in after
            if k not in before and not excluded(k) and (k, None) not in SHOWN_DEFAULTS]
    return out


def files(s, paths):
    out = {}
    for p in paths:
        with open(s.unix_path(p), "rb") as f:
            out[p] = f.read()
    return out


def delete_startup_items(s, main):
    log("系统启动项: the marked rows ticked and deleted")
    page = show_tab(s, main, 3)
    tree, of = controls(s, page)
    lv = of("SysListView32")[0]["hwnd"]
    rows = s.probe("listview", lv)["rows"]
    tick = [i for i, r in enumerate(rows) if r["cells"][0].startswith(MARK)]
    check_equal(sorted(rows[i]["cells"][0] for i in tick),
                [MARK + " a", MARK + " b", MARK + " c", MARK + " c (32位)", MARK + ".lnk"],
                "marked startup rows")
    for i in tick:
        s.probe("lv-check", lv, i, "on")
    s.probe.click(button(tree, "删除", 0))
    wait_until("the marked rows gone", lambda: not any(
        r["cells"][0].startswith(MARK) for r in s.probe("listview", lv)["rows"]))


def repair_browsers(s, main):
    log("IE修复: the policy value and the shortcut repaired")
    page = show_tab(s, main, 2)
    tree, of = controls(s, page)
    lv = of("SysListView32")[0]["hwnd"]
    rows = s.probe("listview", lv)["rows"]
    tick = [i for i, r in enumerate(rows) if MARK in r["cells"][0]]
    check_equal(len(tick), 2, "marked browser rows: %r" % [rows[i]["cells"][0] for i in tick])
    for i in tick:
        s.probe("lv-check", lv, i, "on")
    s.probe.click(button(tree, "自动反修", 0))
    wait_until("the marked rows gone", lambda: not any(
        MARK in r["cells"][0] for r in s.probe("listview", lv)["rows"]))


def remove_drive(s, main):
    log("虚拟硬盘: the mapping removed")
    page = show_tab(s, main, 1)
    tree, of = controls(s, page)
    listbox = of("ListBox")[0]["hwnd"]
    rows = s.probe("listbox", listbox)["rows"]
    check(DRIVE in rows, "%s listed: %r" % (DRIVE, rows))
    s.probe.retry(lambda: s.probe("lb-click", listbox, rows.index(DRIVE)))
    wait_until("%s selected" % DRIVE,
               lambda: s.probe("listbox", listbox)["selected"] == rows.index(DRIVE))
    s.probe.click(button(tree, "删除", 0))
    wait_until("%s gone" % DRIVE, lambda: DRIVE not in s.probe("listbox", listbox)["rows"])
    return listbox


def open_restore_window(s, listbox):
    """"恢复备份…" from the drive list's context menu, opened by keyboard (Shift+F10); its
    two items are "打开备份文件夹" and "恢复备份…", and UP reaches the last one whether or not
    the menu opened with the first one highlighted."""
    log("恢复备份…: the window opened from the context menu")
    s.probe("focus", listbox)
    s.probe("keys", "SHIFT+F10")
    s.probe.wait_window(cls="#32768")
    s.probe("keys", "UP", "ENTER")
    return s.probe.wait_window(cls="MtRestoreWindow")["hwnd"]


def set_rows(s, set_list):
    return s.probe("listview", set_list)["rows"]


def restore_all(s, window, set_list, name):
    """Chooses the set listed as `name` by keyboard, presses "恢复全部" and answers: the
    machine-wide confirmation "恢复", an item's own question (map the drive now?) "否"; the
    report must say everything came back."""
    rows = set_rows(s, set_list)
    index = [r["cells"][0] for r in rows].index(name)
    s.probe("focus", set_list)
    s.probe("keys", "HOME", *(["DOWN"] * index))
    wait_until("%s chosen" % name, lambda: set_rows(s, set_list)[index]["selected"])
    s.probe.click(find(s.probe.tree(window), cls="Button", text="恢复全部(&A)")["hwnd"])
    deadline = time.monotonic() + 120
    while True:
        check(time.monotonic() < deadline, "no report of the restore of %s" % name)
        confirm = s.probe.windows(cls="MtRestoreConfirm")
        if confirm:
            s.probe.click(find(s.probe.tree(confirm[0]["hwnd"]), cls="Button",
                               text="恢复(&Y)")["hwnd"])
            s.probe.wait_gone(confirm[0]["hwnd"], timeout=10)
            continue
        boxes = s.probe.windows(cls="#32770")
        if not boxes:
            time.sleep(0.2)
            continue
        box, caption, text, tree = s.message_box(owner=window)
        check_equal(caption, "备份与恢复", "caption of the restore's notice")
        check("又被改动过" not in text, "an item changed since: %s" % text)
        if text.startswith("已恢复"):
            check("未恢复" not in text, "the report: %s" % text)
            s.answer_message_box(tree)
            return text
        check("现在就建立" in text, "an unexpected question: %s" % text)
        s.answer_message_box(tree, "否(&N)")


def test(s):
    user = [u for u in os.listdir(s.unix_path("C:\\users")) if u != "Public"][0]
    startup_lnk = USER_STARTUP % user + "\\" + MARK + ".lnk"
    subst = s.unix_path(SUBST)
    os.unlink(subst)                        # a hard link into the template: replace, not write
    shutil.copy(RECORDER, subst)
    os.makedirs(s.unix_path(USER_STARTUP % user), exist_ok=True)
    os.makedirs(s.unix_path(COMMON_STARTUP), exist_ok=True)
    with open(s.unix_path(startup_lnk), "wb") as f:
        f.write(b"startup shortcut stand-in \x00\xff")
    os.makedirs(s.unix_path(PUBLIC_DESKTOP), exist_ok=True)
    with open(s.unix_path(EDGE_LNK), "wb") as f:
        f.write(shell_link(EDGE_EXE, "--profile-directory=Default http://%s.example/edge" % MARK))
    s.reg_import(SEED)
    touched = [startup_lnk, EDGE_LNK]
    before_files = files(s, touched)
    started = time.monotonic()
    before = registry(s)
    log("registry exported in %.1f s: %d keys" % (time.monotonic() - started, len(before)))
    for key, name in ((HKCU_RUN, '"%s b"' % MARK), (HKLM_RUN32, '"%s c"' % MARK)):
        check(name in before.get(key.lower(), {}), "the seed %s %s exported" % (key, name))

    s.start_program()
    main = s.wait_main_window()["hwnd"]
    delete_startup_items(s, main)
    repair_browsers(s, main)
    listbox = remove_drive(s, main)
    check(not os.path.exists(s.unix_path(startup_lnk)), "the Startup shortcut deleted")
    check(open(s.unix_path(EDGE_LNK), "rb").read() != before_files[EDGE_LNK],
          "the shortcut repaired")
    changed = differences(before, registry(s))
    for key, name in ((HKCU_RUN, '"%s a"' % MARK), (HKLM_RUN32, '"%s c"' % MARK),
                      (HKLM_RUN, '"%s"' % DRIVE), (CHROME_POLICY, '"HomepageLocation"')):
        check("value gone: %s %s" % (key.lower(), name) in changed, "%s %s deleted" % (key, name))

    window = open_restore_window(s, listbox)
    set_list = reading_order(find(s.probe.tree(window), cls="SysListView32", many=True))[0]["hwnd"]
    wait_until("the three sets listed", lambda: len(set_rows(s, set_list)) == 3)
    made = [r["cells"][0] for r in set_rows(s, set_list)]
    check_equal([r["cells"][1] for r in set_rows(s, set_list)], ["虚拟硬盘", "IE修复", "系统启动项"],
                "the sets' tools, newest first")
    for name in made:
        log("恢复全部: %s" % name)
        report = restore_all(s, window, set_list, name)
        log(report.splitlines()[0])
        wait_until("the restore's own set listed",
                   lambda: len(set_rows(s, set_list)) == 3 + made.index(name) + 1)

    check_equal(files(s, touched), before_files, "the touched files")
    remaining = differences(before, registry(s))
    check_equal(remaining, [], "registry differences after restoring every set")


if __name__ == "__main__":
    run(test)
