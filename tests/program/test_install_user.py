#!/usr/bin/python3
"""scripts/install-user as a user meets it: installed into a fresh HOME, started from its
desktop entry by GLib's launcher (what GNOME, Xfce and most application menus use), and
removed again."""

import argparse
import os
import signal
import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402
from Xlib import Xatom  # noqa: E402

sys.path.insert(0, str(Path(__file__).resolve().parent))

from xsession import (WAIT_SECONDS, Form, MapWatcher, SessionBus, XServer, empty_dir, remove_tree,  # noqa: E402
                      resource_lines, wait_until, without_desktop_session)

ARGS = None
APP_ID = "works.orvanel.ZelkoraDesk"
SIZES = (16, 24, 32, 48, 64, 128, 256)
FOLDER = "zelkora-desk"
OPTIONS = Path(".config/orvanel-works/zelkora-desk.conf")
CLI_LINK = ".local/bin/zelkora-cli"

# Everything an install puts under the data home, folders aside.
INSTALLED_FILES = [
    f"{FOLDER}/README.txt",
    f"{FOLDER}/LICENSE",
    f"{FOLDER}/installed-files",
    f"{FOLDER}/app/zelkora-desk",
    f"{FOLDER}/app/zelkora-cli",
    f"{FOLDER}/app/zelkora/logging.ini",
    f"{FOLDER}/app/zelkora/resources/ui/main_window.ui",
    f"applications/{APP_ID}.desktop",
    f"metainfo/{APP_ID}.metainfo.xml",
    f"icons/hicolor/scalable/apps/{APP_ID}.svg",
    *(f"icons/hicolor/{n}x{n}/apps/{APP_ID}.png" for n in SIZES),
]


def setUpModule():
    global SERVER, BUS
    SERVER = XServer()
    # A private session bus, not none: a program started from a menu runs in a desktop
    # session, which has one, and GLib's launcher announces each launch on it. With the
    # bus there the program may reach its services, and the test still finds nothing
    # left in HOME. This process's own GLib takes it from here too.
    BUS = SessionBus()
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = BUS.address


def tearDownModule():
    BUS.close()
    SERVER.close()


def with_folders(paths):
    """The paths and every folder above them."""
    result = set()
    for path in paths:
        path = Path(path)
        result.add(str(path))
        result.update(str(parent) for parent in path.parents if str(parent) != ".")
    return result


def tree(root):
    return {str(path.relative_to(root)) for path in Path(root).rglob("*")}


def environment(home, **extra):
    """A user's session: their HOME and the test's bus, none of the test run's XDG or Qt settings."""
    env = without_desktop_session(os.environ)
    env.update(HOME=str(home), DBUS_SESSION_BUS_ADDRESS=BUS.address,
               **{key: str(value) for key, value in extra.items()})
    return env


def install_user(env, *args):
    result = subprocess.run([ARGS.script, *args], env=env, capture_output=True, text=True,
                            timeout=WAIT_SECONDS)
    if result.returncode != 0:
        raise AssertionError(f"install-user {' '.join(args)} ended with {result.returncode}: "
                             f"{result.stderr}")
    return result


def png_size(path):
    with open(path, "rb") as png:
        header = png.read(24)
    assert header[:8] == b"\x89PNG\r\n\x1a\n" and header[12:16] == b"IHDR", path
    return struct.unpack(">II", header[16:24])


def desktop_entry(path):
    """The main group of a desktop entry, as GLib reads it: values unescaped."""
    keys = GLib.KeyFile()
    keys.load_from_file(str(path), GLib.KeyFileFlags.NONE)
    return {key: keys.get_string("Desktop Entry", key) for key in keys.get_keys("Desktop Entry")[0]}


class Launched:
    """The program as a desktop's launcher starts it from its entry."""

    def __init__(self, entry, env, sandbox):
        try:
            info = Gio.DesktopAppInfo.new_from_filename(str(entry))
        except TypeError:  # GLib refused the entry: a menu would not list it
            info = None
        if info is None:
            raise AssertionError(f"GLib does not take {entry} for an application it can start")
        context = Gio.AppLaunchContext()
        for variable in context.get_environment():
            context.unsetenv(variable.partition("=")[0])
        for key, value in env.items():
            context.setenv(key, value)
        self._err = tempfile.TemporaryFile(dir=sandbox)
        pids = []
        with open(os.devnull, "rb") as nothing:
            launched = info.launch_uris_as_manager_with_fds(
                [], context, GLib.SpawnFlags.SEARCH_PATH | GLib.SpawnFlags.DO_NOT_REAP_CHILD,
                None, None, lambda _info, pid, _data: pids.append(pid), None,
                nothing.fileno(), self._err.fileno(), self._err.fileno())
        if not launched or len(pids) != 1:
            raise AssertionError(f"GLib could not start {entry}")
        self.pid = pids[0]
        self.returncode = None

    def poll(self):
        if self.returncode is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.returncode = os.waitstatus_to_exitcode(status)
        return self.returncode

    def wait(self):
        wait_until("the program to end", lambda: self.poll() is not None)
        return self.returncode

    def kill(self):
        if self.poll() is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
            self.returncode = -signal.SIGKILL

    def stderr_text(self):
        self._err.seek(0)
        return self._err.read().decode("utf-8", "replace")

    def close(self):
        self._err.close()


