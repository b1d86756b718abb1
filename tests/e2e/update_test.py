#!/usr/bin/env python3
"""The update road against the shipped update host. The program runs in a private network
namespace whose /etc/hosts names the maker's host as 127.0.0.1, where this script serves
the update page and the installer on port 80; nothing in the program is pointed anywhere.

  update_test.py newer   the program installed by the release's installer, the next
                         version on offer: the reminder window and its texts; "立即升级"
                         downloads that version's installer (made by tools/package.sh, signed
                         with a throw-away maker key whose root the prefix trusts), the
                         closing message is answered, the program ends, the installer
                         upgrades it silently and starts it again: the caption shows the new
                         version, whose own check then finds nothing newer
  update_test.py unsigned  the same release signed by someone else, then unsigned: each is
                         refused and deleted, never started, the reminder stays open
  update_test.py replay  the next version on offer, but the server sends our own signed
                         release of the running version (a downgrade or replay), then a
                         signed release of a later version than the one offered: each is
                         refused like a bad signature, deleted, never started
  update_test.py older   an older and an equal version: the page is fetched, no reminder
  update_test.py standard  the program's folder cannot be written (bind-mounted read-only, as
                         Program Files is for a standard user): settings, a deletion's backup
                         set and the download go to the per-user folder, the settings beside
                         the program are still read; the download, the folder made writable
                         again as an administrator's installer finds it, upgrades the copy
                         named by /D= and the new version removes the download

Without the right to make a namespace the test is skipped, except as root, where it fails:
as root it must run (CI runs as root)."""
import fcntl
import http.server
import os
import socket
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installer  # noqa: E402
import release  # noqa: E402
import system_pages_test  # noqa: E402
from e2e import (BUILD, MAIN_CLASS, SKIP, check, check_equal, find, log, run,  # noqa: E402
                 wait_until)

HOST = "www.mirtak.example"
UPDATE_PATH = "/gjhjsj.asp"
DOWNLOAD_PATH = "/download/tbxsetup.exe"
USER_AGENT = "Mozilla/4.0 (compatible; MSIE 6.0; MSIE 7.0; MSIE 8.0; MSIE 9.0; Maxthon)"
INSIDE = "MT_E2E_NETNS"


def update_page(version):
    return ("<html><body>\r\n"
            "zpid:12</br>zpname:小工具合集</br>zpver:%s</br>zpms:分割、虚拟硬盘、IE修复</br>"
            "zpsjnr:\r\n1.修正若干问题\r\n2.新增功能\r\n</br>zpdx:1.2MB</br>zpgxsj:2026-12-01</br>"
            "zp_downurl:http://%s%s</br>zpzc:Win7/Win10</br>"
            "</body></html>\r\n" % (version, HOST, DOWNLOAD_PATH)).encode("gbk")


class UpdateServer(http.server.ThreadingHTTPServer):
    """The maker's host on the loopback: the update page and the installer; it records every
    request it gets."""
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 80), Handler)
        self.version = "v1.3"
        self.installer = None  # the bytes served as the installer
        self.requests = []
        self.lock = threading.Lock()
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def seen(self, method, path):
        with self.lock:
            return [r for r in self.requests if r[0] == method and r[1] == path]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, head):
        with self.server.lock:
            self.server.requests.append((self.command, self.path, dict(self.headers)))
        status = 200
        if self.path == UPDATE_PATH:
            body = update_page(self.server.version)
        elif self.path == DOWNLOAD_PATH and self.server.installer is not None:
            body = self.server.installer
        else:
            status, body = 404, b"not here"
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not head:
            self.wfile.write(body)

    def do_GET(self):
        self.answer(head=False)

    def do_HEAD(self):
        self.answer(head=True)


# ---- the private network --------------------------------------------------------------------

