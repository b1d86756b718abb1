"""The installer that the update test serves for download, and how to tell that it ran.

Kept apart from the test so that what makes an installer acceptable to the program can be
changed here alone: today any program is started; an installer that must pass a check
before it is started is served and recognised by this module.

The installer is e2e_record.exe (tools/probe): started, it writes its command line into
the file beside it that has its name with ".log" for ".exe".
"""
import os

from e2e import RECORDER

# Where the program puts the download, beside its executable.
RELATIVE_PATH = "rar\\tbxsetup.exe"


def payload():
    """The bytes served as the installer."""
    with open(RECORDER, "rb") as f:
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
