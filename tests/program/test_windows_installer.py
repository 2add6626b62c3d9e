#!/usr/bin/python3
"""The Windows installer as a Windows user meets it, under Wine on a private X server:
installed silently into a fresh Wine prefix, started as its Start-menu shortcut starts
it, updated, and removed again with the command the uninstall entry gives Windows."""

import argparse
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import scenarios  # noqa: E402
from artefacts import TOP, WINE, WINE_QUIET, WINESERVER, the_one  # noqa: E402
from xsession import (NO_SESSION_BUS, Form, MapWatcher, Program, XServer, empty_dir,  # noqa: E402
                      remove_tree, resource_lines)

# 7-Zip by the name Debian 12 gives it, or Debian 13 (which has no 7zz).
SEVEN_ZIP = shutil.which("7zz") or "7z"
ARGS = None
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\zelkora-desk"
SETTINGS_KEY = r"HKCU\Software\orvanel-works\zelkora-desk"
# What a running program's files make the installer and the uninstaller end with.
STATUS_IN_USE = 2
# A folder holding files that no install of ours put there.
STATUS_NOT_OURS = 3
RECORD = "installed-files.txt"
NSIS_NOTICE = "licenses/NSIS.txt"
# A user's own files, in folders named as the program's are.
USERS_FILES = {"app/important.txt": b"mine", "log/notes.txt": b"notes", "report.docx": b"PK\x03\x04"}


def setUpModule():
    global SERVER
    SERVER = XServer()


def tearDownModule():
    SERVER.close()


def the_setup():
    return the_one(ARGS.dist_dir, "*-windows-x86_64-setup.exe", "Windows installer")


def zip_contents():
    """Every file of the portable zip, by its path inside the top folder: its SHA-256."""
    with zipfile.ZipFile(the_one(ARGS.dist_dir, "*-windows-x86_64.zip", "Windows archive")) as archive:
        return {name[len(TOP) + 1:]: hashlib.sha256(archive.read(name)).hexdigest()
                for name in archive.namelist() if not name.endswith("/")}


def folder_contents(folder):
    return {path.relative_to(folder).as_posix(): hashlib.sha256(path.read_bytes()).hexdigest()
            for path in folder.rglob("*") if path.is_file()}


def folder_contents_of(files):
    return {name: hashlib.sha256(data).hexdigest() for name, data in files.items()}


def split_command_line(line):
    """A command line cut into arguments as Windows cuts one without escaped quotes."""
    return [quoted or bare for quoted, bare in re.findall(r'"([^"]*)"|(\S+)', line)]


def read_reg_file(path):
    """The values of the one key `reg export` wrote, as {name: str or int}."""
    values = {}
    for line in path.read_text(encoding="utf-16").splitlines():
        match = re.fullmatch(r'"((?:[^"\\]|\\.)*)"=(?:"((?:[^"\\]|\\.)*)"|dword:([0-9a-f]{8}))', line)
        if match:
            name, text, dword = match.groups()
            unescape = lambda s: re.sub(r"\\(.)", r"\1", s)  # noqa: E731
            values[unescape(name)] = int(dword, 16) if dword else unescape(text)
    return values


