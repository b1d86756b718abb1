#!/usr/bin/env python3
"""The release packages of tools/package.sh, installed, upgraded and uninstalled silently in
a fresh prefix:

- the packages: file names from the tree's version, SHA256SUMS of both, the portable zip
  holding the program alone, version resources of program and installer agreeing with the
  release, "unsigned" said plainly, the next version's three programs signed;
- /S installs into Program Files: files, Start-menu shortcuts, the uninstall entry in the
  64-bit view read back with `reg query`; the installed program starts and shows its version;
- the next version installed over it keeps config.ini and "备份" and updates the entry;
- the entry's QuietUninstallString removes everything it installed and keeps "备份"."""
import hashlib
import os
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import installer  # noqa: E402
import release  # noqa: E402
from e2e import (BUILD, PROGRAM, check, check_equal, log, run, wait_until)  # noqa: E402

try:
    import pefile
except ImportError:
    # Debian's python3-pefile belongs to the system's interpreter; a python3 of its own
    # (a virtual environment) finds it there.
    sys.path.append("/usr/lib/python3/dist-packages")
    import pefile

COMPANY = "Mirtak工作小组"


def version_resource(path):
    """(file version, product version, {string name: value}) of a PE file."""
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(
        directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed = pe.VS_FIXEDFILEINFO[0]

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return (dotted(fixed.FileVersionMS, fixed.FileVersionLS),
            dotted(fixed.ProductVersionMS, fixed.ProductVersionLS), strings)


def check_version_resources(pkg, program):
    number = release.numeric(pkg.version)
    for path, what in ((program, "program"), (pkg.setup, "installer")):
        file_version, product_version, strings = version_resource(path)
        check_equal((file_version, product_version), (number, number),
                    "file and product version of the %s %s" % (pkg.version, what))
        check_equal((strings.get("FileDescription"), strings.get("CompanyName"),
                     strings.get("FileVersion"), strings.get("ProductVersion")),
                    ("小工具合集", COMPANY, number, number),
                    "version texts of the %s %s" % (pkg.version, what))


def check_packages(pkg):
    """SHA256SUMS and the portable zip; gives the program inside the zip."""
    with open(pkg.sums) as f:
        sums = dict(reversed(line.split()) for line in f.read().splitlines())
    expected = {}
    for path in (pkg.setup, pkg.portable):
        with open(path, "rb") as f:
            expected[os.path.basename(path)] = hashlib.sha256(f.read()).hexdigest()
    check_equal(sums, expected, "SHA256SUMS of %s" % pkg.version)
    with zipfile.ZipFile(pkg.portable) as z:
        check_equal(z.namelist(), ["MirtakTools.exe"], "the portable zip's files")
        inside = os.path.join(pkg.folder, "portable-MirtakTools.exe")
        with open(inside, "wb") as f:
            f.write(z.read("MirtakTools.exe"))
    return inside


def verify_signature(path, root_pem):
    """osslsigncode's verdict on a file's signature against the throw-away root."""
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", root_pem, "-in", path],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return r.returncode == 0


def same_bytes(a, b):
    with open(a, "rb") as f, open(b, "rb") as g:
        return f.read() == g.read()


def start_and_read_caption(s):
    pid = s.start_program()
    main = s.wait_main_window()
    caption = s.probe.text(main["hwnd"])
    check_equal(s.close_and_wait(main["hwnd"], pid), 0, "exit code of the installed program")
    return caption


def test(s):
    keys = installer.keys()
    root_pem = keys["root"]
    log("packaging %s (unsigned) and %s (signed)" % (release.tree_version(BUILD),
                                                    release.NEXT_VERSION))
    old = release.package(s, BUILD, "old")
    check("UNSIGNED" in old.output, "an unsigned release does not say so:\n" + old.output)
    new = release.package(s, release.next_tree(), "new", keys=keys["maker"])
    check("UNSIGNED" not in new.output, "a signed release says it is unsigned")

    old_program = check_packages(old)
    check(same_bytes(old_program, PROGRAM), "the unsigned portable program is not the built one")
    new_program = check_packages(new)
    check_version_resources(old, old_program)
    check_version_resources(new, new_program)
    check(not verify_signature(old.setup, root_pem), "the unsigned installer has a signature")
    check(verify_signature(new.setup, root_pem), "the signed installer does not verify")
    check(verify_signature(new_program, root_pem), "the signed program does not verify")

    log("first installation")
    release.install(s, old)
    s.install_dir_win = release.PROGRAM_FILES_DIR
    folder = s.install_dir
    check_equal(sorted(os.listdir(folder)), ["MirtakTools.exe", "uninst.exe"],
                "installed files")
    check(same_bytes(os.path.join(folder, "MirtakTools.exe"), PROGRAM),
          "the installed program is not the built one")
    menu = s.unix_path(release.MENU_DIR)
    check_equal(sorted(os.listdir(menu)), ["Mirtak小工具合集.lnk", "卸载Mirtak小工具合集.lnk"],
                "Start-menu shortcuts")
    entry = release.uninstall_entry(s)
    exe = release.PROGRAM_FILES_DIR + "\\MirtakTools.exe"
    uninstaller = release.PROGRAM_FILES_DIR + "\\uninst.exe"
    size = entry.pop("EstimatedSize", ("", "0x0"))
    check_equal(entry, {
        "DisplayName": ("REG_SZ", "Mirtak小工具合集"),
        "DisplayVersion": ("REG_SZ", "1.3.0.0"),
        "Publisher": ("REG_SZ", COMPANY),
        "DisplayIcon": ("REG_SZ", exe + ",0"),
        "InstallLocation": ("REG_SZ", release.PROGRAM_FILES_DIR),
        "UninstallString": ("REG_SZ", '"%s"' % uninstaller),
        "QuietUninstallString": ("REG_SZ", '"%s" /S' % uninstaller),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1")}, "the uninstall entry")
    installed_kib = sum(os.path.getsize(os.path.join(folder, n)) for n in os.listdir(folder)) / 1024
    check(size[0] == "REG_DWORD" and abs(int(size[1], 16) - installed_kib) <= 1,
          "EstimatedSize %r for %.1f KiB installed" % (size, installed_kib))
    check_equal(s.reg_query(release.UNINSTALL_KEY_32), {}, "an entry in the 32-bit view")

    log("the installed program")
    check_equal(start_and_read_caption(s), "Mirtak工具合集 v1.3", "caption of the installed program")
    check(os.path.exists(os.path.join(folder, "config.ini")), "no config.ini after a start")

    log("the user's files, then the next version over it")
    with open(os.path.join(folder, "config.ini"), "ab") as f:
        f.write(b"sjtx=0\r\nsjtxver=v1.9\r\n")
    backup = os.path.join(folder, "备份", "20261201-101010")
    os.makedirs(backup)
    with open(os.path.join(backup, "注册表.reg"), "wb") as f:
        f.write("Windows Registry Editor Version 5.00\r\n".encode("utf-16"))
    user_files = {}
    for name in ("config.ini", os.path.join("备份", "20261201-101010", "注册表.reg")):
        with open(os.path.join(folder, name), "rb") as f:
            user_files[name] = f.read()
    release.install(s, new)
    check_equal(sorted(os.listdir(folder)), ["MirtakTools.exe", "config.ini", "uninst.exe", "备份"],
                "files after the upgrade")
    for name, data in user_files.items():
        with open(os.path.join(folder, name), "rb") as f:
            check(f.read() == data, "%s changed in the upgrade" % name)
    check(same_bytes(os.path.join(folder, "MirtakTools.exe"), new_program),
          "the upgraded program is not the one of the next package")
    check(verify_signature(os.path.join(folder, "uninst.exe"), root_pem),
          "the installed uninstaller does not verify")
    check_equal(release.uninstall_entry(s).get("DisplayVersion"), ("REG_SZ", "1.4.0.0"),
                "DisplayVersion after the upgrade")
    check_equal(start_and_read_caption(s), "Mirtak工具合集 v1.4", "caption after the upgrade")

    log("silent uninstall with the entry's QuietUninstallString")
    quiet = release.uninstall_entry(s)["QuietUninstallString"][1]
    check(quiet.endswith('" /S'), "QuietUninstallString: " + quiet)
    check_equal(release.run_windows_program(s, s.unix_path(quiet[1:-4]), "/S"), 0,
                "exit code of the uninstaller")
    # The uninstaller goes on in a copy of itself, so that it can delete its own file.
    wait_until("the uninstaller to finish",
               lambda: not os.path.exists(os.path.join(folder, "uninst.exe")), timeout=60)
    check_equal(release.uninstall_entry(s), {}, "the uninstall entry after uninstalling")
    check(not os.path.exists(menu), "the Start-menu folder is still there")
    check_equal(sorted(os.listdir(folder)), ["备份"], "what the uninstaller left")
    name = os.path.join("备份", "20261201-101010", "注册表.reg")
    with open(os.path.join(folder, name), "rb") as f:
        check(f.read() == user_files[name], "the backup changed in the uninstall")


if __name__ == "__main__":
    try:
        run(test, preinstall=False)
    finally:
        installer.cleanup()
