#!/usr/bin/python3
"""Starts the program on a private X server, generates once, and saves the window as PNG.

The window is read straight from the X server, so no image tool is needed: the pixels
are written as a PNG here. Options come from an empty settings store, so the picture
shows the form's own defaults, not whatever the last user chose.
"""

import argparse
import struct
import sys
import time
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from Xlib import X  # noqa: E402

from xsession import FORM_RELATIVE, Form, Program, XServer, empty_dir, remove_tree, wait_until  # noqa: E402


def capture(window):
    """The window's pixels as rows of RGB bytes."""
    geometry = window.get_geometry()
    width, height = geometry.width, geometry.height
    image = window.get_image(0, 0, width, height, X.ZPixmap, 0xFFFFFFFF)
    data = image.data if isinstance(image.data, bytes) else bytes(image.data)
    stride = len(data) // height
    rows = []
    for y in range(height):
        row = data[y * stride:y * stride + width * 4]
        rgb = bytearray(width * 3)
        rgb[0::3] = row[2::4]  # the server hands out B, G, R, unused
        rgb[1::3] = row[1::4]
        rgb[2::3] = row[0::4]
        rows.append(bytes(rgb))
    return width, height, rows


def write_png(path, width, height, rows):
    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    Path(path).write_bytes(png)


def changed_rows(rows, before):
    return sum(1 for row, old in zip(rows, before) if row != old)


def after_generating(window, before):
    """The window's picture once the passwords are drawn.

    A blinking text cursor changes a few rows all the time, so "changed" means many rows:
    the result area filling up.
    """
    wait_until("the passwords on screen", lambda: changed_rows(capture(window)[2], before) > 40, timeout=30)
    time.sleep(0.5)  # let the button's pressed look go; the status message stays for 3 s
    return capture(window)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--executable", required=True)
    parser.add_argument("--project-root", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("--wrapper", action="append", default=[],
                        help="a program that runs the executable (Wine for the Windows one); repeatable")
    parser.add_argument("--screen", default="1280x1024",
                        help="the private X server's screen size, WIDTHxHEIGHT: room for a window at 200 %%")
    args = parser.parse_args()

    form = Form(Path(args.project_root) / FORM_RELATIVE)
    server = XServer(args.screen)
    sandbox = empty_dir("zelkora-screenshot-")
    program = None
    try:
        program = Program(args.executable, server, sandbox, args.wrapper)
        window = server.wait_for_window(program, form.title)
        server.focus(window)
        time.sleep(1)  # the first paint
        before = capture(window)[2]
        server.keys(form.mnemonic("btnGenerate"))
        width, height, rows = after_generating(window, before)
        write_png(args.output, width, height, rows)
        server.close_window(window)
        program.wait()
        print(f"{args.output}: {width}x{height}")
    finally:
        if program is not None:
            program.kill()
        server.close()
        remove_tree(sandbox)


if __name__ == "__main__":
    main()
