#!/usr/bin/python3
"""The Windows package, unpacked as a Windows user would, run under Wine on a private X server.

WINEPREFIX must name a Wine prefix of this run's own: the tests write to its registry.
"""

import argparse
import os
import re
import subprocess
import sys
import time
import unittest
import zipfile
from pathlib import Path, PureWindowsPath

import pefile

sys.path.insert(0, str(Path(__file__).resolve().parent))

import scenarios  # noqa: E402
from artefacts import TOP, WINE, WINE_QUIET, WINESERVER, in_windows_build_system, the_one  # noqa: E402
from take_screenshot import capture  # noqa: E402
from test_package import FAILURES, check_readme  # noqa: E402
from xsession import (NO_SESSION_BUS, Form, Program, XServer, empty_dir, remove_tree,  # noqa: E402
                      resource_lines, wait_until)

ARGS = None
# A folder such as a Windows user's own (C:\Users\山田\...): every path the program
# builds, logs and reports passes through it.
JAPANESE_FOLDER = "山田のダウンロード"
SETTINGS_KEY = r"HKCU\Software\orvanel-works\zelkora-desk"
# Holds a file open as an editor or a virus scanner may: shared for reading and writing,
# not for deleting.
HOLDER_C = r"""#include <windows.h>
#include <stdio.h>
int wmain(int argc, wchar_t **argv) {
    if (CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, CREATE_ALWAYS, 0, NULL)
        == INVALID_HANDLE_VALUE) return 1;
    puts("held");
    fflush(stdout);
    return getchar();
}"""
# What the program needs beside it; Windows has the rest.
REQUIRED_DLLS = ["Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll", "libstdc++-6.dll", "libgcc_s_seh-1.dll",
                 "libwinpthread-1.dll", "platforms/qwindows.dll", "styles/qmodernwindowsstyle.dll"]


def setUpModule():
    global SERVER
    if not os.environ.get("WINEPREFIX"):
        raise RuntimeError("WINEPREFIX must name this run's own Wine prefix")
    for name, value in WINE_QUIET.items():
        os.environ.setdefault(name, value)
    # Wine's own processes (reg, the prefix's services) as the program: no session bus.
    os.environ.update(NO_SESSION_BUS)
    SERVER = XServer()


def tearDownModule():
    SERVER.close()


def wine(*args, check=True):
    return subprocess.run([WINE, *args], capture_output=True, check=check, timeout=120)


def windows(path):
    """The path as the program sees it under Wine: on drive Z:, the Unix root."""
    return str(PureWindowsPath("Z:" + str(path)))


def read_registry():
    """Every value under the program's key, as {"chk/digits": ("REG_SZ", "false"), ...}."""
    result = wine("reg", "query", SETTINGS_KEY, "/s", check=False)
    if result.returncode != 0:
        return {}
    values = {}
    group = ""
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith("HKEY_"):
            key = line.strip()
            suffix = key[len("HKEY_CURRENT_USER\\Software\\orvanel-works\\zelkora-desk"):]
            group = suffix.strip("\\").replace("\\", "/")
            continue
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[1].startswith("REG_"):
            name = f"{group}/{parts[0]}" if group else parts[0]
            values[name] = (parts[1], parts[2] if len(parts) == 3 else "")
    return values


def registry_as_text(_settings_file):
    """The registry as the settings round trip compares stores: every value as text."""
    return {name: str(int(data, 16)) if kind == "REG_DWORD" else data
            for name, (kind, data) in read_registry().items()}


def windows_helper(name, folder):
    """tests/program/NAME.c built for Windows, as NAME.exe in folder."""
    exe = folder / f"{name}.exe"
    in_windows_build_system("x86_64-w64-mingw32-gcc-posix", "-municode", "-o", str(exe),
                            str(Path(__file__).resolve().parent / f"{name}.c"), check=True, timeout=120)
    return exe


def status_message_end(window):
    """How far from the left the status bar's message reaches, in pixels; 0 while it shows none."""
    width, _, rows = capture(window)
    return max((x + 1 for row in rows[-20:] for x in range(width - 20) if row[3 * x:3 * x + 3] != row[:3]),
               default=0)


def the_zip():
    return the_one(ARGS.dist_dir, "*-windows-x86_64.zip", "Windows archive")


