#!/usr/bin/env python3
"""tools/package.sh as the README shows it, run from the repository root: signed with key
files named by relative paths (SIGN_KEY + SIGN_CERT, then SIGN_PKCS12 + SIGN_PASS), and a
signing that cannot work ends in one line naming the cause and keeps the packages of the run
before.

  package_test.py BUILD_DIR    a built Windows tree (MirtakTools.exe, generated/release.env)
Throw-away keys come from update/tests/make_signing_material.py; signatures are checked with
osslsigncode verify against its root."""
import hashlib
import os
import shutil
import subprocess
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SIGN_VARIABLES = ("SIGN_KEY", "SIGN_CERT", "SIGN_PKCS12", "SIGN_PASS", "SIGN_TIMESTAMP_URL")
failures = []


def check(ok, what):
    print("%s: %s" % ("ok" if ok else "FAILED", what), flush=True)
    if not ok:
        failures.append(what)


def package(build, dist, **sign):
    """tools/package.sh BUILD DIST from the repository root, with only the given signing
    variables; (exit code, output lines)."""
    env = {k: v for k, v in os.environ.items() if k not in SIGN_VARIABLES}
    env.update(sign)
    r = subprocess.run(["tools/package.sh", os.path.relpath(build, SOURCE),
                        os.path.relpath(dist, SOURCE)], cwd=SOURCE, env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    out = r.stdout.decode("utf-8", errors="replace")
    return r.returncode, [line for line in out.splitlines() if line.strip()], out


def verified(path, root):
    r = subprocess.run(["osslsigncode", "verify", "-CAfile", root, "-in", path],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return r.returncode == 0


def snapshot(dist):
    return {name: hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest()
            for name in sorted(os.listdir(dist))}


def main():
    build = os.path.abspath(sys.argv[1])
    work = os.path.join(build, "package-test")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    material = os.path.join(work, "material")
    subprocess.run([sys.executable, os.path.join(SOURCE, "update", "tests",
                                                 "make_signing_material.py"), "--keep-keys",
                    material, os.path.join(build, "MirtakTools.exe"), "Test Maker"], check=True)
    keys = os.path.join(material, "keys")
    rel = lambda name: os.path.relpath(os.path.join(keys, name), SOURCE)
    root = os.path.join(keys, "root.pem")
    dist = os.path.join(work, "dist")
    version = None
    for line in open(os.path.join(build, "generated", "release.env")):
        if line.startswith("MT_PROGRAM_VERSION="):
            version = line.split("=", 1)[1].strip().strip("'")[1:]
    setup = os.path.join(dist, "MirtakTools-%s-setup.exe" % version)

    # The README's example: a PEM key and certificate, named relative to the current folder.
    check(not os.path.isabs(rel("maker.key")), "the key is named by a relative path")
    code, lines, out = package(build, dist, SIGN_KEY=rel("maker.key"), SIGN_CERT=rel("maker.pem"))
    check(code == 0, "package.sh with SIGN_KEY/SIGN_CERT relative succeeds:\n" + out)
    check(os.path.exists(setup) and verified(setup, root), "the installer is signed")
    check(lines[-1:] == ["package: signed (program, uninstaller, installer)"],
          "it says the packages are signed: %r" % lines[-1:])

    # A PKCS#12 file with a password, relative too.
    p12 = os.path.join(keys, "maker.p12")
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", os.path.join(keys, "maker.key"),
                    "-in", os.path.join(keys, "maker.pem"), "-out", p12, "-passout",
                    "pass:secret"], check=True)
    code, lines, out = package(build, dist, SIGN_PKCS12=rel("maker.p12"), SIGN_PASS="secret")
    check(code == 0, "package.sh with SIGN_PKCS12 relative succeeds:\n" + out)
    check(verified(setup, root), "the installer is signed from the PKCS#12 file")

    # Signing that cannot work: one line with the cause, the packages before kept.
    before = snapshot(dist)
    check(len(before) == 3, "three packages before the failures: %s" % sorted(before))
    for sign, cause in (
            (dict(SIGN_KEY=rel("other.key"), SIGN_CERT=rel("maker.pem")),
             "key and certificate do not match"),
            (dict(SIGN_KEY=rel("missing.key"), SIGN_CERT=rel("maker.pem")), "SIGN_KEY: no file"),
            (dict(SIGN_KEY=rel("maker.pem"), SIGN_CERT=rel("maker.pem")),
             "is no PEM private key"),
            (dict(SIGN_KEY=rel("maker.key"), SIGN_CERT=rel("maker.key")),
             "is no PEM certificate"),
            (dict(SIGN_KEY=rel("maker.key")), "SIGN_KEY and SIGN_CERT must both be set"),
            (dict(SIGN_PKCS12=rel("maker.p12"), SIGN_PASS="wrong"), "SIGN_PASS is wrong")):
        code, lines, out = package(build, dist, **sign)
        check(code != 0, "%s: package.sh fails" % cause)
        check(len(lines) == 1 and cause in lines[0],
              "%s: one line naming the cause, got:\n%s" % (cause, out))
        check(snapshot(dist) == before, "%s: the packages before are kept" % cause)

    if failures:
        print("FAILED: %d checks" % len(failures), flush=True)
        sys.exit(1)
    shutil.rmtree(work, ignore_errors=True)
    print("passed", flush=True)


if __name__ == "__main__":
    main()
