#!/usr/bin/python3
"""The Windows program under Wine reporting Windows 11, in a prefix and on an X server of
its own: light or dark as the system's mode for apps says, also when switched while open."""

import argparse
import os
import subprocess
import sys
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from artefacts import TOP, WINE, WINE_QUIET, WINESERVER, in_windows_build_system, the_one  # noqa: E402
from take_screenshot import capture  # noqa: E402
from xsession import NO_SESSION_BUS, Form, Program, XServer, empty_dir, remove_tree, wait_until  # noqa: E402

ARGS = None
HERE = Path(__file__).resolve().parent


class Windows11(unittest.TestCase):
    def test_light_or_dark_as_the_apps_mode_says_also_when_switched_while_open(self):
        sandbox = empty_dir("zelkora-look-")
        self.addCleanup(remove_tree, sandbox)
        with zipfile.ZipFile(the_one(ARGS.dist_dir, "*-windows-x86_64.zip", "Windows archive")) as archive:
            archive.extractall(sandbox)
        app = sandbox / TOP / "app"
        env = {**WINE_QUIET, **NO_SESSION_BUS, "WINEPREFIX": str(sandbox / "wine")}
        self.addCleanup(subprocess.run, [WINESERVER, "-k"], env={**os.environ, **env}, timeout=120)
        server = XServer()
        self.addCleanup(server.close)

        def run(*command):
            subprocess.run(command, env={**os.environ, **env}, check=True, capture_output=True, timeout=120)

        # Reporting Windows 11, Qt gives the window its windows11 style, the only one of its
        # Windows styles with dark colours. The reset button is disabled: the style colours
        # its text as it polishes it, for the mode of that moment.
        run(WINE, "wineboot", "-i")
        run(WINE, "reg", "import", f"Z:{HERE / 'windows11.reg'}")
        run(WINE, "reg", "add", r"HKCU\Software\orvanel-works\zelkora-desk\chk", "/v", "symbols", "/d", "false", "/f")
        theme = sandbox / "set_app_theme.exe"
        in_windows_build_system("x86_64-w64-mingw32-gcc-posix", "-municode", "-o", str(theme),
                                str(HERE / "set_app_theme.c"), check=True, timeout=120)
        pictures = {}
        for mode in ("light", "dark"):
            run(WINE, str(theme), mode)
            program = Program(app / "zelkora-desk.exe", server, sandbox, [WINE], extra_env=env)
            self.addCleanup(program.kill)
            window = server.wait_for_window(program, Form(app / "zelkora/resources/ui/main_window.ui").title)
            pictures[mode] = drawn(window, mode)
            if mode == "light":
                server.close_window(window)
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
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
