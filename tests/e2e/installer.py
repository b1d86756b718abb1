"""The installer that the update test serves for download, and how to tell that it ran.

Kept apart from the test so that what makes an installer acceptable to the program is
changed here alone. The program starts only an installer whose Authenticode signature
chains to a trusted root and names the maker: the served installer is signed at test time
with throw-away keys (update/tests/make_signing_material.py), and `prepare` makes the
session's prefix trust the throw-away root.

The installer is e2e_record.exe (tools/probe): started, it writes its command line into
the file beside it that has its name with ".log" for ".exe".
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from e2e import BUILD, RECORDER, SOURCE, check, log

# Where the program puts the download, beside its executable.
RELATIVE_PATH = "rar\\tbxsetup.exe"

_material = None


def signer_name():
    """The maker's name that the program requires of the signing certificate."""
    with open(os.path.join(SOURCE, "app", "Constants.h"), encoding="utf-8") as f:
        m = re.search(r'kSignerName = "([^"]*)"', f.read())
    check(m is not None, "no kSignerName in app/Constants.h")
    return m.group(1)


def material():
    """The folder with root.der, signed.exe, unsigned.exe, ... (made once per test run)."""
    global _material
    if _material is None:
        os.makedirs(os.path.join(BUILD, "e2e"), exist_ok=True)
        folder = tempfile.mkdtemp(prefix="signing-", dir=os.path.join(BUILD, "e2e"))
        log("signing the test installer with a throw-away root")
        subprocess.run([sys.executable,
                        os.path.join(SOURCE, "update", "tests", "make_signing_material.py"),
                        folder, RECORDER, signer_name()], check=True)
        _material = folder
    return _material


def cleanup():
    global _material
    if _material is not None:
        shutil.rmtree(_material, ignore_errors=True)
        _material = None


def prepare(session):
    """Makes the session's prefix trust the throw-away root (before the program starts)."""
    root = os.path.join(session.dir, "test-root.der")
    shutil.copy2(os.path.join(material(), "root.der"), root)
    session.probe("trust-root", "Z:" + root.replace("/", "\\"))


def payload(signed=True):
    """The bytes served as the installer: signed by the maker, or the bare recorder."""
    with open(os.path.join(material(), "signed.exe" if signed else "unsigned.exe"), "rb") as f:
        return f.read()


def marker(session):
    """The file that the installer writes when it runs (this system's path)."""
    return os.path.join(session.install_dir, "rar", "tbxsetup.log")


def started_with(session):
    """The command lines the installer was started with (empty before it ran)."""
    path = marker(session)
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return f.read().splitlines()