class Unpacked(unittest.TestCase):
    """Each test gets its own copy of the package, in a folder with a Japanese name, and
    starts with no stored options."""

    def setUp(self):
        self.unpack()
        # A fresh Wine session, as after a new login: Wine's desktop process keeps the
        # clipboard after the program that filled it has ended, and an earlier test's
        # passwords must never be taken for this one's.
        subprocess.run([WINESERVER, "-k"], capture_output=True, timeout=120)
        subprocess.run([WINESERVER, "-w"], capture_output=True, timeout=120)
        wine("reg", "delete", r"HKCU\Software\orvanel-works", "/f", check=False)

    def unpack(self):
        self.sandbox = empty_dir("zelkora-windows-")
        self.addCleanup(remove_tree, self.sandbox)
        downloads = self.sandbox / JAPANESE_FOLDER
        with zipfile.ZipFile(the_zip()) as archive:
            archive.extractall(downloads)
        self.top = Path(os.path.realpath(downloads / TOP))
        self.app = self.top / "app"
        self.exe = self.app / "zelkora-desk.exe"
        self.form = Form(self.app / "zelkora" / "resources" / "ui" / "main_window.ui")


class ArchiveContents(unittest.TestCase):
    def test_holds_the_program_its_files_and_what_it_loads(self):
        with zipfile.ZipFile(the_zip()) as archive:
            names = set(archive.namelist())
            for inside in ["README.txt", "app/zelkora-desk.exe", "app/zelkora-cli.exe", "app/zelkora/logging.ini",
                           "app/zelkora/resources/ui/main_window.ui",
                           *(f"app/{dll}" for dll in REQUIRED_DLLS)]:
                self.assertIn(f"{TOP}/{inside}", names)
            self.assertEqual({name.split("/")[0] for name in names}, {TOP})
            # The delivered files are the project's own, byte for byte.
            for inside, source in ((f"{TOP}/app/zelkora/logging.ini", "src/zelkora/logging.ini"),
                                   (f"{TOP}/app/zelkora/resources/ui/main_window.ui",
                                    "src/resources/ui/main_window.ui")):
                with self.subTest(inside):
                    self.assertEqual(archive.read(inside), (Path(ARGS.source_dir) / source).read_bytes())

    def test_readme_is_japanese_then_the_same_in_english_for_notepad(self):
        with zipfile.ZipFile(the_zip()) as archive:
            check_readme(self, archive.read(f"{TOP}/README.txt"), bom=True)

    def test_version_information_in_english_and_japanese(self):
        with zipfile.ZipFile(the_zip()) as archive:
            exe = pefile.PE(data=archive.read(f"{TOP}/app/zelkora-desk.exe"))
        tables = {table.LangID: table.entries for info in exe.FileInfo for block in info
                  if block.Key == b"StringFileInfo" for table in block.StringTable}
        english, japanese = tables.pop(b"040904B0"), tables.pop(b"041104B0")
        self.assertEqual(tables, {})
        self.assertEqual(japanese.pop(b"FileDescription").decode(), "パスワード生成ツール")
        self.assertEqual(english.pop(b"FileDescription"), b"zelkora-desk password generator")
        self.assertEqual(japanese, english)  # product, maker and version alike

    def test_every_dll_it_imports_is_beside_it_or_the_systems(self):
        # A DLL that is neither beside the program nor Windows' own stops it before main.
        sandbox = empty_dir("zelkora-imports-")
        self.addCleanup(remove_tree, sandbox)
        with zipfile.ZipFile(the_zip()) as archive:
            archive.extractall(sandbox)
        app = sandbox / TOP / "app"
        shipped = {path.name.lower() for path in app.glob("*.dll")}
        # Windows' own DLLs are those mingw-w64 has import libraries for, where the program is built.
        system_libs = set(in_windows_build_system("ls", "/usr/x86_64-w64-mingw32/lib", capture_output=True,
                                                  text=True, check=True).stdout.split())
        for binary in [*app.glob("*.exe"), *app.glob("*.dll"), *app.glob("*/*.dll")]:
            pe = pefile.PE(str(binary), fast_load=True)
            pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
            imported = [entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
            for dll in imported:
                with self.subTest(binary=binary.name, dll=dll):
                    self.assertTrue(dll in shipped or f"lib{dll[:-4]}.a" in system_libs
                                    or dll.startswith("api-ms-"), f"{dll} is nowhere")


class NormalRun(Unpacked):
    def test_starts_from_a_japanese_folder_and_logs_beside_app(self):
        scenarios.start_and_close(self, SERVER, self.form, self.exe, self.sandbox, [WINE])

        log_dir = self.top / "log"
        lines = resource_lines((log_dir / "app.log").read_text(encoding="utf-8"))
        self.assertEqual(lines, scenarios.packaged_lookup_lines(windows(self.app), windows(self.top), "\\"))
        self.assertEqual(sorted(p.name for p in log_dir.iterdir()), ["app.log"])  # no probe left
        self.assertFalse((self.app / "log").exists())

    def test_options_come_back_from_the_registry(self):
        scenarios.settings_round_trip(self, SERVER, self.form, self.exe, self.sandbox, registry_as_text, [WINE])
        stored = read_registry()
        # Numbers as numbers, truth values as text: what the restore code is made for.
        self.assertEqual(stored["length"][0], "REG_DWORD")
        self.assertEqual(stored["count"][0], "REG_DWORD")
        self.assertEqual(stored["chk/digits"][0], "REG_SZ")
        self.assertEqual(stored["symbols"], ("REG_SZ", scenarios.CHANGED_SYMBOLS))


class Ending(Unpacked):
    """A run still alive once its work is done holds its log file, and the installer then
    refuses to touch the folder: every run must end within 10 s, window and tests alike."""

    def test_every_run_ends_once_its_work_is_done(self):
        for _ in range(30):
            scenarios.start_and_close(self, SERVER, self.form, self.exe, self.sandbox, [WINE], end_within=10)
        test = Path(ARGS.source_dir) / "build-windows" / "tests" / "test_main_window.exe"
        env = {**os.environ, "WINEQT_QPA_PLATFORM": "minimal:enable_fonts", "WINEQT_FORCE_STDERR_LOGGING": "1"}
        for run in range(30):
            with subprocess.Popen([Path(ARGS.source_dir) / "build-windows" / "wine-run", test], env=env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True) as process:
                for line in process.stderr:
                    if line.startswith("********* Finished testing"):
                        break
                try:
                    self.assertEqual(process.wait(10), 0, f"run {run}")
                except subprocess.TimeoutExpired:
                    process.kill()
                    self.fail(f"run {run} of {test.name} still alive 10 s after its last test")


class Clipboard(Unpacked):
    def test_copied_passwords_are_kept_out_of_clipboard_history(self):
        # Wine hands every Windows clipboard format to X as a target of its own name.
        program = Program(self.exe, SERVER, self.sandbox, [WINE])
        try:
            window = SERVER.wait_for_window(program, self.form.title)
            SERVER.focus(window)
            SERVER.keys(self.form.mnemonic("btnGenerate"), self.form.mnemonic("btnCopyAll"))
            copied = wait_until("the passwords on the clipboard", SERVER.clipboard_text)
            self.assertEqual(len(copied.split("\n")), self.form.number("spinCount"))
            targets = subprocess.run(["xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"],
                                     env={**os.environ, "DISPLAY": SERVER.name}, capture_output=True,
                                     text=True, check=True, timeout=60).stdout.split()
            self.assertIn("ExcludeClipboardContentFromMonitorProcessing", targets)
            SERVER.close_window(window)
            self.assertEqual(program.wait(), 0, program.stderr_text())
        finally:
            program.kill()

    def test_a_copy_while_another_program_holds_the_clipboard_is_said_to_have_failed(self):
        # As a clipboard manager or a remote desktop's clipboard sharing may hold it. Wine 8.0
        # cannot read another program's status bar through UI Automation, so the message is
        # told by its pixels: the refusal is the longer text and stays; the confirmation, the
        # one the program showed before, goes after 2 s.
        before = "前からの内容"
        program = Program(self.exe, SERVER, self.sandbox, [WINE])
        self.addCleanup(program.kill)
        window = SERVER.wait_for_window(program, self.form.title)
        SERVER.focus(window)
        SERVER.keys(self.form.mnemonic("btnGenerate"))
        wait_until("the passwords' message", lambda: status_message_end(window))
        wait_until("the passwords' message gone", lambda: not status_message_end(window))
        holder = subprocess.Popen([WINE, str(windows_helper("hold_clipboard", self.sandbox)), before],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(holder.wait, timeout=120)
        self.addCleanup(holder.stdout.close)
        self.addCleanup(holder.stdin.close)
        self.assertEqual(holder.stdout.readline().strip(), b"held")
        SERVER.keys(self.form.mnemonic("btnCopyAll"))
        refused = wait_until("a message after the copy", lambda: status_message_end(window))
        time.sleep(3)
        self.assertEqual(status_message_end(window), refused)
        holder.stdin.close()
        self.assertEqual(wait_until("the clipboard let go", SERVER.clipboard_text), before)

        SERVER.keys(self.form.mnemonic("btnCopyAll"))
        copied = wait_until("the copy's message", lambda: (end := status_message_end(window)) not in (0, refused)
                            and end)
        self.assertLess(copied, refused)
        wait_until("the copy's message gone", lambda: not status_message_end(window), timeout=10)
        passwords = wait_until("the passwords on the clipboard",
                               lambda: (text := SERVER.clipboard_text()) != before and text)
        self.assertEqual(len(passwords.split("\n")), self.form.number("spinCount"))


class FailedStart(Unpacked):
    def test_each_failure_ends_with_status_1_and_one_line_naming_it(self):
        # The Linux package's cases, with Windows paths in the expected messages.
        for case, break_it, kind, starts, holds, ends, log_made in FAILURES:
            with self.subTest(case):
                self.unpack()
                if break_it(self.app, self.top):
                    continue  # a start without an X display: Windows always has its desktop
                paths = {"app": windows(self.app), "top": windows(self.top)}
                holds = holds.replace("/", "\\").format(**paths)
                ends = ends.replace("/", "\\").format(**paths)
                scenarios.failed_start(self, SERVER, self.exe, self.sandbox, self.top,
                                       (kind, starts, holds, ends, log_made), [WINE])

    def test_started_from_a_console_the_line_appears_there(self):
        # A windowed program has no console of its own: typed into a Command Prompt, its
        # failed start must still show the line there, Japanese folder name and all. (Wine
        # hands the Prompt's console to the program anyway; Windows does not, and there the
        # program attaches to it.)
        (self.app / "zelkora" / "logging.ini").unlink()
        typescript = self.sandbox / "typescript"
        # script(1) gives the Command Prompt a terminal and records what appears on it.
        result = subprocess.run(["script", "--quiet", "--return", "--command",
                                 f"'{WINE}' cmd /c 'app\\zelkora-desk.exe'", str(typescript)],
                                cwd=self.top, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=120)
        self.assertEqual(result.returncode, 1)
        shown = typescript.read_bytes().decode("utf-8", "replace")
        # The console's own control sequences and its wrapping at the terminal's width go.
        shown = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", shown).replace("\r", "").replace("\n", "")
        self.assertIn("RuntimeError: logging configuration not found: "
                      + windows(self.app / "zelkora" / "logging.ini"), shown)


class ConsoleProgram(Unpacked):
    SYMBOLS = "αβ★𝄞"

    def cli(self, *args):
        return subprocess.run([WINE, str(self.app / "zelkora-cli.exe"), *args], capture_output=True, timeout=120,
                              env={**os.environ, "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})

    def test_redirected_it_writes_utf8_lines_without_a_byte_order_mark(self):
        shown = self.cli("--help")
        self.assertTrue(shown.stdout.startswith("使い方: zelkora-cli [オプション]...\n".encode()), shown.stdout[:80])
        made = self.cli("-n", "20", "-l", "12", "-sS", self.SYMBOLS, "--strength")
        self.assertEqual(made.returncode, 0, made.stderr)
        self.assertRegex(made.stderr.decode("utf-8"),
                         r"\A強度: 約 \d+ ビット（.+）\nzelkora-cli: 記号セットに ASCII 以外の文字 4 個（α、β ほか）があります\n\Z")
        lines = made.stdout.decode("utf-8").split("\n")
        self.assertEqual((len(lines), lines.pop()), (21, ""))
        self.assertEqual({len(line) for line in lines}, {12})
        self.assertLessEqual(set("".join(lines)), set(self.SYMBOLS))
        # A file in a Japanese folder, taken over only with --force.
        target = windows(self.top / "一覧.txt")
        self.assertEqual(self.cli("-n", "3", "-o", target, "-S", self.SYMBOLS, "-s").returncode, 0)
        self.assertEqual(self.cli("-n", "3", "-o", target).returncode, 3)
        self.assertRegex((self.top / "一覧.txt").read_text(encoding="utf-8"), rf"\A([{self.SYMBOLS}]{{16}}\n){{3}}\Z")
        self.assertEqual(self.cli("--bogus").returncode, 2)

    def test_on_a_console_it_writes_through_the_wide_calls(self):
        typescript = self.sandbox / "typescript"
        # Wine's console shows a character beyond U+FFFF as two replacement characters.
        command = f"'{WINE}' cmd /c 'app\\zelkora-cli.exe --help & app\\zelkora-cli.exe -l 6 -sS αβ★'"
        result = subprocess.run(["script", "--quiet", "--return", "--command", command, str(typescript)],
                                cwd=self.top, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=120,
                                env={**os.environ, "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"})
        self.assertEqual(result.returncode, 0)
        shown = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", typescript.read_bytes().decode("utf-8", "replace"))
        self.assertIn("使い方: zelkora-cli [オプション]...", shown)
        self.assertRegex(shown, r"(?m)^[αβ★]{6}\r*$")

    def test_the_company_rule_set_for_the_machine_locks_the_window_and_refuses_the_console(self):
        policy = r"HKLM\Software\Policies\orvanel-works\zelkora-desk"
        self.addCleanup(wine, "reg", "delete", policy, "/f", check=False)
        for value in ("MinimumLength /t REG_DWORD /d 12", "UseSymbols /t REG_DWORD /d 1", "SymbolSet /d !#$%&"):
            wine("reg", "add", policy, "/v", *value.split(), "/f")
        # The user's key, which would turn lower case off, is not read while the computer's holds values.
        user_policy = policy.replace("HKLM", "HKCU")
        self.addCleanup(wine, "reg", "delete", user_policy, "/f", check=False)
        wine("reg", "add", user_policy, "/v", "UseLowercase", "/t", "REG_DWORD", "/d", "0", "/f")
        wine("reg", "add", SETTINGS_KEY, "/v", "length", "/t", "REG_DWORD", "/d", "6", "/f")
        program = Program(self.exe, SERVER, self.sandbox, [WINE])
        self.addCleanup(program.kill)
        SERVER.focus(SERVER.wait_for_window(program, self.form.title))
        # The symbols box locked, its key leaves it ticked; the stored length raised.
        SERVER.keys(*map(self.form.mnemonic, ("chkSymbols", "btnGenerate", "btnCopyAll")))
        for password in wait_until("the passwords on the clipboard", SERVER.clipboard_text).split("\n"):
            self.assertRegex(password, r"\A(?=.*[!#$%&])[A-Za-z0-9!#$%&]{12}\Z")
        self.assertEqual(self.cli("-as", "-l", "12").returncode, 0)
        refused = self.cli("-l", "8")
        self.assertEqual((refused.returncode, refused.stderr.decode()),
                         (4, "zelkora-cli: 管理者のポリシーにより、長さは 12 文字以上です\n"))


class ForeignPlugins(Unpacked):
    def test_plugin_paths_set_for_another_program_are_passed_over(self):
        # Another program's Qt, named machine-wide, with a platform plug-in that cannot
        # even load here: were it taken first, Qt would stop the start with its fatal dialog.
        foreign = self.sandbox / "other-program"
        (foreign / "platforms").mkdir(parents=True)
        plugin = (self.app / "platforms" / "qwindows.dll").read_bytes()
        (foreign / "platforms" / "qwindows.dll").write_bytes(plugin.replace(b"Qt6Gui.dll", b"Qt6Gux.dll"))
        wrapper = ["env", f"WINEQT_PLUGIN_PATH={windows(foreign)}",
                   f"WINEQT_QPA_PLATFORM_PLUGIN_PATH={windows(foreign / 'platforms')}",
                   "WINEQT_DEBUG_PLUGINS=1", "WINEQT_FORCE_STDERR_LOGGING=1", WINE]

        program = scenarios.start_and_close(self, SERVER, self.form, self.exe, self.sandbox, wrapper)

        # Every folder Qt looked into for plug-ins of a kind (platforms, styles, ...). Qt
        # writes them in the ANSI code page, which has no Japanese here: compare the end.
        searched = re.findall(r'checking directory path "(.*)/[^/]*" \.\.\.', program.stderr_text())
        self.assertEqual({folder.endswith(f"/{TOP}/app") for folder in searched}, {True}, program.stderr_text())


class FailedStartOnJapaneseWindows(Unpacked):
    def test_the_systems_own_text_comes_as_utf8_on_one_line(self):
        holder = self.sandbox / "holder.exe"
        in_windows_build_system("x86_64-w64-mingw32-gcc-posix", "-municode", "-x", "c", "-", "-o", str(holder),
                                input=HOLDER_C.encode(), check=True, timeout=120)
        # Under a Japanese locale Wine reads file names in that locale's code page, which
        # this machine need not have installed: the program lies in a folder of ASCII names.
        top = self.sandbox / TOP
        self.top.rename(top)
        probe = top / "log" / ".write_test"
        probe.parent.mkdir()
        hold = subprocess.Popen([WINE, str(holder), windows(probe)], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(hold.wait, timeout=120)
        self.addCleanup(hold.stdout.close)
        self.addCleanup(hold.stdin.close)
        self.assertEqual(hold.stdout.readline().strip(), b"held")

        # The probe written, its removal refused: Windows' text for that, in Japanese.
        # Started as typed in capitals, the folder is still the one named app on disk.
        typed = windows(top / "APP" / "zelkora-desk.exe")
        # A session's runtime folder, as a desktop has: Wine 10 says so on standard error without one.
        runtime = self.sandbox / "runtime"
        runtime.mkdir(mode=0o700)
        result = subprocess.run([WINE, typed], env={**os.environ, "LANG": "ja_JP.UTF-8", "LC_ALL": "ja_JP.UTF-8",
                                                    "XDG_RUNTIME_DIR": str(runtime)}, capture_output=True, timeout=120)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr.decode("utf-8"),
                         f"OSError: filesystem error: cannot remove: 共有違反です。 [{windows(probe)}]\r\n")


class Windows11(Unpacked):
    def test_light_or_dark_as_the_apps_mode_says_also_when_switched_while_open(self):
        # In a prefix of its own reporting Windows 11, Qt gives the window its windows11 style,
        # the only one of its Windows styles with dark colours. The reset button is disabled:
        # the style colours its text as it polishes it, for the mode of that moment.
        env = {"WINEPREFIX": str(self.sandbox / "wine")}
        self.addCleanup(subprocess.run, [WINESERVER, "-k"], env={**os.environ, **env}, timeout=120)

        def run(*command):
            subprocess.run(command, env={**os.environ, **env}, check=True, capture_output=True, timeout=120)

        run(WINE, "wineboot", "-i")
        run(WINE, "reg", "import", windows(Path(__file__).resolve().parent / "windows11.reg"))
        run(WINE, "reg", "add", SETTINGS_KEY + r"\chk", "/v", "symbols", "/d", "false", "/f")
        theme = windows_helper("set_app_theme", self.sandbox)
        pictures = {}
        for mode in ("light", "dark"):
            run(WINE, str(theme), mode)
            program = Program(self.exe, SERVER, self.sandbox, [WINE], extra_env=env)
            self.addCleanup(program.kill)
            window = SERVER.wait_for_window(program, self.form.title)
            pictures[mode] = drawn(window, mode)
            if mode == "light":
                SERVER.close_window(window)
                program.wait()

        # Turned light while open, it looks as the one started light but for the text cursor.
        run(WINE, str(theme), "light")
        wait_until("the switched window drawn as the one started light", lambda: sum(
            a[i:i + 3] != b[i:i + 3] for a, b in zip(pictures["light"], capture(window)[2]) for i in range(0, len(a), 3)
        ) < 100)


def drawn(window, mode):
    """The window's picture once drawn (not one colour) light or dark, by its mean brightness."""
    def picture():
        rows = capture(window)[2]
        brightness = sum(map(sum, rows)) / (len(rows) * len(rows[0]))
        return len(set(rows)) > 50 and (brightness > 200 if mode == "light" else 20 < brightness < 80) and rows

    wait_until(f"the window drawn {mode}", picture)
    time.sleep(1)  # the rest of the first paint
    return wait_until(f"the window drawn {mode}", picture)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist-dir", required=True)
    parser.add_argument("--source-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
