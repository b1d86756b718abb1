"""The release packages in the end-to-end tests: what tools/package.sh (the packaging step of
./release.sh) makes of this tree, and of the tree of the next version, and how a session
installs, reads back and uninstalls them.

The tree of the next version (build/win64/e2e-next) is a folder that the build fills beside
this tree: the same program with the next minor version's text and version resources, and
the generated files that tools/package.sh reads (program/CMakeLists.txt).
"""
import os
import shutil
import subprocess

from e2e import BUILD, TOOLS, check, check_equal, full_key_name, log, wait_until

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


def next_version(version):
    """The next minor version, as CMakeLists.txt derives it: v1.3 gives v1.4."""
    major, minor = version[1:].split(".")[:2]
    return "v%s.%d" % (major, int(minor) + 1)


def next_tree():
    """The tree of the next version, built with this one; checks that it holds a program and
    names the version that follows this tree's."""
    check(os.path.isfile(os.path.join(NEXT_TREE, "MirtakTools.exe")),
          "no program in %s: build the MirtakTools_next target" % NEXT_TREE)
    check_equal(tree_version(NEXT_TREE), NEXT_VERSION, "version of the next tree")
    return NEXT_TREE


NEXT_VERSION = next_version(tree_version(BUILD))


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
