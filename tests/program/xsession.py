"""Runs the real zelkora-desk on a private X server and acts on it as a person would.

No window manager runs there, so what one would do for the user is done here: the
window is found by its title, given the keyboard focus, and closed with the
WM_DELETE_WINDOW message of the ICCCM. Key presses go through XTEST (xdotool), the
clipboard is read with xclip, exactly what a user's paste would see.

Waiting is always "until it happened, or give up after a generous while": nothing
here measures how fast the program is.
"""

import os
import re
import shutil
import subprocess
import tempfile
import time
import xml.etree.ElementTree as ET
from pathlib import Path

from Xlib import X, Xatom, display as xdisplay, error as xerror, protocol

# Generous: a loaded machine may take long to start a Qt program, but a hang still ends.
WAIT_SECONDS = 60

FORM_RELATIVE = "src/resources/ui/main_window.ui"

# Variables of the desktop session that runs the tests, kept from the program under test:
# it gets its own display, settings, runtime folder and session bus instead. Qt picks its
# platform theme from the desktop's names (a GNOME or KDE theme, whose D-Bus listener then
# complains about the bus the tests disable), its input method from the IM variables, and
# joins the session manager SESSION_MANAGER names; GTK's and GDK's steer the GTK theme.
SESSION_PREFIXES = ("QT_", "XDG_", "WAYLAND_", "DBUS_", "GNOME_", "KDE_", "GTK_", "GDK_", "PLASMA_", "MATE_",
                    "CINNAMON_", "XCURSOR_")
SESSION_NAMES = {"DESKTOP_SESSION", "DESKTOP_STARTUP_ID", "SESSION_MANAGER", "XMODIFIERS", "CLUTTER_IM_MODULE",
                 "SDL_IM_MODULE", "GLFW_IM_MODULE", "INPUT_METHOD"}

# No session bus at all for the program: it has no use for one, and a run must neither
# reach the bus of whoever runs the tests nor, on a machine with dbus-x11 and no bus,
# let libdbus autolaunch one on the test's display (a daemon outliving the test and
# ~/.dbus/session-bus/ in its HOME).
NO_SESSION_BUS = {"DBUS_SESSION_BUS_ADDRESS": "disabled:"}


def without_desktop_session(environ):
    """`environ` less every variable of the desktop session it was taken in."""
    return {key: value for key, value in environ.items()
            if not key.startswith(SESSION_PREFIXES) and key not in SESSION_NAMES}