def window_icon_sizes(window):
    """The sizes in the window's _NET_WM_ICON: width, height, then that many pixels, repeated."""
    prop = window.get_full_property(SERVER.atom("_NET_WM_ICON"), Xatom.CARDINAL)
    data = list(prop.value) if prop is not None else []
    sizes, i = [], 0
    while i + 2 <= len(data):
        width, height = data[i], data[i + 1]
        sizes.append((width, height))
        i += 2 + width * height
    return sizes


class Sandbox(unittest.TestCase):
    def setUp(self):
        self.sandbox = Path(os.path.realpath(empty_dir("zelkora-install-user-")))
        self.addCleanup(remove_tree, self.sandbox)
        # The session's runtime folder, outside HOME as on a real desktop.
        self.runtime = self.sandbox / "runtime"
        self.runtime.mkdir(mode=0o700)

    def make_home(self, name):
        home = self.sandbox / name
        home.mkdir()
        return home

    def assert_validators_pass(self, data_home):
        entry = data_home / "applications" / f"{APP_ID}.desktop"
        result = subprocess.run(["desktop-file-validate", str(entry)], capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        # Hints are advice (Security may be paired with System); errors and warnings are not.
        self.assertNotRegex(result.stdout + result.stderr, r"(error|warning):")

        metainfo = data_home / "metainfo" / f"{APP_ID}.metainfo.xml"
        result = subprocess.run(["appstreamcli", "validate", "--no-net", str(metainfo)],
                                capture_output=True, text=True)
        # The project has no public home page yet, and the data names none rather than a
        # made-up one: AppStream 1.0 warns of that (and fails with status 3), 0.16 does not.
        # That warning is expected; any other error or warning is not.
        problems = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:")]
        homepage = [line for line in problems if line == f"W: {APP_ID}:~: url-homepage-missing"]
        self.assertEqual(problems, homepage, result.stdout)
        self.assertEqual(result.returncode, 3 if homepage else 0, result.stdout + result.stderr)

    def start_from_menu_and_close(self, data_home, env):
        """Starts the entry's command, checks what a desktop sees of the window, closes it."""
        folder = data_home / FOLDER
        executable = folder / "app" / "zelkora-desk"
        form = Form(folder / "app" / "zelkora" / "resources" / "ui" / "main_window.ui")
        entry_path = data_home / "applications" / f"{APP_ID}.desktop"
        entry = desktop_entry(entry_path)

        watcher = MapWatcher(SERVER)
        program = Launched(entry_path, dict(env, DISPLAY=SERVER.name, XDG_RUNTIME_DIR=str(self.runtime)),
                           self.sandbox)
        try:
            window = SERVER.wait_for_window(program, form.title)
            self.assertIn(window.id, watcher.collect(), "the window was never mapped")
            self.assertEqual(Path(os.readlink(f"/proc/{program.pid}/exe")), executable)
            # How a desktop tells the window belongs to the entry, and the icon it shows.
            self.assertEqual(window.get_wm_class()[1], entry["StartupWMClass"])
            self.assertEqual(sorted(window_icon_sizes(window)), [(n, n) for n in SIZES])
            SERVER.close_window(window)
            self.assertEqual(program.wait(), 0, f"stderr: {program.stderr_text()!r}")
        finally:
            program.kill()
            program.close()
            watcher.close()

        lines = resource_lines((folder / "log" / "app.log").read_text(encoding="utf-8"))
        self.assertEqual(lines[0], "[resource_path] frozen=True")
        self.assertEqual(lines[-1], f"[resource_path] hit={folder / 'app/zelkora/resources/ui/main_window.ui'}")


# HOMEs as people have them, and the characters the entry's Exec line must quote.
HOMES = [
    "user",
    "山田 太郎",
    'it\'s "quoted" $HOME `cmd` back\\slash',
]


class InstallStartRemove(Sandbox):
    def test_install_start_from_the_entry_and_remove_leaves_only_the_options(self):
        for name in HOMES:
            with self.subTest(home=name):
                home = self.make_home(name)
                env = environment(home)
                data_home = home / ".local" / "share"

                install_user(env, "--build-dir", ARGS.build_dir)

                self.assertEqual(tree(home), with_folders(
                    [".local/share/" + path for path in INSTALLED_FILES] + [CLI_LINK]))
                self.assertTrue(os.access(data_home / FOLDER / "app" / "zelkora-desk", os.X_OK))
                self.assertEqual(subprocess.run([home / CLI_LINK, "-l", "9"], capture_output=True).stdout[9:], b"\n")
                for n in SIZES:
                    self.assertEqual(png_size(data_home / f"icons/hicolor/{n}x{n}/apps/{APP_ID}.png"), (n, n))
                self.assert_validators_pass(data_home)

                self.start_from_menu_and_close(data_home, env)
                options = (home / OPTIONS).read_bytes()  # written when the window closed

                install_user(env, "--uninstall")

                self.assertEqual(tree(home), with_folders([str(OPTIONS)]))
                self.assertEqual((home / OPTIONS).read_bytes(), options)


class RemovesOnlyItsOwn(Sandbox):
    def test_other_programs_files_and_the_users_own_stay(self):
        home = self.make_home("home")
        env = environment(home)
        data_home = home / ".local" / "share"
        others = {
            "applications/org.example.Other.desktop": b"[Desktop Entry]\nType=Application\nName=Other\nExec=true\n",
            "icons/hicolor/16x16/apps/org.example.Other.png": b"an icon of another program",
            "metainfo/org.example.Other.metainfo.xml": b"<component/>\n",
        }
        for path, content in others.items():
            (data_home / path).parent.mkdir(parents=True, exist_ok=True)
            (data_home / path).write_bytes(content)
        # Caches other programs made: an install must bring them up to date.
        subprocess.run(["update-desktop-database", str(data_home / "applications")], check=True)
        icon_cache = data_home / "icons" / "hicolor" / "icon-theme.cache"
        subprocess.run(["gtk-update-icon-cache", "-q", "-f", "-t", str(icon_cache.parent)], check=True)
        before = tree(home)

        install_user(env, "--build-dir", ARGS.build_dir)
        self.assertIn(APP_ID.encode(), icon_cache.read_bytes())
        users_note = data_home / FOLDER / "notes.txt"
        users_note.write_text("mine\n", encoding="utf-8")

        removed = install_user(env, "--uninstall")

        self.assertEqual(tree(home), before | {f".local/share/{FOLDER}", f".local/share/{FOLDER}/notes.txt"})
        for path, content in others.items():
            self.assertEqual((data_home / path).read_bytes(), content)
        self.assertNotIn(APP_ID.encode(), icon_cache.read_bytes())
        self.assertIn(str(data_home / FOLDER), removed.stderr)

    def test_install_again_over_a_used_install_then_remove(self):
        home = self.make_home("home")
        env = environment(home)
        folder = home / ".local" / "share" / FOLDER

        install_user(env, "--build-dir", ARGS.build_dir)
        first = tree(home)
        manifest = (folder / "installed-files").read_text(encoding="utf-8")
        (folder / "log").mkdir()
        (folder / "log" / "app.log").write_text("an earlier run\n", encoding="utf-8")

        install_user(env, "--build-dir", ARGS.build_dir)

        self.assertEqual(tree(home), first | {f".local/share/{FOLDER}/log", f".local/share/{FOLDER}/log/app.log"})
        self.assertEqual((folder / "installed-files").read_text(encoding="utf-8"), manifest)
        self.assertEqual((folder / "log" / "app.log").read_text(encoding="utf-8"), "an earlier run\n")

        install_user(env, "--uninstall")
        self.assertEqual(tree(home), set())
        # Removing what is not there is no error.
        install_user(env, "--uninstall")

    def test_xdg_data_home_is_honoured(self):
        home = self.make_home("home")
        data_home = self.sandbox / "データ"
        data_home.mkdir()
        env = environment(home, XDG_DATA_HOME=data_home)

        install_user(env, "--build-dir", ARGS.build_dir)

        self.assertEqual(tree(home), with_folders([CLI_LINK]))
        self.assertEqual(tree(data_home), with_folders(INSTALLED_FILES))
        entry = desktop_entry(data_home / "applications" / f"{APP_ID}.desktop")
        self.assertEqual(GLib.shell_parse_argv(entry["Exec"])[1],
                         [str(data_home / FOLDER / "app" / "zelkora-desk")])

        install_user(env, "--uninstall")
        self.assertEqual(tree(data_home), set())
        self.assertEqual(tree(home), set())


class BuiltIcon(unittest.TestCase):
    def test_windows_icon_holds_every_size_once(self):
        listing = subprocess.run(["icotool", "--list", str(Path(ARGS.build_dir) / "icons" / f"{APP_ID}.ico")],
                                 capture_output=True, text=True, check=True).stdout
        sizes = sorted(int(word.split("=")[1]) for word in listing.split() if word.startswith("--width="))
        self.assertEqual(sizes, list(SIZES))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--script", required=True)
    parser.add_argument("--build-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
