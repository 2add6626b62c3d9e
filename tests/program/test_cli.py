#!/usr/bin/python3
"""zelkora-cli as a terminal user and a script meet it: exit statuses and messages, what
the output holds, -o's file, a reader that stops early and a random source that fails."""

import argparse
import json
import os
import signal
import string
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

ARGS = None
DIGITS, LOWER, UPPER = string.digits, string.ascii_lowercase, string.ascii_uppercase
SYMBOLS = "!@#$%^&*()-_=+[]{};:,.?/\\"
# The window's test has the same rows.
SYMBOL_SET_WARNINGS = Path(__file__).resolve().parent.parent / "symbol_set_warnings.json"


def cli(*args, **kwargs):
    return subprocess.run([ARGS.executable, *args], capture_output=True, timeout=60, **kwargs)


class CommandLine(unittest.TestCase):
    def test_exit_status_and_message(self):
        for args, status, stream, fragment in [
            (["--help"], 0, "stdout", "使い方: zelkora-cli"),
            (["--version"], 0, "stdout", "zelkora-cli 0.1.0\n"),
            (["-n", "2", "--bogus"], 2, "stderr", "不明なオプションです: --bogus\n使い方は zelkora-cli --help"),
            (["--length=99999999999999999999"], 2, "stderr", "--length は 1 から 100000 までで"),
            (["-l", "3"], 1, "stderr", "zelkora-cli: 長さが短すぎます\n"),
            (["-s", "-S", "0O1", "-x"], 1, "stderr", "zelkora-cli: 候補文字が空です\n"),
            (["-S", "#\n", "-n", "100"], 2, "stderr", "zelkora-cli: 記号セットに改行などの制御文字 1 個（U+000A）があるため"),
        ]:
            with self.subTest(args):
                result = cli(*args)
                self.assertEqual(result.returncode, status)
                self.assertIn(fragment, getattr(result, stream).decode("utf-8"))
                if status != 0:
                    self.assertEqual(result.stdout, b"")

    def test_output_holds_the_passwords_asked_for_and_nothing_else(self):
        unambiguous = lambda pool: "".join(c for c in pool if c not in "01IOl")  # noqa: E731
        for args, length, count, separator, pools in [
            ([], 16, 1, "\n", [DIGITS, LOWER, UPPER, SYMBOLS]),
            (["-l", "5", "-n", "3000", "-d", "--strength"], 5, 3000, "\n", [DIGITS]),
            (["-l12", "-n50", "-a", "-S", "αβ★𝄞", "-x"], 12, 50, "\n", [unambiguous(LOWER), "αβ★𝄞"]),
            (["-n", "4", "-0", "-A"], 16, 4, "\0", [UPPER]),
            (["-n", "3", "--crlf"], 16, 3, "\r\n", [DIGITS, LOWER, UPPER, SYMBOLS]),
        ]:
            with self.subTest(args):
                result = cli(*args)
                self.assertEqual(result.returncode, 0, result.stderr)
                text = result.stdout.decode("utf-8")
                self.assertTrue(text.endswith(separator))
                passwords = text[:-len(separator)].split(separator)
                self.assertEqual(len(passwords), count)
                for password in passwords:
                    self.assertEqual(len(password), length)
                    self.assertLessEqual(set(password), set("".join(pools)))
                    self.assertTrue(all(set(password) & set(pool) for pool in pools), password)
                expected_stderr = r"\A強度: 約 \d+ ビット（(弱い|普通|強い|とても強い)）\n" if "--strength" in args else r"\A"
                if "αβ★𝄞" in args:
                    expected_stderr += "zelkora-cli: 記号セットに ASCII 以外の文字 4 個（α、β ほか）があります\n"
                self.assertRegex(result.stderr.decode("utf-8"), expected_stderr + r"\Z")

    def test_a_symbol_set_is_used_as_given_and_what_it_holds_said(self):
        for row in json.loads(SYMBOL_SET_WARNINGS.read_text(encoding="utf-8")):
            with self.subTest(row["case"]):
                result = cli("-s", "-S", row["symbols"], "-l", "8")
                self.assertEqual((result.returncode, result.stderr.decode("utf-8")),
                                 (0, f"zelkora-cli: {row['warning']}\n" if row["warning"] else ""))
                password = result.stdout.decode("utf-8")
                self.assertEqual((len(password), password[-1]), (9, "\n"))
                self.assertLessEqual(set(password[:-1]), set(row["symbols"]))

    def test_output_file_private_whole_and_never_replaced_unasked(self):
        with tempfile.TemporaryDirectory() as folder:
            target = Path(folder) / "list.txt"
            self.assertEqual(cli("-n", "10", "-o", str(target)).returncode, 0)
            self.assertEqual(target.stat().st_mode & 0o777, 0o600)
            first = target.read_bytes()
            refused = cli("-n", "5", "-o", str(target))
            self.assertEqual((refused.returncode, target.read_bytes()), (3, first))
            self.assertIn("すでにあります", refused.stderr.decode("utf-8"))
            self.assertEqual(cli("-n", "5", "-o", str(target), "--force").returncode, 0)
            self.assertEqual(target.read_bytes().count(b"\n"), 5)
            self.assertEqual(os.listdir(folder), ["list.txt"])
            # Stopped half-way: no list under its name, and no temporary file left.
            (Path(folder) / "list.txt").unlink()
            running = subprocess.Popen([ARGS.executable, "-n", "100000000", "-o", str(target)])
            while not os.listdir(folder) and running.poll() is None:
                time.sleep(0.01)
            time.sleep(0.2)
            running.send_signal(signal.SIGTERM)
            self.assertEqual(running.wait(timeout=30), -signal.SIGTERM)
            self.assertEqual(os.listdir(folder), [])

    def test_a_reader_that_stops_early_is_no_error(self):
        reader = subprocess.run(f"'{ARGS.executable}' -n 100000000 | head -n 1; echo \"${{PIPESTATUS[0]}}\"",
                                shell=True, executable="/bin/bash", capture_output=True, timeout=60, text=True)
        self.assertRegex(reader.stdout, r"\A\S{16}\n0\n\Z")
        self.assertEqual(reader.stderr, "")

    def test_a_failing_random_source_writes_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            result = subprocess.run(["strace", "-f", "-o", "/dev/null", "-e", "inject=getrandom:error=EPERM",
                                     ARGS.executable, "-n", "5", "-o", f"{folder}/out"], capture_output=True)
            self.assertEqual(result.returncode, 1)
            self.assertRegex(result.stderr.decode("utf-8"), r"\Azelkora-cli: 安全な乱数源から読み取れませんでした（.+）\n\Z")
            self.assertEqual(os.listdir(folder), [])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--executable", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