def wait_until(what, predicate, timeout=WAIT_SECONDS, interval=0.05):
    """Polls predicate until it returns something truthy, which is returned."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"gave up waiting for {what} after {timeout} s")
        time.sleep(interval)


class XServer:
    """A private Xvfb on a display number it picks itself, so runs never collide."""

    def __init__(self, size="1280x1024"):
        read_end, write_end = os.pipe()
        self._process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{size}x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as reader:
            while not number.endswith(b"\n"):
                chunk = reader.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            self._process.kill()
            raise RuntimeError("Xvfb did not start")
        self.name = ":" + number.decode().strip()
        self.display = xdisplay.Display(self.name)
        self.root = self.display.screen().root
        self._atoms = {}

    def atom(self, name):
        if name not in self._atoms:
            self._atoms[name] = self.display.intern_atom(name)
        return self._atoms[name]

    def close(self):
        try:
            self.display.close()
        finally:
            self._process.terminate()
            try:
                self._process.wait(timeout=WAIT_SECONDS)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()

    # --- windows -------------------------------------------------------------------

    def _title(self, window):
        for prop, kind in (("_NET_WM_NAME", self.atom("UTF8_STRING")), ("WM_NAME", Xatom.STRING)):
            value = window.get_full_property(self.atom(prop), kind)
            if value is not None and value.value:
                raw = value.value
                return raw.decode("utf-8", "replace") if isinstance(raw, bytes) else str(raw)
        return None

    def _pid(self, window):
        value = window.get_full_property(self.atom("_NET_WM_PID"), Xatom.CARDINAL)
        return int(value.value[0]) if value is not None and len(value.value) else None

    def visible_windows(self, pid):
        """Top-level windows of the process that are on screen, as (window, title)."""
        found = []
        try:
            for window in self.root.query_tree().children:
                try:
                    if window.get_attributes().map_state != X.IsViewable:
                        continue
                    if self._pid(window) != pid:
                        continue
                    found.append((window, self._title(window)))
                except xerror.BadWindow:
                    continue  # went away while we looked
        except xerror.XError:
            pass
        return found

    def wait_for_window(self, process, title):
        def shown():
            if process.poll() is not None:
                raise AssertionError(
                    f"the program ended with status {process.returncode} before its window "
                    f"appeared; stderr: {process.stderr_text()!r}")
            for window, window_title in self.visible_windows(process.pid):
                if window_title == title:
                    return window
            return None
        return wait_until(f"a window titled {title!r}", shown)

    def close_window(self, window):
        """What a window manager sends when the user clicks the close button."""
        protocols = self.atom("WM_PROTOCOLS")
        message = protocol.event.ClientMessage(
            window=window, client_type=protocols,
            data=(32, [self.atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        window.send_event(message, event_mask=X.NoEventMask)
        self.display.flush()

    # --- input and clipboard -------------------------------------------------------

    def _env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def focus(self, window):
        subprocess.run(["xdotool", "windowfocus", "--sync", str(window.id)],
                       env=self._env(), check=True, timeout=WAIT_SECONDS)

    def keys(self, *keys):
        subprocess.run(["xdotool", "key", "--delay", "30", *keys],
                       env=self._env(), check=True, timeout=WAIT_SECONDS)

    def type_text(self, text):
        subprocess.run(["xdotool", "type", "--delay", "30", text],
                       env=self._env(), check=True, timeout=WAIT_SECONDS)

    def clipboard_text(self):
        """The clipboard as a paste would get it, or None while nobody offers it."""
        result = subprocess.run(["xclip", "-o", "-selection", "clipboard"],
                                env=self._env(), capture_output=True, timeout=WAIT_SECONDS)
        return result.stdout.decode("utf-8") if result.returncode == 0 else None


class SessionBus:
    """A session bus of the test's own, as a desktop session has one; ended with it."""

    def __init__(self):
        self._process = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.address = self._process.stdout.readline().decode().strip()
        if not self.address:
            self._process.kill()
            raise RuntimeError("dbus-daemon did not start")

    def close(self):
        self._process.terminate()
        self._process.wait(timeout=WAIT_SECONDS)
        self._process.stdout.close()


class MapWatcher:
    """Records every window mapped on the display while it is open."""

    def __init__(self, server):
        self._display = xdisplay.Display(server.name)
        root = self._display.screen().root
        root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self._display.sync()
        self.mapped = []

    def collect(self):
        self._display.sync()
        while self._display.pending_events():
            event = self._display.next_event()
            if event.type == X.MapNotify:
                self.mapped.append(event.window.id)
        return self.mapped

    def close(self):
        self._display.close()


