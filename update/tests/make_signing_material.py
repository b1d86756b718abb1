#!/usr/bin/env python3
"""Makes the signed test installers of the update's Wine tests, with throw-away keys.

  make_signing_material.py [--keep-keys] OUTDIR INSTALLER.exe SIGNER_NAME

OUTDIR receives (everything in it before is removed):
  root.der            the test root certificate (the tests add it to the trusted roots)
  signed.exe          signed by SIGNER_NAME, issued by the test root
  other_signer.exe    signed by another name, issued by the same root
  altered.exe         signed.exe with one byte of its code changed after signing
  unsigned.exe        no signature
  untrusted_root.exe  signed by SIGNER_NAME, issued by a root nobody trusts (sent along)
  unanchored.exe      the same without that root: the chain ends nowhere
The private keys live only in a temporary folder and are gone when this script ends;
with --keep-keys the ones of the two signers issued by the test root stay, so that the
tests can sign a release with them (tools/sign-file.sh):
  keys/maker.key, keys/maker.pem   SIGNER_NAME
  keys/other.key, keys/other.pem   another name
  keys/root.pem                    the test root's certificate (osslsigncode verify -CAfile)
"""
import os, shutil, subprocess, sys, tempfile

CONFIG = """
[req]
distinguished_name = dn
[dn]
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[leaf]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def main():
    args = sys.argv[1:]
    keep_keys = "--keep-keys" in args
    if keep_keys:
        args.remove("--keep-keys")
    outdir, installer, signer = args[:3]
    shutil.rmtree(outdir, ignore_errors=True)
    os.makedirs(outdir)
    with tempfile.TemporaryDirectory() as keys:
        cnf = os.path.join(keys, "openssl.cnf")
        with open(cnf, "w") as f:
            f.write(CONFIG)
        k = lambda name: os.path.join(keys, name)

        def root(name, cn):
            run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256",
                "-days", "7", "-subj", "/CN=" + cn, "-keyout", k(name + ".key"),
                "-out", k(name + ".pem"), "-config", cnf, "-extensions", "ca")

        def leaf(name, cn, issuer):
            run("openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj",
                "/CN=%s/O=%s" % (cn, cn), "-keyout", k(name + ".key"), "-out", k(name + ".csr"),
                "-config", cnf)
            run("openssl", "x509", "-req", "-sha256", "-days", "7", "-in", k(name + ".csr"),
                "-CA", k(issuer + ".pem"), "-CAkey", k(issuer + ".key"), "-set_serial",
                str(int.from_bytes(os.urandom(8), "big")), "-extfile", cnf, "-extensions", "leaf",
                "-out", k(name + ".pem"))

        def sign(name, certs, out):
            chain = k(name + ".chain.pem")
            with open(chain, "w") as f:
                for c in certs:
                    f.write(open(k(c + ".pem")).read())
            run("osslsigncode", "sign", "-certs", chain, "-key", k(name + ".key"), "-h", "sha256",
                "-in", installer, "-out", os.path.join(outdir, out))

        root("root", "Mirtak Test Root")
        root("stranger", "Stranger Root")
        leaf("maker", signer, "root")
        leaf("other", "Other Software Co., Ltd.", "root")
        leaf("forged", signer, "stranger")
        run("openssl", "x509", "-in", k("root.pem"), "-outform", "der",
            "-out", os.path.join(outdir, "root.der"))
        sign("maker", ["maker"], "signed.exe")
        sign("other", ["other"], "other_signer.exe")
        sign("forged", ["forged", "stranger"], "untrusted_root.exe")
        sign("forged", ["forged"], "unanchored.exe")
        if keep_keys:
            os.makedirs(os.path.join(outdir, "keys"))
            for name in ("maker", "other"):
                for ext in (".key", ".pem"):
                    shutil.copyfile(k(name + ext), os.path.join(outdir, "keys", name + ext))
            shutil.copyfile(k("root.pem"), os.path.join(outdir, "keys", "root.pem"))
    shutil.copyfile(installer, os.path.join(outdir, "unsigned.exe"))

    # One byte in the middle of the code, which the signature's hash covers.
    data = bytearray(open(os.path.join(outdir, "signed.exe"), "rb").read())
    middle = os.path.getsize(installer) // 2
    data[middle] ^= 0xFF
    open(os.path.join(outdir, "altered.exe"), "wb").write(data)


if __name__ == "__main__":
    try:
        main()
    except subprocess.CalledProcessError as e:
        sys.stderr.write("%s failed: %s\n" % (" ".join(e.cmd), e.stderr.decode(errors="replace")))
        sys.exit(1)
