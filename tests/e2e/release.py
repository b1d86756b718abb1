"""The release packages in the end-to-end tests: what tools/package.sh (the packaging step of
./release.sh) makes of this tree, and of a second tree of the next version built for these
tests alone, and how a session installs, reads back and uninstalls them.

The second tree (build/win64/e2e-next) is this source configured with
-DMT_PROGRAM_VERSION=v1.4; only the program is built there, and only one generated source
differs from this tree's, so with the compiler cache it costs a link.
"""
import fcntl
import os
import shutil
import subprocess

from e2e import BUILD, SOURCE, TOOLS, check, check_equal, full_key_name, log, wait_until

NEXT_VERSION = "v1.4"
NEXT_TREE = os.path.join(BUILD, "e2e-next")
PROGRAM_FILES_DIR = "C:\\Program Files\\Mirtak小工具合集"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\MirtakTools"
UNINSTALL_KEY_32 = ("HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
                    "\\MirtakTools")
MENU_DIR = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Mirtak小工具合集"
SIGN_VARIABLES = ("SIGN_KEY", "SIGN_CERT", "SIGN_PKCS12", "SIGN_PASS", "SIGN_TIMESTAMP_URL")


def windows_path(unix_path):
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


def tree_version(tree):
    """The program version a build tree was configured with ("v1.3")."""
    with open(os.path.join(tree, "generated", "release.env")) as f:
        for line in f:
            if line.startswith("MT_PROGRAM_VERSION="):
                return line.split("=", 1)[1].strip().strip("'")
    raise AssertionError("no MT_PROGRAM_VERSION in %s" % tree)


def numeric(version):
    """"v1.3" as the version resources and the uninstall entry give it: 1.3.0.0."""
    parts = version[1:].split(".")
    return ".".join(parts + ["0"] * (4 - len(parts)))


def next_tree():
    """Configures (once) and builds the tree of the next version, under a lock, since the
    tests that need it may run at the same time."""
    with open(NEXT_TREE + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(NEXT_TREE, "build.ninja")):
            log("configuring the %s tree" % NEXT_VERSION)
            toolchain = os.path.join(SOURCE, "cmake", "mingw-w64-x86_64.cmake")
            args = ["-DCMAKE_BUILD_TYPE=Release", "-DCMAKE_TOOLCHAIN_FILE=" + toolchain,
                    "-DMT_PROGRAM_VERSION=" + NEXT_VERSION]
            # The compiler launcher of this tree (a compiler cache) serves that one too.
            with open(os.path.join(BUILD, "CMakeCache.txt"), encoding="utf-8") as f:
                for line in f:
                    if line.startswith(("CMAKE_C_COMPILER_LAUNCHER:",
                                        "CMAKE_CXX_COMPILER_LAUNCHER:")):
                        name, value = line.rstrip("\n").split("=", 1)
                        args.append("-D%s=%s" % (name.split(":")[0], value))
            subprocess.run(["cmake", "-S", SOURCE, "-B", NEXT_TREE, "-G", "Ninja"] + args,
                           check=True, stdout=subprocess.DEVNULL)
        log("building the %s program" % NEXT_VERSION)
        subprocess.run(["ninja", "-C", NEXT_TREE, "MirtakTools"], check=True,
                       stdout=subprocess.DEVNULL)
    check_equal(tree_version(NEXT_TREE), NEXT_VERSION, "version of the next tree")
    return NEXT_TREE


def relabelled_tree(session, tree, version):
    """A tree for tools/package.sh that holds `tree`'s program but names another version
    (`version`, "v1.5"): the installer made of it is a genuine signed release whose version
    resources say that version, as a release of the maker's that is not the one on offer."""
    folder = os.path.join(session.dir, "tree-" + version)
    os.makedirs(os.path.join(folder, "generated"), exist_ok=True)
    shutil.copy2(os.path.join(tree, "MirtakTools.exe"), os.path.join(folder, "MirtakTools.exe"))
    old = tree_version(tree)
    for name in ("release.env", "release.nsh"):
        with open(os.path.join(tree, "generated", name), encoding="utf-8") as f:
            text = f.read()
        text = text.replace(numeric(old), numeric(version)).replace(old, version)
        with open(os.path.join(folder, "generated", name), "w", encoding="utf-8") as f:
            f.write(text)
    check_equal(tree_version(folder), version, "version of the relabelled tree")
    return folder


class Package:
    """What tools/package.sh made of a tree in a folder of its own."""

    def __init__(self, tree, folder, output):
        self.tree = tree
        self.folder = folder
        self.output = output
        self.version = tree_version(tree)
        release = self.version[1:]
        self.setup = os.path.join(folder, "MirtakTools-%s-setup.exe" % release)
        self.portable = os.path.join(folder, "MirtakTools-%s-portable.zip" % release)
        self.sums = os.path.join(folder, "SHA256SUMS")


def package(session, tree, name, keys=None):
    """tools/package.sh of `tree` into the session's folder `name`; signed with keys, a pair
    (private key, certificate) of PEM files, or unsigned."""
    folder = os.path.join(session.dir, name)
    env = {k: v for k, v in os.environ.items() if k not in SIGN_VARIABLES}
    if keys:
        env.update(SIGN_KEY=keys[0], SIGN_CERT=keys[1])
    r = subprocess.run([os.path.join(TOOLS, "package.sh"), tree, folder], env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    output = r.stdout.decode("utf-8", errors="replace")
    check(r.returncode == 0, "tools/package.sh %s failed:\n%s" % (tree, output))
    return Package(tree, folder, output)


def run_windows_program(session, path, *args, timeout=120):
    """Runs a Windows program of this system's file system in the session's prefix and waits
    for it to end; gives its exit code."""
    r = subprocess.run([os.path.join(TOOLS, "wine-run.sh"), "--prefix", session.prefix,
                        windows_path(path)] + list(args), env=session.env,
                       stdout=session.log_file, stderr=session.log_file, timeout=timeout)
    return r.returncode


def install(session, pkg, *args):
    """Runs the package's installer silently (and with any further options)."""
    log("installing %s silently" % pkg.version)
    check_equal(run_windows_program(session, pkg.setup, "/S", *args), 0,
                "exit code of the %s installer" % pkg.version)


def uninstall_entry(session):
    """The values of the program's uninstall entry, {name: (type, data)}; {} when absent."""
    return session.reg_query(UNINSTALL_KEY).get(full_key_name(UNINSTALL_KEY), {})


def wait_for_version(session, version, timeout=60):
    """Waits until the uninstall entry names `version` (an installer that another program
    started ends on its own time)."""
    wait_until("the uninstall entry of %s" % version,
               lambda: uninstall_entry(session).get("DisplayVersion", ("", ""))[1]
               == numeric(version), timeout=timeout, interval=0.5)