def read_shortcut(path):
    """A shell link's target, working folder and icon (MS-SHLLINK), as Wine's shell writes it.

    The target comes from the item list, whose items carry their names in UTF-16 as the
    last string before the offset that ends each item: the link's other copy of it is in
    the ANSI code page, where a Japanese name is lost.
    """
    data = path.read_bytes()
    flags, = struct.unpack_from("<I", data, 20)
    icon_index, = struct.unpack_from("<i", data, 56)
    if not flags & 0x80:
        raise AssertionError(f"{path} holds no UTF-16 strings")
    position, names = 76, []
    if flags & 0x01:
        size, = struct.unpack_from("<H", data, position)
        items, position = data[position + 2:position + 2 + size], position + 2 + size
        while len(items) > 2 and (length := struct.unpack_from("<H", items)[0]):
            item, items = items[:length], items[length:]
            if item[2] & 0x70 == 0x20:  # a drive: "C:\" in ASCII
                names.append(item[3:].split(b"\0")[0].decode("ascii").rstrip("\\"))
            elif item[2] & 0x70 == 0x30:  # a folder or a file
                end = len(item) - 4
                start = end
                while start >= 2 and item[start - 2:start] != b"\0\0":
                    start -= 2
                names.append(item[start:end].decode("utf-16-le"))
    if flags & 0x02:
        position += struct.unpack_from("<I", data, position)[0]
    strings = {}
    for bit, name in ((0x04, "description"), (0x08, "relative path"), (0x10, "working folder"),
                      (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count, = struct.unpack_from("<H", data, position)
            text = data[position + 2:position + 2 + 2 * count].decode("utf-16-le")
            strings[name] = text.rstrip("\0")  # Wine counts the terminator too
            position += 2 + 2 * count
    return {"target": "\\".join(names), "working folder": strings.get("working folder"),
            "arguments": strings.get("arguments", ""), "icon": (strings.get("icon"), icon_index)}


class WineUser(unittest.TestCase):
    """One Windows user in a Wine prefix of their own; subclasses name the user."""

    USER = None

    def setUp(self):
        self.sandbox = empty_dir("zelkora-installer-")
        self.addCleanup(remove_tree, self.sandbox)
        self.prefix = self.sandbox / "wine"
        home = self.sandbox / "home"
        home.mkdir()
        # Wine names the profile folder after USER; with its menu builder off and a HOME of
        # its own, nothing reaches the desktop of whoever runs the tests.
        self.env = {"WINEPREFIX": str(self.prefix), "USER": self.USER, "HOME": str(home),
                    **WINE_QUIET, **NO_SESSION_BUS}
        self.addCleanup(self.wineserver, "-k")
        self.wine("wineboot", "-i")
        self.wineserver("-w")

        self.profile = f"C:\\users\\{self.USER}"
        self.install_dir = f"{self.profile}\\AppData\\Local\\Programs\\zelkora-desk"
        self.shortcut = self.unix(f"{self.profile}\\AppData\\Roaming\\Microsoft\\Windows\\"
                                  "Start Menu\\Programs\\zelkora-desk.lnk")
        self.installed = self.unix(self.install_dir)

    def wine(self, *args, check=True):
        result = subprocess.run([WINE, *args], env={**os.environ, **self.env}, capture_output=True,
                                timeout=120)
        if check and result.returncode != 0:
            raise AssertionError(f"{args} ended with {result.returncode}: {result.stderr!r}")
        return result

    def wineserver(self, option):
        subprocess.run([WINESERVER, option], env={**os.environ, **self.env}, capture_output=True,
                       timeout=120)

    def unix(self, windows_path):
        drive, _, rest = windows_path.partition(":\\")
        self.assertEqual(drive, "C", windows_path)
        return self.prefix.joinpath("drive_c", *rest.split("\\"))

    def key_exists(self, key):
        return self.wine("reg", "query", key, check=False).returncode == 0

    def key_values(self, key):
        exported = self.sandbox / "key.reg"
        self.wine("reg", "export", key, self.wine_path(exported), "/y")
        return read_reg_file(exported)

    def wine_path(self, unix_path):
        return "Z:" + str(Path(unix_path).resolve()).replace("/", "\\")


class InstalledForAUser(WineUser):
    def install(self, folder=None):
        # /D= takes the rest of the command line, unquoted: see _?= below.
        into = f"/D={folder}".split(" ") if folder else []
        return self.wine(self.wine_path(the_setup()), "/S", *into, check=False).returncode

    def test_a_folder_of_the_users_own_takes_no_install(self):
        folder = f"{self.profile}\\Documents\\work"
        for name, data in USERS_FILES.items():
            (self.unix(folder) / name).parent.mkdir(parents=True, exist_ok=True)
            (self.unix(folder) / name).write_bytes(data)
        # Typed on the directory page, or named by an earlier install's entry.
        self.assertEqual(self.install(folder), STATUS_NOT_OURS)
        self.wine("reg", "add", UNINSTALL_KEY, "/v", "InstallLocation", "/d", folder, "/f")
        self.assertEqual(self.install(), STATUS_NOT_OURS)
        self.assertEqual(folder_contents(self.unix(folder)), folder_contents_of(USERS_FILES))
        self.assertFalse(self.shortcut.exists())

    def test_install_start_update_and_remove(self):
        self.assertFalse(self.installed.exists())
        self.assertFalse(self.key_exists(SETTINGS_KEY))

        self.assertEqual(self.install(), 0)
        # The portable folder's files, byte for byte, in its layout, the uninstaller and
        # the notice of the NSIS code it is made of.
        packaged = zip_contents()
        installed = folder_contents(self.installed)
        self.assertEqual(installed.keys() - packaged.keys(), {"uninstall.exe", RECORD, NSIS_NOTICE})
        self.assertEqual({name: installed.get(name) for name in packaged}, packaged)
        self.check_uninstall_entry()

        # Started as the Start-menu shortcut starts it.
        link = read_shortcut(self.shortcut)
        exe = f"{self.install_dir}\\app\\zelkora-desk.exe"
        self.assertEqual(link, {"target": exe, "working folder": f"{self.install_dir}\\app",
                                "arguments": "", "icon": (exe, 0)})
        self.start_and_close_while_trying_to_replace_it(link)

        log_dir = self.installed / "log"
        lines = resource_lines((log_dir / "app.log").read_text(encoding="utf-8"))
        self.assertEqual(lines, scenarios.packaged_lookup_lines(f"{self.install_dir}\\app", self.install_dir, "\\"))
        self.assertEqual([path.name for path in log_dir.iterdir()], ["app.log"])
        # Closing the window stored the options.
        options = self.key_values(SETTINGS_KEY)
        self.assertIn("length", options)

        # An update takes the earlier version's leftovers away, and keeps the log and
        # whatever the user put beside the program.
        leftover = self.installed / "app" / "styles" / "qwindowsstyle-from-an-older-qt.dll"
        leftover.write_bytes(b"MZ")
        with open(self.installed / RECORD, "ab") as record:
            record.write("app\\styles\\qwindowsstyle-from-an-older-qt.dll\r\n".encode("utf-16-le"))
        for name, data in USERS_FILES.items():
            (self.installed / name).write_bytes(data)
        log = (log_dir / "app.log").read_bytes()
        self.assertEqual(self.install(), 0)
        self.assertFalse(leftover.exists())
        self.assertEqual((log_dir / "app.log").read_bytes(), log)
        self.assertEqual(folder_contents(self.installed).keys() - packaged.keys(),
                         {"uninstall.exe", RECORD, NSIS_NOTICE, "log/app.log", *USERS_FILES})

        # Removed by the command Windows runs for a silent removal from Settings › Apps.
        command = split_command_line(self.key_values(UNINSTALL_KEY)["QuietUninstallString"])
        self.wine(*command)
        self.wineserver("-w")  # the uninstaller finishes from a copy of itself in Temp
        self.assertEqual(folder_contents(self.installed), folder_contents_of(USERS_FILES))
        self.assertFalse(self.shortcut.exists())
        self.assertFalse(self.key_exists(UNINSTALL_KEY))
        self.assertEqual(self.key_values(SETTINGS_KEY), options)

    def check_uninstall_entry(self):
        version = re.fullmatch(r"zelkora-desk-(.+)-windows-x86_64-setup\.exe", the_setup().name).group(1)
        uninstaller = f"{self.install_dir}\\uninstall.exe"
        values = self.key_values(UNINSTALL_KEY)
        size_kib = sum(path.stat().st_size for path in self.installed.rglob("*") if path.is_file()) / 1024
        self.assertAlmostEqual(values.pop("EstimatedSize"), size_kib, delta=size_kib / 20)
        self.assertEqual(values, {
            "DisplayName": "zelkora-desk",
            "DisplayVersion": version,
            "Publisher": "orvanel-works",
            "DisplayIcon": f"{self.install_dir}\\app\\zelkora-desk.exe,0",
            "InstallLocation": self.install_dir,
            "UninstallString": f'"{uninstaller}"',
            "QuietUninstallString": f'"{uninstaller}" /S',
            "NoModify": 1,
            "NoRepair": 1,
        })

    def start_and_close_while_trying_to_replace_it(self, link):
        form = Form(self.installed / "app" / "zelkora" / "resources" / "ui" / "main_window.ui")
        before = folder_contents(self.installed)
        watcher = MapWatcher(SERVER)
        program = Program(self.unix(link["target"]), SERVER, self.sandbox, [WINE],
                          cwd=self.unix(link["working folder"]), extra_env=self.env)
        try:
            window = SERVER.wait_for_window(program, form.title)
            self.assertIn(window.id, watcher.collect(), "the window was never mapped")

            # Neither an update nor a removal may pull the files from under it.
            self.assertEqual(self.install(), STATUS_IN_USE)
            # _?= runs the uninstaller in place and to its end. It takes the rest of the
            # command line, unquoted: words without spaces keep Wine from quoting it.
            in_place = self.wine(f"{self.install_dir}\\uninstall.exe", "/S",
                                 *f"_?={self.install_dir}".split(" "), check=False)
            self.assertEqual(in_place.returncode, STATUS_IN_USE)
            now = folder_contents(self.installed)
            now.pop("log/app.log")
            self.assertEqual(now, before)
            self.assertTrue(self.shortcut.exists())
            self.assertTrue(self.key_exists(UNINSTALL_KEY))

            SERVER.close_window(window)
            self.assertEqual(program.wait(), 0, f"stderr: {program.stderr_text()!r}")
        finally:
            program.kill()
            watcher.close()


class AsciiUser(InstalledForAUser):
    USER = "tester"


class JapaneseUser(InstalledForAUser):
    # A profile folder such as C:\users\山田 花子: every path the installer writes, the
    # link, the entry and the program's log pass through it, space and all.
    USER = "山田 花子"


del InstalledForAUser


class Msi(WineUser):
    """The MSI as an administrator deploys it (docs/deploying.md), a fresh prefix for each row."""
    USER = "tester"
    ROWS = [("fresh", [], "msi", 0), ("upgrade", ["older"], "msi", 0),  # what is there, what comes, its status
            ("downgrade", ["msi"], "older", 1603 & 0xFF), ("over setup.exe", ["setup"], "msi", 1603 & 0xFF),
            ("for every user", [], "machine", 0), ("per machine over per user", ["msi"], "machine", 1603 & 0xFF),
            ("per user over per machine", ["machine"], "msi", 1603 & 0xFF)]

    def test_installs_upgrades_refuses_and_removes_as_the_page_says(self):
        older = empty_dir("zelkora-older-")  # the zip's files and one more, as a lower version
        self.addCleanup(remove_tree, older)
        with zipfile.ZipFile(the_one(ARGS.dist_dir, "*-windows-x86_64.zip", "Windows archive")) as archive:
            archive.extractall(older)
        (older / TOP / "app/styles/qwindowsstyle-from-an-older-qt.dll").write_bytes(b"MZ")
        subprocess.run([str(Path(__file__).resolve().parents[2] / "scripts/windows/msi"), str(older / TOP), "0.0.1",
                        str(older / "older.msi")], check=True, stdout=subprocess.DEVNULL)
        msi = self.wine_path(the_one(ARGS.dist_dir, "*-x86_64.msi", "MSI"))
        machine = self.wine_path(the_one(ARGS.dist_dir, "*-machine.msi", "per-machine MSI"))
        commands = {"msi": ["msiexec", "/i", msi, "/qn"], "setup": [self.wine_path(the_setup()), "/S"],
                    "older": ["msiexec", "/i", self.wine_path(older / "older.msi"), "/qn"],
                    "machine": ["msiexec", "/i", machine, "/qn"]}
        for index, (row, before, given, status) in enumerate(self.ROWS):
            with self.subTest(row):
                if index:
                    self.setUp()
                self.wine("reg", "add", SETTINGS_KEY, "/v", "length", "/t", "REG_DWORD", "/d", "24", "/f")
                for name in before:
                    self.wine(*commands[name])
                program_files = self.unix(r"C:\Program Files\zelkora-desk")

                def both():  # each install's files, and whether the per-machine one is marked as such
                    user, every_user = folder_contents(self.installed), folder_contents(program_files)
                    return user, every_user, every_user.pop("app/zelkora/all-users", None) is not None
                first = both()
                self.assertEqual(self.wine(*commands[given], check=False).returncode, status)
                self.assertEqual(both(), first if status else (first[0], zip_contents(), True) if given == "machine"
                                 else (zip_contents(), *first[1:]))
                if row == "for every user":  # each user's log in their own folder, kept with the options
                    log = self.unix(f"{self.profile}\\AppData\\Local\\orvanel-works\\zelkora-desk\\log\\app.log")
                    scenarios.start_and_close(self, SERVER, Form(program_files / "app/zelkora/resources/ui/main_window.ui"),
                                              program_files / "app/zelkora-desk.exe", self.sandbox, [WINE], self.env)
                    self.assertEqual(resource_lines(log.read_text(encoding="utf-8")), scenarios.packaged_lookup_lines(
                        r"C:\Program Files\zelkora-desk\app", r"C:\Program Files\zelkora-desk", "\\"))
                    self.assertEqual(both(), (first[0], zip_contents(), True))  # nothing written beside app\
                    # Windows puts it in every user's menu, Wine in the menu of the user installing it.
                    shortcuts = [self.unix(f"{menu}\\Microsoft\\Windows\\Start Menu\\Programs\\zelkora-desk (すべてのユーザー).lnk")
                                 for menu in ("C:\\ProgramData", f"{self.profile}\\AppData\\Roaming")]
                    self.assertEqual([s.is_file() for s in shortcuts].count(True), 1)
                    self.wine("msiexec", "/x", machine, "/qn")
                    self.assertEqual((program_files.exists(), any(s.exists() for s in shortcuts), log.is_file()),
                                     (False, False, True))
                if row == "fresh":  # a program that starts and logs, then removed down to the user's files
                    scenarios.start_and_close(self, SERVER, Form(self.installed / "app/zelkora/resources/ui/main_window.ui"),
                                              self.installed / "app/zelkora-desk.exe", self.sandbox, [WINE], self.env)
                    self.assertTrue((self.installed / "log/app.log").is_file() and self.shortcut.is_file())
                    for name, data in USERS_FILES.items():
                        (self.installed / name).write_bytes(data)
                    self.wine("msiexec", "/x", msi, "/qn")
                    self.assertEqual((folder_contents(self.installed), self.shortcut.exists()),
                                     (folder_contents_of(USERS_FILES), False))
                self.assertEqual(self.key_values(SETTINGS_KEY)["length"], 24)


class Pictures(unittest.TestCase):
    def test_welcome_finish_and_header_pictures_are_drawn_from_our_icon(self):
        # NSIS's own have neither the blue of the icon's square nor the yellow of its spark.
        for name, size in (("modern-wizard.bmp", (164, 314)), ("modern-header.bmp", (150, 57))):
            with self.subTest(name):
                bmp = subprocess.run([SEVEN_ZIP, "x", "-so", str(the_setup()), f"$PLUGINSDIR/{name}"],
                                     capture_output=True, check=True).stdout
                self.assertEqual((bmp[:2], struct.unpack_from("<ii", bmp, 18)), (b"BM", size))
                self.assertIn(bytes.fromhex("8b5f1f"), bmp)  # pixels are blue, green, red
                self.assertIn(bytes.fromhex("3fd2ff"), bmp)

if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
