"""Shared machinery of the end-to-end tests: a session runs the shipped MirtakTools.exe under
Wine in a fresh copy of a template prefix, on a private virtual display, and reads and drives
it only through the probe (tools/probe) and the prefix's own `wine reg`.

A test script calls run(test) with a function that takes a Session; run() gives the exit
status ctest expects: 0 passed, 1 failed, 77 skipped (SKIP_RETURN_CODE).

Environment (set by CMake for ctest):
  MT_E2E_BUILD   the Windows build tree (MirtakTools.exe, tools/probe/*.exe)
  MT_E2E_SOURCE  the source tree (tools/wine-run.sh, tools/wine-prefix.sh)
  MT_E2E_KEEP    1: keep the session folder also after a passing test
"""
import fcntl
import json
import os
import re
import shutil
import subprocess
import sys
import time
import traceback

BUILD = os.path.realpath(os.environ.get("MT_E2E_BUILD", "build/win64"))
SOURCE = os.path.realpath(os.environ.get("MT_E2E_SOURCE", "."))
TOOLS = os.path.join(SOURCE, "tools")
PROGRAM = os.path.join(BUILD, "MirtakTools.exe")
PROBE = os.path.join(BUILD, "tools", "probe", "probe.exe")
RECORDER = os.path.join(BUILD, "tools", "probe", "e2e_record.exe")
TEMPLATE = os.path.join(BUILD, "e2e-template")

# Where each session installs the program, as Windows and as this system see it.
INSTALL_DIR_WIN = "C:\\Mirtak"
MAIN_CLASS = "TForm1"
NORMAL_CAPTION = "Mirtak工具合集 v1.3"
PARTNER_CAPTION = "Mirtak工具合集 v1.3 (官方合作版)"

SKIP = 77


class Failure(AssertionError):
    pass


