#!/usr/bin/python3
"""Starts the Windows installer on a private X server and saves its first page, the
welcome page, as PNG; then ends it, having installed nothing."""

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from take_screenshot import capture, write_png  # noqa: E402
from xsession import Program, XServer, empty_dir, remove_tree, wait_until  # noqa: E402

# NSIS's caption for a Japanese installer named zelkora-desk.
TITLE = "zelkora-desk セットアップ"


def settled(window):
    """The window's picture once two looks a second apart agree: the page is drawn."""
    looks = []

    def unchanged():
        looks.append(capture(window))
        return len(looks) > 1 and looks[-1] == looks[-2]
    wait_until("the page to be drawn", unchanged, timeout=60, interval=1)
    return looks[-1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--setup", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--wrapper", action="append", default=[],
                        help="a program that runs the installer (Wine); repeatable")
    args = parser.parse_args()

    server = XServer()
    sandbox = empty_dir("zelkora-installer-screenshot-")
    program = None
    try:
        program = Program(args.setup, server, sandbox, args.wrapper)
        width, height, rows = settled(server.wait_for_window(program, TITLE))
        write_png(args.output, width, height, rows)
        print(f"{args.output}: {width}x{height}")
    finally:
        if program is not None:
            program.kill()  # on its first page: nothing written yet
        server.close()
        remove_tree(sandbox)


if __name__ == "__main__":
    main()
