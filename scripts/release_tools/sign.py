"""Authenticode signatures on the Windows files we build, when a certificate is given.

    scripts/sign --status    one line: signed by whom, or why not
    scripts/sign PATH...     signs each PE file or MSI package named, and inside each
                             folder named every PE file we build: all but the compiler's
                             run-time DLLs, which are Debian's binaries, not ours

The certificate comes from the environment; without ZELKORA_SIGN_PKCS12 nothing is signed:
    ZELKORA_SIGN_PKCS12         the code-signing certificate and its key, a PKCS#12 file
    ZELKORA_SIGN_PASSWORD       that file's password
    ZELKORA_SIGN_TIMESTAMP_URL  an RFC 3161 time-stamping server (optional; its answer
                                carries the server's time, so such a release cannot be
                                rebuilt to the same bytes)
Digests are SHA-256 and the signing time is the commit's (SOURCE_DATE_EPOCH): the same
files signed with the same key give the same bytes, with osslsigncode at the version
scripts/sign pins.
"""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

RUNTIME_DLLS = {"libstdc++-6.dll", "libgcc_s_seh-1.dll", "libwinpthread-1.dll"}
DESCRIPTION = "zelkora-desk"


def die(message):
    sys.exit(f"scripts/sign: {message}")


def certificate():
    """(PKCS#12 path, password) from the environment, or None to build unsigned."""
    path = os.environ.get("ZELKORA_SIGN_PKCS12", "")
    if not path:
        return None
    if not Path(path).is_file():
        die(f"ZELKORA_SIGN_PKCS12={path}: no such file")
    if "ZELKORA_SIGN_PASSWORD" not in os.environ:
        die("ZELKORA_SIGN_PKCS12 is set but ZELKORA_SIGN_PASSWORD is not")
    return Path(path), os.environ["ZELKORA_SIGN_PASSWORD"]


def subject(pkcs12, password):
    """The certificate's subject: also proves that the password opens the file."""
    shown = subprocess.run(["openssl", "pkcs12", "-in", str(pkcs12), "-nokeys", "-clcerts", "-passin", "env:PASS"],
                           env={**os.environ, "PASS": password}, capture_output=True, text=True)
    found = subprocess.run(["openssl", "x509", "-noout", "-subject", "-nameopt", "oneline"], input=shown.stdout,
                           capture_output=True, text=True)
    if shown.returncode or found.returncode:
        die(f"{pkcs12}: cannot read the certificate with ZELKORA_SIGN_PASSWORD ({shown.stderr.strip()})")
    return found.stdout.strip().removeprefix("subject=").strip()


def signing_time():
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch is None:
        epoch = subprocess.run(["git", "log", "-1", "--format=%ct"], capture_output=True, text=True,
                               check=True).stdout.strip()
    return epoch


def is_pe(path):
    with open(path, "rb") as data:
        return data.read(2) == b"MZ"


def is_msi(path):
    """A Windows Installer package: a compound file, which osslsigncode signs as well."""
    with open(path, "rb") as data:
        return data.read(8) == bytes.fromhex("d0cf11e0a1b11ae1")


def ours(folder):
    return sorted(p for p in Path(folder).rglob("*") if p.is_file() and p.suffix.lower() in (".exe", ".dll")
                  and p.name.lower() not in RUNTIME_DLLS and is_pe(p))


def sign(path, pkcs12, password_file, time):
    command = ["osslsigncode", "sign", "-pkcs12", str(pkcs12), "-readpass", password_file, "-h", "sha256",
               "-n", DESCRIPTION, "-time", time]
    if os.environ.get("ZELKORA_SIGN_TIMESTAMP_URL"):
        command += ["-ts", os.environ["ZELKORA_SIGN_TIMESTAMP_URL"]]
    signed = path.with_name(path.name + ".signed")
    done = subprocess.run(command + ["-in", str(path), "-out", str(signed)], capture_output=True, text=True)
    if done.returncode:
        signed.unlink(missing_ok=True)
        die(f"signing {path} failed: {(done.stderr or done.stdout).strip()}")
    os.replace(signed, path)


def main(args):
    given = certificate()
    if args == ["--status"]:
        print("signing Windows files as " + subject(*given) if given else
              "not signed: set ZELKORA_SIGN_PKCS12 and ZELKORA_SIGN_PASSWORD to sign the Windows files")
        return
    if not args or any(a.startswith("-") for a in args):
        sys.exit(__doc__)
    if not given:
        return
    pkcs12, password = given
    files = []
    for arg in map(Path, args):
        if arg.is_dir():
            files += ours(arg)
        elif arg.is_file() and (is_pe(arg) or is_msi(arg)):
            files.append(arg)
        else:
            die(f"{arg}: neither a folder, a PE file nor an MSI package")
    time = signing_time()
    with tempfile.TemporaryDirectory() as private:
        password_file = Path(private) / "password"
        password_file.touch(mode=0o600)
        password_file.write_text(password)
        for path in files:
            sign(path, pkcs12, str(password_file), time)
    print(f"sign: {len(files)} file(s) signed", file=sys.stderr)


if __name__ == "__main__":
    main(sys.argv[1:])