class Skipped(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    if actual == expected:
        return
    if isinstance(actual, dict) and isinstance(expected, dict):
        lines = ["%s differs:" % what]
        for key in sorted(set(actual) | set(expected)):
            if actual.get(key, "<absent>") != expected.get(key, "<absent>"):
                lines.append("  %s\n    expected %r\n    actual   %r"
                             % (key, expected.get(key, "<absent>"), actual.get(key, "<absent>")))
        raise Failure("\n".join(lines))
    raise Failure("%s:\n  expected %r\n  actual   %r" % (what, expected, actual))


def log(message):
    print("[%s] %s" % (time.strftime("%H:%M:%S"), message), flush=True)


def wait_until(what, condition, timeout=30, interval=0.1):
    """Polls condition() until it returns something true; gives that back or fails."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure("timed out after %g s waiting for %s" % (timeout, what))
        time.sleep(interval)


# ---- the template prefix ------------------------------------------------------------------

def ensure_template():
    """Makes the template prefix once (tools/wine-prefix.sh, under its lock), then replaces
    the user folders that Wine links to the Unix home folder by plain folders, so that no
    session writes outside its own prefix."""
    subprocess.run([os.path.join(TOOLS, "wine-prefix.sh"), TEMPLATE], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(TEMPLATE + ".e2e.lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        marker = os.path.join(TEMPLATE, ".e2e-ready")
        if os.path.exists(marker):
            return
        users = os.path.join(TEMPLATE, "drive_c", "users")
        for user in os.listdir(users):
            for entry in os.scandir(os.path.join(users, user)):
                if entry.is_symlink():
                    os.unlink(entry.path)
                    os.mkdir(entry.path)
        open(marker, "w").close()


def copy_prefix(target):
    """A copy of the template: system32 shares the template's files by hard links (replace a
    file there only after unlinking it), everything else, registry included, is copied."""
    os.makedirs(target)
    tar = subprocess.Popen(["tar", "-C", TEMPLATE, "--exclude=./drive_c/windows/system32",
                            "-cf", "-", "."], stdout=subprocess.PIPE)
    subprocess.run(["tar", "-C", target, "-xf", "-"], stdin=tar.stdout, check=True)
    tar.stdout.close()
    check(tar.wait() == 0, "copying the template prefix failed")
    subprocess.run(["cp", "-al", os.path.join(TEMPLATE, "drive_c", "windows", "system32"),
                    os.path.join(target, "drive_c", "windows")], check=True)


# ---- the probe ------------------------------------------------------------------------------

class ProbeError(Exception):
    pass


class Probe:
    """probe.exe in serve mode: one request per call, answered with its JSON result."""

    def __init__(self, session):
        self.proc = subprocess.Popen(
            [os.path.join(TOOLS, "wine-run.sh"), "--prefix", session.prefix, PROBE, "serve"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=session.log_file,
            env=session.env)

    def __call__(self, *args):
        line = json.dumps([str(a) for a in args], ensure_ascii=False) + "\n"
        try:
            self.proc.stdin.write(line.encode("utf-8"))
            self.proc.stdin.flush()
            answer = self.proc.stdout.readline()
        except BrokenPipeError:
            answer = b""
        if not answer:
            raise Failure("the probe ended (request %s)" % line.strip())
        reply = json.loads(answer.decode("utf-8"))
        if not reply["ok"]:
            raise ProbeError("%s: %s" % (args[0], reply["error"]))
        return reply["result"]

    def close(self):
        try:
            self.proc.stdin.close()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()

    # Convenience wrappers ------------------------------------------------------------------
    def windows(self, cls=None, title=None, visible_only=True):
        args = ["windows"]
        if cls is not None:
            args += ["--class", cls]
        if title is not None:
            args += ["--title", title]
        if not visible_only:
            args.append("--all")
        return self(*args)

    def wait_window(self, cls=None, title=None, timeout=30):
        args = ["wait-window", "--timeout", timeout]
        if cls is not None:
            args += ["--class", cls]
        if title is not None:
            args += ["--title", title]
        try:
            return self(*args)
        except ProbeError as e:
            raise Failure("no window of class %r title %r within %g s (%s)"
                          % (cls, title, timeout, e))

    def wait_gone(self, hwnd, timeout=30):
        try:
            self("wait-gone", hwnd, "--timeout", timeout)
        except ProbeError as e:
            raise Failure("window %s still there after %g s (%s)" % (hwnd, timeout, e))

    def text(self, hwnd):
        return self("text", hwnd)

    def tree(self, hwnd):
        return self("tree", hwnd)

    def click(self, hwnd):
        """A real mouse click; retried while the window is busy or not yet on top."""
        return self.retry(lambda: self("click", hwnd))

    def retry(self, action, timeout=10):
        end = time.monotonic() + timeout
        while True:
            try:
                return action()
            except ProbeError:
                if time.monotonic() > end:
                    raise
                time.sleep(0.2)


# ---- windows as trees -----------------------------------------------------------------------

def flatten(node):
    out = [node]
    for child in node.get("children", []):
        out.extend(flatten(child))
    return out


def find(node, cls=None, text=None, visible=None, many=False):
    """Controls below `node` (a tree) of that class and text; exactly one unless many."""
    hits = [n for n in flatten(node)[1:]
            if (cls is None or n["class"] == cls) and (text is None or n["text"] == text)
            and (visible is None or n["visible"] == visible)]
    if many:
        return hits
    check(len(hits) == 1, "expected one %s %r in %s, found %d" % (cls, text, node["class"],
                                                                   len(hits)))
    return hits[0]


def reading_order(nodes):
    """Top to bottom, then left to right, as a user reads them on screen."""
    return sorted(nodes, key=lambda n: (n["rect"][1], n["rect"][0]))


# ---- the registry through `wine reg` --------------------------------------------------------

_VALUE = re.compile(r"^    (.*?)    (REG_[A-Z_]+)(?:    (.*))?$")


def parse_reg_query(text):
    """`reg query KEY /s` output as {key path: {value name: (type, data)}}."""
    keys = {}
    current = None
    for line in text.splitlines():
        if line.startswith("HKEY_"):
            current = keys.setdefault(line.strip(), {})
            continue
        m = _VALUE.match(line)
        if m and current is not None:
            current[m.group(1)] = (m.group(2), m.group(3) or "")
    return keys


def full_key_name(key):
    """The key with its root spelt out, as `reg query` prints it."""
    root, _, rest = key.partition("\\")
    root = {"HKCU": "HKEY_CURRENT_USER", "HKLM": "HKEY_LOCAL_MACHINE",
            "HKCR": "HKEY_CLASSES_ROOT", "HKU": "HKEY_USERS"}.get(root.upper(), root.upper())
    return root + ("\\" + rest if rest else "")


# ---- a session -------------------------------------------------------------------------------

class Session:
    """One run of the program: its own prefix copy, its own display, its own probe."""

    def __init__(self, name, preinstall=True):
        self.name = name
        # False: the test installs the program itself (with its installer) and sets
        # install_dir_win to where it went.
        self.preinstall = preinstall
        self.install_dir_win = INSTALL_DIR_WIN
        self.dir = os.path.join(BUILD, "e2e", name)
        self.prefix = os.path.join(self.dir, "prefix")
        self.xvfb = None
        self.probe = None
        self.log_file = None
        self.env = None

    # Paths ----------------------------------------------------------------------------------
    def unix_path(self, win_path):
        """C:\\x\\y inside this session's prefix."""
        check(win_path[1:3] == ":\\" and win_path[0].upper() == "C", "not a C: path: " + win_path)
        return os.path.join(self.prefix, "drive_c", *win_path[3:].split("\\"))

    @property
    def install_dir(self):
        return self.unix_path(self.install_dir_win)

    @property
    def exe_win(self):
        return self.install_dir_win + "\\MirtakTools.exe"

    # Life cycle -------------------------------------------------------------------------------
    def __enter__(self):
        for path, what in ((PROGRAM, "the program"), (PROBE, "the probe"),
                           (RECORDER, "the recorder")):
            check(os.path.exists(path), "%s is not built: %s" % (what, path))
        ensure_template()
        self._end_leftovers()
        try:
            copy_prefix(self.prefix)
            if self.preinstall:
                os.makedirs(self.install_dir)
                shutil.copy2(PROGRAM, self.install_dir)
            self.log_file = open(os.path.join(self.dir, "wine.log"), "ab")
            self._start_display()
            self.env = dict(os.environ, WINEPREFIX=self.prefix, DISPLAY=self.display)
            self.env.pop("WINEDLLOVERRIDES", None)     # wine-env.sh's own, not the caller's
            self.probe = Probe(self)
        except BaseException:
            self.__exit__(*sys.exc_info())
            raise
        return self

    def __exit__(self, kind, value, tb):
        if self.probe:
            self.probe.close()
        self._stop_wine()
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            os.unlink(self._xvfb_pid_file)
        if self.log_file:
            self.log_file.close()
        if kind is None and os.environ.get("MT_E2E_KEEP") != "1":
            shutil.rmtree(self.dir, ignore_errors=True)
        elif kind is not None:
            log("session files kept in %s" % self.dir)
        return False

    @property
    def _xvfb_pid_file(self):
        return self.dir + ".xvfb-pid"

    def _end_leftovers(self):
        """A run that was killed (a ctest time-out) leaves its Wine processes and display
        behind: end them before the folder is made afresh."""
        if os.path.exists(self.dir):
            self._stop_wine()
            shutil.rmtree(self.dir)
        try:
            with open(self._xvfb_pid_file) as f:
                pid = int(f.read())
            with open("/proc/%d/cmdline" % pid, "rb") as f:
                if f.read().startswith(b"Xvfb"):
                    os.kill(pid, 15)
        except (OSError, ValueError):
            pass

    def _start_display(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=self.log_file)
        os.close(write_fd)
        with open(self._xvfb_pid_file, "w") as f:
            f.write(str(self.xvfb.pid))
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        check(number.isdigit(), "Xvfb did not start")
        self.display = ":" + number

    def _stop_wine(self):
        env = dict(os.environ, WINEPREFIX=self.prefix)
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        try:
            subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=30)
        except subprocess.TimeoutExpired:
            log("the wineserver of %s did not end" % self.prefix)

    # Wine commands ----------------------------------------------------------------------------
    def wine(self, *args, check_rc=True):
        """Runs a Windows command line program of the prefix (reg, regedit, ...); its output
        comes in the console code page, GBK under the zh_CN locale."""
        r = subprocess.run([os.path.join(TOOLS, "wine-run.sh"), "--prefix", self.prefix]
                           + list(args), env=self.env, stdout=subprocess.PIPE,
                           stderr=self.log_file)
        out = r.stdout.decode("gbk", errors="replace").replace("\r\n", "\n")
        if check_rc:
            check(r.returncode == 0,
                  "wine %s failed (%d): %s" % (" ".join(args), r.returncode, out))
        return out

    def reg_query(self, key):
        """The key and all below it as {key: {name: (type, data)}}; {} when it is missing."""
        # reg.exe fails for a missing key, but under load a start of it can fail too: a key
        # counts as missing only when three queries in a row say so.
        for attempt in range(3):
            r = subprocess.run([os.path.join(TOOLS, "wine-run.sh"), "--prefix", self.prefix,
                                "reg", "query", key, "/s"], env=self.env,
                               stdout=subprocess.PIPE, stderr=self.log_file)
            if r.returncode == 0:
                break
            time.sleep(0.3)
        else:
            return {}
        keys = parse_reg_query(r.stdout.decode("gbk", errors="replace").replace("\r\n", "\n"))
        keys.setdefault(full_key_name(key), {})     # an empty key prints nothing
        return keys

    def reg_value(self, key, name):
        """(type, data) of one value, or None."""
        return self.reg_query(key).get(full_key_name(key), {}).get(name)

    def reg_import(self, lines):
        """Writes registry entries given as the lines of a .reg file (after its header)."""
        path = os.path.join(self.dir, "seed.reg")
        text = "\r\n".join(["Windows Registry Editor Version 5.00", ""] + lines + ["", ""])
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + text.encode("utf-16-le"))
        self.wine("regedit", "/S", "Z:" + path.replace("/", "\\"))

    # The program ------------------------------------------------------------------------------
    def start_program(self):
        """Starts MirtakTools.exe (in its folder, as the shell would) and gives its pid."""
        return self.probe("start", self.exe_win)["pid"]

    def wait_main_window(self, timeout=60):
        return self.probe.wait_window(cls=MAIN_CLASS, timeout=timeout)

    def close_and_wait(self, hwnd, pid, timeout=30):
        """Closes a window with its close box and waits for the program to end."""
        self.probe("close", hwnd)
        return self.wait_exit(pid, timeout)

    def wait_exit(self, pid, timeout=30):
        try:
            return self.probe("wait-exit", pid, "--timeout", timeout)["exit_code"]
        except ProbeError as e:
            raise Failure("the program did not end: %s" % e)

    def message_box(self, owner=None, timeout=30):
        """Waits for a message box and gives (hwnd, caption, text, tree)."""
        box = self.probe.wait_window(cls="#32770", timeout=timeout)
        if owner is not None:
            check_equal(box["owner"], owner, "owner of the message box")
        tree = self.probe.tree(box["hwnd"])
        texts = [n["text"] for n in find(tree, cls="Static", many=True) if n["text"]]
        return box["hwnd"], box["text"], "\n".join(texts), tree

    def answer_message_box(self, tree, button="确定"):
        self.probe.click(find(tree, cls="Button", text=button)["hwnd"])
        self.probe.wait_gone(tree["hwnd"], timeout=10)

    def no_window_appears(self, cls, seconds):
        """Checks that no visible window of that class shows up for `seconds`."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            shown = self.probe.windows(cls=cls)
            check(not shown, "unexpected window: %r" % (shown,))
            time.sleep(0.1)

    # Keyboard -----------------------------------------------------------------------------------
    def focused(self):
        return self.probe("foreground")["focus"]

    def tab_to(self, cls, tries=15):
        """Presses TAB until a control of class `cls` has the focus, as a keyboard user moves
        through a dialog."""
        for _ in range(tries):
            focus = self.focused()
            if focus and focus["class"] == cls:
                return focus
            self.probe("keys", "TAB")
            time.sleep(0.1)
        raise Failure("TAB never reached a %s (focus: %r)" % (cls, self.focused()))

    def replace_text(self, edit_hwnd, text):
        """Clicks into an edit box, selects what it holds and types `text` over it."""
        self.probe.click(edit_hwnd)
        wait_until("the focus in %s" % edit_hwnd,
                   lambda: (self.focused() or {}).get("hwnd") == edit_hwnd, timeout=10)
        self.probe("keys", "HOME", "SHIFT+END")
        self.probe("type", text)
        wait_until("%r in the edit box" % text, lambda: self.probe.text(edit_hwnd) == text,
                   timeout=10)

    def type_into_focus(self, text, enter=True):
        """Types into whatever has the focus (a file dialog's name box) and presses ENTER."""
        focus = self.focused()
        check(focus and focus["class"] == "Edit", "the focus is not in an edit box: %r" % focus)
        self.probe("keys", "HOME", "SHIFT+END")
        self.probe("type", text)
        wait_until("%r typed" % text, lambda: self.probe.text(focus["hwnd"]) == text, timeout=10)
        if enter:
            self.probe("keys", "ENTER")
        return focus

    def wait_caption(self, hwnd, caption, timeout=60):
        wait_until("the caption %r" % caption, lambda: self.probe.text(hwnd) == caption,
                   timeout=timeout, interval=0.2)


def run(test, name=None, preinstall=True):
    """Runs test(session) in a fresh session and exits with ctest's status."""
    name = name or os.path.splitext(os.path.basename(sys.argv[0]))[0]
    started = time.monotonic()
    try:
        with Session(name, preinstall) as session:
            test(session)
    except Skipped as e:
        print("SKIPPED: %s" % e, flush=True)
        sys.exit(SKIP)
    except Exception:
        traceback.print_exc()
        print("FAILED after %.1f s" % (time.monotonic() - started), flush=True)
        sys.exit(1)
    print("passed in %.1f s" % (time.monotonic() - started), flush=True)
    sys.exit(0)
