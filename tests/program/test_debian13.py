#!/usr/bin/python3
"""scripts/debian13 against what a careful contributor's machine throws at it, on small
roots of its own in a cache folder whose name holds a quote, a space and a comma.
Run as root: it binds a folder, and plays an ordinary user (uid 4242) with user namespaces."""

import argparse
import os
import secrets
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

ARGS = None
USER = 4242


def command_lines_holding(text):
    def read(path):
        try:
            return path.read_bytes()
        except OSError:
            return b""
    return {p.name for p in Path("/proc").glob("[0-9]*") if text.encode() in read(p / "cmdline")}


class HostileCases(unittest.TestCase):
    def setUp(self):
        self.scratch = Path(tempfile.mkdtemp(prefix="zelkora-debian13-test-"))
        self.scratch.chmod(0o755)
        self.addCleanup(shutil.rmtree, self.scratch)
        self.roots = self.scratch / "o'clock, caches/zelkora-desk/roots"
        self.env = {"PATH": os.environ["PATH"], "HOME": str(self.scratch), "ZELKORA_DEBIAN13_PACKAGES": "mount",
                    "XDG_CACHE_HOME": str(self.roots.parents[1])}
        self.script = str(Path(ARGS.source_dir).resolve() / "scripts/debian13")

    def run_in_root(self, *command, env=None, **options):
        return subprocess.run([self.script, "--", *command], env={**self.env, **(env or {})}, capture_output=True,
                              text=True, timeout=600, **options)

    def test_makings_killed_at_once_and_by_an_ordinary_user(self):
        making = subprocess.Popen([self.script, "true"], env=self.env, start_new_session=True)
        while not any(self.roots.glob(".making-*")):
            time.sleep(0.5)
        time.sleep(8)  # mmdebstrap is installing, its file systems mounted
        os.killpg(making.pid, signal.SIGKILL)
        making.wait()
        self.assertNotIn(str(self.scratch), Path("/proc/self/mountinfo").read_text())
        # A folder of the user's bound inside the half-made root is refused, not emptied.
        canary = self.scratch / "canary"
        (canary / "dir").mkdir(parents=True)
        inside = next(self.roots.glob(".making-*")) / "canary"
        inside.mkdir()
        subprocess.run(["mount", "--bind", str(canary), str(inside)], check=True)
        refused = self.run_in_root("true")
        subprocess.run(["umount", str(inside)], check=True)
        self.assertIn("is mounted inside it", refused.stderr)
        self.assertTrue((canary / "dir").is_dir())
        # Two keys at once: both made, neither removed by the other.
        other = subprocess.Popen([self.script, "true"], env={**self.env, "ZELKORA_DEBIAN13_PACKAGES": "mount hello"})
        self.assertEqual(self.run_in_root("true").returncode, 0)
        self.assertEqual(other.wait(timeout=600), 0)
        self.assertEqual(len([p for p in self.roots.glob("debian13-*") if p.is_dir()]), 2)
        # An ordinary user is root inside; what the command writes is theirs outside.
        subprocess.run(["chown", "-R", f"{USER}:{USER}", str(self.scratch)], check=True)
        as_user = self.run_in_root("sh", "-c", "id -u && touch made", cwd=self.scratch,
                                   preexec_fn=lambda: (os.setgroups([]), os.setgid(USER), os.setuid(USER)))
        self.assertEqual(as_user.stdout, "0\n", as_user.stderr)
        self.assertEqual((self.scratch / "made").stat().st_uid, USER)

    def test_runs(self):
        link = self.scratch / "a link to the checkout"
        link.symlink_to(Path(ARGS.source_dir).resolve())
        secret = secrets.token_hex(16)
        rows = {
            # The cached root is read-only, through the cache folder too, and nothing stays.
            "root unchanged": (["sh", "-c", "! touch /etc/probe && ! touch $XDG_CACHE_HOME/*/roots/*/etc"], {}, ""),
            "symlinked checkout": ([str(link / "scripts/windows/deps"), "--environment"], {}, "mount (= "),
            "working folder anywhere, standard input": (["sh", "-c", "pwd; cat"], {}, f"{self.scratch}\nin\n"),
            # Values reach the command in its environment only, a file by its real path.
            "a file named relatively": (["sh", "-c", 'cat "$ZELKORA_FILE"'],
                                        {"ZELKORA_FILE": "a link to the checkout/LICENSE"}, "MIT License"),
            "a password": (["sh", "-c", 'sleep 3; echo "${#ZELKORA_SIGN_PASSWORD}"'],
                           {"ZELKORA_SIGN_PASSWORD": secret}, "32\n"),
        }
        for name, (command, env, expected) in rows.items():
            with self.subTest(name):
                if not command[0].startswith("/"):
                    command = [self.script, "--", *command]
                run = subprocess.Popen(command, cwd=self.scratch, env={**self.env, **env}, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                run.stdin.write("in\n")
                run.stdin.close()
                run.stdin = None  # given, and closed: nothing more for communicate() to send
                seen = set()
                while run.poll() is None:
                    seen |= command_lines_holding(secret)
                    time.sleep(0.05)
                out, err = run.communicate()
                self.assertEqual((expected in out, run.returncode, seen), (True, 0, set()), out + err)
        # Stopped with TERM, the run takes what it started with it, a new session's too.
        run = subprocess.Popen([self.script, "sh", "-c", "setsid sleep 1234 & sleep 1235"], env=self.env)
        time.sleep(3)
        run.send_signal(signal.SIGTERM)
        run.wait(timeout=30)
        time.sleep(1)
        self.assertEqual(subprocess.run(["pgrep", "-f", "sleep 123[45]"], capture_output=True).stdout, b"")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    if os.geteuid() != 0:
        sys.exit("test_debian13: run as root")
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
