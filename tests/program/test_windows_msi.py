#!/usr/bin/python3
"""The MSI as an administrator's deployment meets it, under Wine: each row of the table in
a fresh prefix, installed and removed silently with msiexec, as docs/deploying.md says."""

import argparse
import shutil
import subprocess
import sys
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import test_windows_installer as setup_exe  # noqa: E402
from artefacts import TOP, WINE, the_one  # noqa: E402
from test_windows_installer import (SETTINGS_KEY, USERS_FILES, WineUser, folder_contents, folder_contents_of,  # noqa: E402
                                    zip_contents)
from xsession import Form, Program, XServer, empty_dir, remove_tree  # noqa: E402

ARGS = None
# Windows Installer's 1603, which Wine's exit status cuts to its low byte.
REFUSED = 1603 & 0xFF
LEFTOVER = "app/styles/qwindowsstyle-from-an-older-qt.dll"
# Pre-set as docs/deploying.md shows; no row may lose them.
OPTIONS = {"length": 24, "symbols": "!#%+-"}
ROWS = [  # what the prefix holds first, the MSI then given, its status, what must hold after
    ("fresh", [], "msi", 0, "the zip's files, a program that starts and writes its log"),
    ("upgrade", ["older"], "msi", 0, "the zip's files, none of the older's"),
    ("downgrade", ["msi"], "older", REFUSED, "the newer install untouched"),
    ("over setup.exe", ["setup"], "msi", REFUSED, "setup.exe's install untouched"),
]


def setUpModule():
    global SERVER
    SERVER = XServer()


def tearDownModule():
    SERVER.close()


class Msi(WineUser):
    USER = "tester"

    @classmethod
    def setUpClass(cls):
        cls.scratch = empty_dir("zelkora-msi-")
        stage = cls.scratch / "older"
        with zipfile.ZipFile(the_one(ARGS.dist_dir, "*-windows-x86_64.zip", "Windows archive")) as archive:
            archive.extractall(stage)
        (stage / TOP / LEFTOVER).write_bytes(b"MZ")
        cls.msis = {"msi": the_one(ARGS.dist_dir, "*-windows-x86_64.msi", "MSI"), "older": cls.scratch / "older.msi",
                    "setup": the_one(ARGS.dist_dir, "*-setup.exe", "Windows installer")}
        subprocess.run([str(Path(__file__).resolve().parents[2] / "scripts/windows/msi"), str(stage / TOP), "0.0.1",
                        str(cls.msis["older"])], check=True, stdout=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        remove_tree(cls.scratch)

    def setUp(self):
        """Each row makes its own prefix."""

    def msiexec(self, action, name):
        installer = self.wine_path(self.msis[name])
        command = [installer, "/S"] if name == "setup" else ["msiexec", action, installer, "/qn"]
        return self.wine(*command, check=False).returncode

    def test_installs_upgrades_refuses_and_removes_as_the_page_says(self):
        packaged = zip_contents()
        for row, before, given, status, after in ROWS:
            with self.subTest(row, after=after):
                WineUser.setUp(self)
                for name, value in OPTIONS.items():
                    kind = "REG_DWORD" if isinstance(value, int) else "REG_SZ"
                    self.wine("reg", "add", SETTINGS_KEY, "/v", name, "/t", kind, "/d", str(value), "/f")
                for name in before:
                    self.assertEqual(self.msiexec("/i", name), 0)
                first = folder_contents(self.installed)
                self.assertEqual(self.msiexec("/i", given), status)
                self.assertEqual(folder_contents(self.installed), packaged if status == 0 else first)
                if row == "fresh":
                    self.start_remove_and_keep_the_users_files()
                self.assertEqual({k: self.key_values(SETTINGS_KEY)[k] for k in OPTIONS}, OPTIONS)

    def start_remove_and_keep_the_users_files(self):
        form = Form(self.installed / "app/zelkora/resources/ui/main_window.ui")
        program = Program(self.installed / "app/zelkora-desk.exe", SERVER, self.sandbox, [WINE],
                          cwd=self.installed / "app", extra_env=self.env)
        try:
            SERVER.close_window(SERVER.wait_for_window(program, form.title))
            self.assertEqual(program.wait(), 0, program.stderr_text())
        finally:
            program.kill()
        self.assertTrue((self.installed / "log/app.log").is_file())
        self.assertTrue(self.shortcut.is_file())
        for name, data in USERS_FILES.items():
            (self.installed / name).write_bytes(data)
        self.assertEqual(self.msiexec("/x", "msi"), 0)
        self.assertEqual(folder_contents(self.installed), folder_contents_of(USERS_FILES))
        self.assertFalse(self.shortcut.exists())


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    setup_exe.ARGS = ARGS
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