def enter_private_network(argv):
    """Runs this script again inside new network and mount namespaces; returns only inside."""
    if os.environ.get(INSIDE) == "1":
        return
    root = os.geteuid() == 0
    unshare = ["unshare", "-mn"] if root else ["unshare", "-rmn"]
    trial = subprocess.run(unshare + ["true"], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if trial.returncode != 0:
        why = "no private network namespace (%s: %s)" % (" ".join(unshare),
                                                         trial.stderr.decode().strip())
        if root:
            print("FAILED: %s; as root this test must run" % why, flush=True)
            sys.exit(1)
        print("SKIPPED: %s; run as root or allow unprivileged user namespaces" % why, flush=True)
        sys.exit(SKIP)
    env = dict(os.environ, **{INSIDE: "1"})
    os.execvpe(unshare[0], unshare + ["--", sys.executable, os.path.abspath(argv[0])] + argv[1:],
               env)


def set_up_private_network(name):
    """Loopback up and a hosts file of our own that sends the maker's host to it."""
    SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        flags = struct.unpack("16sH22x", fcntl.ioctl(s, SIOCGIFFLAGS,
                                                     struct.pack("16sH22x", b"lo", 0)))[1]
        fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH22x", b"lo", flags | IFF_UP))
    hosts = os.path.join(BUILD, "e2e", name + ".hosts")
    os.makedirs(os.path.dirname(hosts), exist_ok=True)
    with open(hosts, "w") as f:
        f.write("127.0.0.1 localhost\n127.0.0.1 %s\n::1 localhost\n" % HOST)
    subprocess.run(["mount", "--bind", hosts, "/etc/hosts"], check=True)
    check_equal(socket.gethostbyname(HOST), "127.0.0.1", "the maker's host inside the namespace")


# ---- the tests ----------------------------------------------------------------------------------

def wait_for_check(s, server, count):
    wait_until("the update check's request", lambda: len(server.seen("GET", UPDATE_PATH)) >= count)
    method, path, headers = server.seen("GET", UPDATE_PATH)[count - 1]
    check_equal(headers.get("User-Agent"), USER_AGENT, "User-Agent of the update check")
    check_equal(headers.get("Host"), HOST, "Host of the update check")


def labelled_values(tree):
    """Each caption label ("软件版本：") with the label right beside it."""
    statics = [n for n in find(tree, cls="Static", many=True)]
    out = {}
    for c in statics:
        if not c["text"].endswith("："):
            continue
        beside = [n for n in statics if abs(n["rect"][1] - c["rect"][1]) <= 3
                  and n["rect"][0] > c["rect"][0] and n is not c]
        if beside:
            out[c["text"]] = min(beside, key=lambda n: n["rect"][0])["text"]
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


def newer(s, server):
    keys = installer.keys()
    old = release.package(s, BUILD, "old")
    new = release.package(s, release.next_tree(), "new", keys=keys["maker"])
    server.version = release.NEXT_VERSION
    server.installer = read(new.setup)
    release.install(s, old)
    s.install_dir_win = release.PROGRAM_FILES_DIR
    installer.prepare(s)
    pid = s.start_program()
    s.wait_main_window()
    reminder = s.probe.wait_window(cls="MtTFsjtx", timeout=60)
    wait_for_check(s, server, 1)
    check_equal(reminder["text"], "Mirtak工具合集", "reminder caption")
    check(int(reminder["exstyle"], 16) & 0x8, "the reminder stays on top")

    log("the reminder rises to the lower-right corner")
    last = []

    def settled():
        rect = s.probe("info", reminder["hwnd"])["rect"]
        last.append(rect)
        return len(last) > 3 and last[-4:] == [rect] * 4
    wait_until("the reminder to stop rising", settled, timeout=20, interval=0.1)
    left, top, right, bottom = last[-1]
    check_equal(right, 1024 - 5, "right edge of the reminder")
    check(768 - 5 < bottom <= 768, "lower edge of the reminder: %d" % bottom)

    tree = s.probe.tree(reminder["hwnd"])
    check_equal(labelled_values(tree), {
        "软件版本：": "v1.4", "软件大小：": "1.2MB", "升级时间：": "2026-12-01",
        "软件编号：": "12", "软件名称：": "小工具合集", "软件描述：": "分割、虚拟硬盘、IE修复",
        "系统支持：": "Win7/Win10"}, "reminder labels")
    check(find(tree, cls="Static", text="1.修正若干问题\r\n2.新增功能"), "upgrade content")
    check_equal(s.probe("checked", find(tree, cls="Button", text="此版本不再提醒")["hwnd"]), 0,
                "silence box")

    log("立即升级: download, the closing message, the upgrade")
    check(not os.path.exists(os.path.join(s.install_dir, "rar")), "rar folder before the download")
    s.probe.click(find(tree, cls="Button", text="立即升级")["hwnd"])
    box, caption, text, box_tree = s.message_box(owner=reminder["hwnd"], timeout=60)
    check_equal((caption, text),
                ("温馨提示", "软件升级要关闭当前程序，进行升级，点确定自动关闭程序"), "closing message")
    check_equal([m for m, p, h in server.requests if p == DOWNLOAD_PATH], ["HEAD", "GET"],
                "requests for the installer")
    check_equal(server.seen("GET", DOWNLOAD_PATH)[0][2].get("User-Agent"), USER_AGENT,
                "User-Agent of the download")
    downloaded = os.path.join(s.install_dir, *installer.RELATIVE_PATH.split("\\"))
    check(read(downloaded) == server.installer, "the downloaded installer differs from the served")
    check_equal(release.uninstall_entry(s).get("DisplayVersion"), ("REG_SZ", "1.3.0.0"),
                "installed version before the answer")
    s.answer_message_box(box_tree)
    check_equal(s.wait_exit(pid, timeout=30), 0, "exit code after the update")
    release.wait_for_version(s, release.NEXT_VERSION)

    log("the new version, started again by the installer")
    main = wait_until("the main window of %s" % release.NEXT_VERSION,
                      lambda: s.probe.windows(cls=MAIN_CLASS), timeout=60)
    check_equal([w["text"] for w in main], ["Mirtak工具合集 v1.4"], "caption after the upgrade")
    wait_until("the new version to remove the installer it came from",
               lambda: not os.path.exists(downloaded), timeout=60, interval=0.5)
    wait_for_check(s, server, 2)
    s.no_window_appears("MtTFsjtx", 3)
    check_equal(len(server.seen("GET", DOWNLOAD_PATH)), 1, "downloads after the upgrade")
    s.probe("close", main[0]["hwnd"])
    s.probe.wait_gone(main[0]["hwnd"], timeout=30)


def expect_refused(s, server, reminder, button, refused):
    """Serves each (what, installer bytes) of `refused` in turn and presses "立即升级": each
    is refused ("验证失败"), deleted, never started; the reminder stays open, its button
    ready again."""
    for n, (what, body) in enumerate(refused, start=1):
        log("the release %s" % what)
        server.installer = body
        s.probe.click(button)
        # Download and signature check under a loaded machine: generous, it costs nothing
        # when the refusal comes at once.
        wait_until("the refusal on the button", lambda: s.probe("text", button) == "验证失败",
                   timeout=120)
        check_equal([m for m, p, h in server.requests if p == DOWNLOAD_PATH], ["HEAD", "GET"] * n,
                    "requests for the installer")
        check_equal(s.probe("info", button)["enabled"], True, "the button after the refusal")
        check(not os.path.exists(os.path.join(s.install_dir,
                                              *installer.RELATIVE_PATH.split("\\"))),
              "the refused installer is still on disk")
        s.no_window_appears("#32770", 3)
        # Started, the installer would have installed over this copy and made its entry.
        check(not os.path.exists(os.path.join(s.install_dir, "uninst.exe")),
              "the refused installer was started")
        check_equal(release.uninstall_entry(s), {}, "an uninstall entry after a refusal")
        check_equal(s.probe("info", reminder["hwnd"])["visible"], True,
                    "the reminder after a refusal")


def unsigned(s, server):
    """The next release signed by another name (under the same trusted root), then unsigned:
    each is refused: deleted, never started, the reminder stays open and its button says so
    and can be pressed again. Tab goes through the reminder in its order and Esc closes it."""
    keys = installer.keys()
    tree = release.next_tree()
    refused = [("signed by another name", read(release.package(s, tree, "other",
                                                                keys=keys["other"]).setup)),
               ("unsigned", read(release.package(s, tree, "unsigned").setup))]
    server.version = release.NEXT_VERSION
    installer.prepare(s)
    pid = s.start_program()
    main = s.wait_main_window()
    reminder = s.probe.wait_window(cls="MtTFsjtx", timeout=60)
    tree = s.probe.tree(reminder["hwnd"])
    button = find(tree, cls="Button", text="立即升级")["hwnd"]

    log("keys in the reminder: Tab in its order, Shift+Tab back")
    order = [find(tree, cls="Button", text=t)["hwnd"]
             for t in ("此版本不再提醒", "关闭", "立即升级", "手动下载")]
    s.probe("focus", order[0])
    check_equal((s.focused() or {}).get("hwnd"), order[0], "focus on the check box")
    seen = []
    for key in ("TAB", "TAB", "TAB", "TAB", "SHIFT+TAB"):
        s.probe("keys", key)
        time.sleep(0.1)
        seen.append((s.focused() or {}).get("hwnd"))
    check_equal(seen, [order[1], order[2], order[3], order[0], order[3]], "focus after each key")

    expect_refused(s, server, reminder, button, refused)

    log("Esc closes the reminder")
    s.probe("keys", "ESC")
    wait_until("Esc to close the reminder",
               lambda: not s.probe("info", reminder["hwnd"])["visible"], timeout=10)
    check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code")


def replay(s, server):
    """The page offers the next version; the server sends releases that carry the maker's
    genuine signature but are another version: the running one (a downgrade or replay of an
    old release), and one later than the offered."""
    keys = installer.keys()
    current = release.package(s, BUILD, "current", keys=keys["maker"])
    check_equal(current.version, "v1.3", "version of this tree")
    later = release.package(s, release.relabelled_tree(s, BUILD, "v1.5"), "later",
                            keys=keys["maker"])
    refused = [("%s, signed, behind an offer of %s" % (current.version, release.NEXT_VERSION),
                read(current.setup)),
               ("%s, signed, behind an offer of %s" % (later.version, release.NEXT_VERSION),
                read(later.setup))]
    server.version = release.NEXT_VERSION
    installer.prepare(s)
    pid = s.start_program()
    main = s.wait_main_window()
    reminder = s.probe.wait_window(cls="MtTFsjtx", timeout=60)
    # A click lands where the button is: not while the reminder still rises.
    last = []

    def settled():
        last.append(s.probe("info", reminder["hwnd"])["rect"])
        return len(last) > 3 and last[-4:] == [last[-1]] * 4
    wait_until("the reminder to stop rising", settled, timeout=20, interval=0.1)
    button = find(s.probe.tree(reminder["hwnd"]), cls="Button", text="立即升级")["hwnd"]
    expect_refused(s, server, reminder, button, refused)
    check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code")


def per_user_folder(s):
    """%LOCALAPPDATA%\\MirtakTools of the prefix's user, as a path of this system."""
    user = [u for u in os.listdir(s.unix_path("C:\\users")) if u != "Public"][0]
    return s.unix_path("C:\\users\\%s\\AppData\\Local\\MirtakTools" % user)


def read_only(folder):
    """Makes `folder` read-only for everyone in this mount namespace, root too."""
    subprocess.run(["mount", "--bind", folder, folder], check=True)
    subprocess.run(["mount", "-o", "remount,bind,ro", folder], check=True)
    probe = os.path.join(folder, "probe.tmp")
    try:
        open(probe, "wb").close()
    except OSError:
        return
    os.unlink(probe)
    raise AssertionError("%s is still writable after the read-only bind mount" % folder)


def standard(s, server):
    keys = installer.keys()
    new = release.package(s, release.next_tree(), "new", keys=keys["maker"])
    installer.prepare(s)
    per_user = per_user_folder(s)
    beside = os.path.join(s.install_dir, "config.ini")
    # Settings an earlier, writable run left beside the program: this version silenced.
    old_settings = b"[DS_config]\r\nsjtx=0\r\nsjtxver=%s\r\n" % release.NEXT_VERSION.encode()
    with open(beside, "wb") as f:
        f.write(old_settings)
    s.reg_import(["[%s]" % system_pages_test.HKCU_RUN, '"mt-e2e mine"="C:\\\\e2e\\\\mine.exe"'])
    read_only(s.install_dir)
    server.version = release.NEXT_VERSION

    log("first start: settings per user, the silenced version still read from beside the program")
    pid = s.start_program()
    main = s.wait_main_window()
    wait_for_check(s, server, 1)
    s.no_window_appears("MtTFsjtx", 4)
    settings = os.path.join(per_user, "config.ini")
    check(os.path.exists(settings), "no per-user config.ini in %s" % per_user)
    check(b"firstrun" in read(settings), "the per-user config.ini lacks firstrun")
    check_equal(read(beside), old_settings, "config.ini beside the program")

    log("a deletion on the startup page: its backup set goes per user")
    # The page is made and listed the first time it shows, on the window's own thread: on a
    # loaded machine the window may not answer for a while.
    page = s.probe.retry(lambda: system_pages_test.show_tab(s, main["hwnd"], 3), timeout=60)
    tree, of = system_pages_test.controls(s, page)
    lv = of("SysListView32")[0]["hwnd"]
    rows = s.probe("listview", lv)["rows"]
    mine = [i for i, r in enumerate(rows) if r["cells"][0] == "mt-e2e mine"]
    check_equal(len(mine), 1, "rows of the user's Run value")
    s.probe("lv-check", lv, mine[0], "on")
    s.probe.click(system_pages_test.button(tree, "删除", 0))
    wait_until("the row deleted", lambda: all(r["cells"][0] != "mt-e2e mine"
                                              for r in s.probe("listview", lv)["rows"]))
    check_equal(s.reg_value(system_pages_test.HKCU_RUN, "mt-e2e mine"), None,
                "the user's Run value after the deletion")
    sets = os.listdir(os.path.join(per_user, "备份"))
    check_equal(len(sets), 1, "backup sets in the per-user folder")
    saved = read(os.path.join(per_user, "备份", sets[0], "注册表.reg")).decode("utf-16")
    check("mt-e2e mine" in saved, "the backup set lacks the deleted value:\n" + saved)
    check_equal(sorted(os.listdir(s.install_dir)), ["MirtakTools.exe", "config.ini"],
                "the program's folder")
    check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code")

    log("the per-user settings take over: the reminder, the download per user")
    check_equal(read(settings).count(b"["), 1, "sections of the per-user config.ini")
    with open(settings, "ab") as f:
        f.write(b"sjtx=1\r\n")
    server.installer = read(new.setup)
    pid = s.start_program()
    s.wait_main_window()
    reminder = s.probe.wait_window(cls="MtTFsjtx", timeout=60)
    last = []

    def settled():
        last.append(s.probe("info", reminder["hwnd"])["rect"])
        return len(last) > 3 and last[-4:] == [last[-1]] * 4
    wait_until("the reminder to stop rising", settled, timeout=20, interval=0.1)
    s.probe.click(find(s.probe.tree(reminder["hwnd"]), cls="Button", text="立即升级")["hwnd"])
    box, caption, text, box_tree = s.message_box(owner=reminder["hwnd"], timeout=120)
    check_equal(text, "软件升级要关闭当前程序，进行升级，点确定自动关闭程序", "closing message")
    downloads = [os.path.join(per_user, "rar", d, "tbxsetup.exe")
                 for d in os.listdir(os.path.join(per_user, "rar"))]
    check_equal(len(downloads), 1, "downloads in the per-user folder")
    check(read(downloads[0]) == server.installer, "the per-user download differs from the served")
    check_equal(sorted(os.listdir(s.install_dir)), ["MirtakTools.exe", "config.ini"],
                "the program's folder after the download")

    log("the installer, as an administrator, may write the program's folder")
    subprocess.run(["mount", "-o", "remount,bind,rw", s.install_dir], check=True)
    s.answer_message_box(box_tree)
    check_equal(s.wait_exit(pid, timeout=30), 0, "exit code after the update")
    release.wait_for_version(s, release.NEXT_VERSION)
    check_equal(release.uninstall_entry(s).get("InstallLocation"), ("REG_SZ", s.install_dir_win),
                "the folder the installer upgraded (/D=)")
    main = wait_until("the main window of %s" % release.NEXT_VERSION,
                      lambda: s.probe.windows(cls=MAIN_CLASS), timeout=60)
    check_equal([w["text"] for w in main], ["Mirtak工具合集 v1.4"], "caption after the upgrade")
    wait_until("the new version to remove the per-user download",
               lambda: not os.path.exists(downloads[0]), timeout=60, interval=0.5)
    s.probe("close", main[0]["hwnd"])
    s.probe.wait_gone(main[0]["hwnd"], timeout=30)


def older(s, server):
    for n, version in enumerate(("v1.2", "v1.3"), start=1):
        log("%s on offer" % version)
        server.version = version
        pid = s.start_program()
        main = s.wait_main_window()
        wait_for_check(s, server, n)
        s.no_window_appears("MtTFsjtx", 4)
        check_equal(s.probe.windows(cls="MtTFsjtx", visible_only=False), [],
                    "reminder windows made for %s" % version)
        check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code")
    check_equal(server.seen("HEAD", DOWNLOAD_PATH) + server.seen("GET", DOWNLOAD_PATH), [],
                "downloads without a reminder")


def main():
    scenarios = {"newer": newer, "unsigned": unsigned, "replay": replay, "older": older,
                 "standard": standard}
    if len(sys.argv) != 2 or sys.argv[1] not in scenarios:
        sys.exit("usage: update_test.py newer|unsigned|replay|older|standard")
    enter_private_network(sys.argv)
    name = "update_test_" + sys.argv[1]
    set_up_private_network(name)
    server = UpdateServer()
    started = time.monotonic()
    try:
        # "newer" installs the program with the release's installer.
        run(lambda s: scenarios[sys.argv[1]](s, server), name,
            preinstall=sys.argv[1] != "newer")
    finally:
        server.shutdown()
        installer.cleanup()
        log("server up for %.1f s" % (time.monotonic() - started))


if __name__ == "__main__":
    main()
