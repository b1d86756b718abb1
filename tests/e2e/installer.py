"""The signing side of the installers that the update tests serve for download.

The program starts only an installer whose Authenticode signature chains to a trusted root
and names the maker: the release's installers are signed at test time with throw-away keys
(update/tests/make_signing_material.py, through tools/package.sh), and `prepare` makes the
session's prefix trust the throw-away root. Kept apart from the tests so that what makes an
installer acceptable to the program is changed here alone.
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
                        "--keep-keys", folder, RECORDER, signer_name()], check=True)
        _material = folder
    return _material


def keys():
    """The throw-away signing keys of this test run, for tools/package.sh: "maker" and
    "other" as (private key, certificate) PEM files, "root" the root's PEM certificate."""
    folder = os.path.join(material(), "keys")
    pair = lambda name: (os.path.join(folder, name + ".key"), os.path.join(folder, name + ".pem"))
    return {"maker": pair("maker"), "other": pair("other"),
            "root": os.path.join(folder, "root.pem")}


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