class Program:
    """One run of the executable with its own settings store and output files."""

    def __init__(self, executable, server, sandbox, wrapper=(), cwd=None, extra_env=None):
        self.executable = Path(os.path.abspath(executable))  # it may run elsewhere
        home = sandbox / "home"
        config = sandbox / "config"
        runtime = sandbox / "runtime"
        for directory in (home, config, runtime):
            directory.mkdir(exist_ok=True)
        runtime.chmod(0o700)
        self.settings_file = config / "orvanel-works" / "zelkora-desk.conf"
        env = without_desktop_session(os.environ)
        env.update(DISPLAY=server.name, HOME=str(home), XDG_CONFIG_HOME=str(config),
                   XDG_RUNTIME_DIR=str(runtime), QT_QPA_PLATFORM="xcb", **NO_SESSION_BUS)
        env.update(extra_env or {})
        self._out = tempfile.TemporaryFile(dir=sandbox)
        self._err = tempfile.TemporaryFile(dir=sandbox)
        self._stderr = None
        self._process = subprocess.Popen([*wrapper, str(self.executable)], env=env, cwd=cwd or sandbox,
                                         stdin=subprocess.DEVNULL, stdout=self._out, stderr=self._err)
        self.pid = self._process.pid

    @property
    def returncode(self):
        return self._process.returncode

    def poll(self):
        return self._process.poll()

    def wait(self, timeout=WAIT_SECONDS):
        try:
            return self._process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError(f"{self.executable} did not end within {timeout} s") from None
        finally:
            if self._process.returncode is not None:
                self._finish()

    def _finish(self):
        if self._stderr is None:
            self._err.seek(0)
            self._stderr = self._err.read().decode("utf-8", "replace")
            self._err.close()
            self._out.close()

    def stderr_text(self):
        if self._stderr is not None:
            return self._stderr
        self._err.seek(0)
        return self._err.read().decode("utf-8", "replace")

    def stderr_lines(self):
        return self.stderr_text().splitlines()

    def kill(self):
        """Ends the process if it still runs; always safe to call, also in a finally."""
        if self._process.poll() is None:
            self._process.kill()
            self._process.wait()
        self._finish()


class Form:
    """What the test needs to know of the form: its title and the keys a person presses."""

    def __init__(self, path):
        self.tree = ET.parse(path)

    def _widget(self, name):
        widget = self.tree.find(f".//widget[@name='{name}']")
        if widget is None:
            raise AssertionError(f"the form has no widget {name}")
        return widget

    @staticmethod
    def _property(widget, name):
        return widget.find(f"./property[@name='{name}']")

    @property
    def title(self):
        return self._property(self.tree.getroot().find("widget"), "windowTitle").findtext("string")

    def checked(self, name):
        prop = self._property(self._widget(name), "checked")
        return prop is not None and prop.findtext("bool") == "true"

    def number(self, name, prop_name="value"):
        prop = self._property(self._widget(name), prop_name)
        return int(prop.findtext("number")) if prop is not None else None

    def mnemonic(self, name):
        """The Alt key that reaches the widget: from its own text or its buddy label."""
        texts = []
        prop = self._property(self._widget(name), "text")
        if prop is not None:
            texts.append(prop.findtext("string"))
        for label in self.tree.iter("widget"):
            buddy = self._property(label, "buddy")
            if buddy is not None and buddy.findtext("cstring") == name:
                texts.append(self._property(label, "text").findtext("string"))
        for text in texts:
            match = re.search(r"&([^&])", (text or "").replace("&&", ""))
            if match:
                return "alt+" + match.group(1).lower()
        raise AssertionError(f"no mnemonic reaches {name}")


def resource_lines(log_text):
    """The resource lookup's lines of a log, without the layout's prefix."""
    return [line[line.index("[resource_path] "):] for line in log_text.splitlines()
            if "[resource_path] " in line]


def contains_run(lines, expected):
    """Whether expected occurs in lines as one unbroken run."""
    return any(lines[i:i + len(expected)] == expected for i in range(len(lines) - len(expected) + 1))


def read_store(path):
    """The settings store Qt writes on Linux: an INI file, values as text.

    Only what this program writes is understood: plain values, keys in [General] at the
    top and in groups named by their section.
    """
    values = {}
    section = None
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            section = line[1:-1]
            continue
        key, _, value = line.partition("=")
        if section and section != "General":
            key = f"{section}/{key}"
        values[key] = value
    return values


def empty_dir(prefix):
    return Path(tempfile.mkdtemp(prefix=prefix))


def remove_tree(path):
    shutil.rmtree(path, ignore_errors=True)
