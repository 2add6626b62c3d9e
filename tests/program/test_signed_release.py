#!/usr/bin/python3
"""A release signed as a maintainer signs one, here with a throwaway self-signed
certificate: every file we build verifies against it, Windows (WinVerifyTrust, under
Wine) finds the installed program and uninstaller signed and intact and a changed byte
tampered, and a second signed build is the same bytes.

    test_signed_release.py --source-dir .      (leaves the second signed release in dist/)
"""

import argparse
import os
import secrets
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "release_tools"))
from sign import RUNTIME_DLLS  # noqa: E402
from artefacts import in_windows_build_system  # noqa: E402

ARGS = None
WINE = "/usr/lib/wine/wine64"
SIGNED, UNSIGNED, TAMPERED = 0, 0x800B0100, 0x80096010
# Unlike any other text on the machine, so that a command line holding it can be told.
PASSWORD = secrets.token_hex(16)


def command_line(process):
    try:
        return (process / "cmdline").read_bytes()
    except OSError:
        return b""


def run(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, **options).stdout


class SignedRelease(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = Path(tempfile.mkdtemp(prefix="zelkora-signed-"))
        cert, key, p12 = (cls.scratch / name for name in ("cert.pem", "key.pem", "cert.p12"))
        run("openssl", "req", "-x509", "-newkey", "rsa:3072", "-nodes", "-days", "2", "-keyout", str(key),
            "-out", str(cert), "-subj", "/CN=zelkora-desk throwaway signing", "-addext", "keyUsage=digitalSignature",
            "-addext", "extendedKeyUsage=codeSigning")
        run("openssl", "pkcs12", "-export", "-inkey", str(key), "-in", str(cert), "-out", str(p12),
            "-passout", "env:PASSWORD", env={**os.environ, "PASSWORD": PASSWORD})
        cls.cert = cert
        env = {**os.environ, "ZELKORA_SIGN_PKCS12": str(p12), "ZELKORA_SIGN_PASSWORD": PASSWORD}
        source = Path(ARGS.source_dir).resolve()
        # Every command line of the machine is read while it signs: any local user can.
        cls.shown_in = set()
        for build in ("first", "second"):
            release = subprocess.Popen([str(source / "scripts/release")], env=env, stdout=subprocess.DEVNULL)
            while release.poll() is None:
                cls.shown_in |= {p.name for p in Path("/proc").glob("[0-9]*") if PASSWORD.encode() in command_line(p)}
                time.sleep(0.1)
            assert release.returncode == 0, "the signed release failed"
            shutil.copytree(source / "dist", cls.scratch / build)
        cls.dist = cls.scratch / "second"

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def test_the_password_was_on_no_command_line(self):
        self.assertEqual(self.shown_in, set())

    def test_two_signed_builds_are_the_same_bytes(self):
        self.assertEqual((self.scratch / "first/SHA256SUMS").read_text(), (self.dist / "SHA256SUMS").read_text())

    def test_every_file_we_build_verifies_against_the_certificate(self):
        unpacked = self.scratch / "unpacked"
        with zipfile.ZipFile(next(self.dist.glob("*-windows-x86_64.zip"))) as archive:
            archive.extractall(unpacked)
        programs = [p for p in unpacked.rglob("*") if p.suffix in (".exe", ".dll")]
        setup = next(self.dist.glob("*-setup.exe"))
        self.assertGreater(len(programs), len(RUNTIME_DLLS) + 3)
        for path in programs + [setup, *sorted(self.dist.glob("*.msi"))]:
            verified = in_windows_build_system("osslsigncode", "verify", "-CAfile", str(self.cert), str(path),
                                               capture_output=True, text=True)
            with self.subTest(path.name):
                self.assertEqual(verified.returncode == 0, path.name not in RUNTIME_DLLS, verified.stdout[-300:])

    def test_windows_finds_the_installed_files_signed_and_a_changed_byte_tampered(self):
        source = Path(ARGS.source_dir).resolve()
        tool = self.scratch / "verify_trust.exe"
        # Built with the compiler the release is built with; run under this machine's Wine.
        in_windows_build_system("x86_64-w64-mingw32-gcc-posix", "-municode", "-o", str(tool),
                                str(source / "tests/program/verify_trust.c"), "-lwintrust", check=True)
        env = {**os.environ, "WINEPREFIX": str(self.scratch / "wine"), "WINEDEBUG": "-all",
               "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d", "DBUS_SESSION_BUS_ADDRESS": "disabled:"}
        run(WINE, "wineboot", "-i", env=env)
        run(WINE, str(next(self.dist.glob("*-setup.exe"))), "/S", r"/D=C:\zelkora-desk", env=env)
        installed = self.scratch / "wine/drive_c/zelkora-desk"
        changed = bytearray((installed / "app/zelkora-desk.exe").read_bytes())
        changed[len(changed) // 3] ^= 0x01
        (installed / "tampered.exe").write_bytes(changed)
        files = {"app/zelkora-desk.exe": SIGNED, "uninstall.exe": SIGNED, "tampered.exe": TAMPERED,
                 "app/libwinpthread-1.dll": UNSIGNED}
        answers = run(WINE, str(tool), *[rf"C:\zelkora-desk\{name}".replace("/", "\\") for name in files], env=env)
        subprocess.run(["/usr/lib/wine/wineserver", "-k"], env=env)
        self.assertEqual([int(line.split()[0], 16) for line in answers.splitlines()], list(files.values()), answers)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
