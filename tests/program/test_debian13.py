#!/usr/bin/python3
"""scripts/debian13 against what a careful contributor's machine throws at it, on a small
root of its own in a cache folder whose name holds a quote, a space and a comma.
Run as root (it binds a folder and plays an ordinary user); each row says which."""

import argparse
import os
import pwd
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
SMALL = "mount"  # the root's packages: a small root, made in a minute
USER = 4242  # an ordinary user, with no entry in /etc/passwd


def mounts_under(path):
    with open("/proc/self/mountinfo", encoding="utf-8") as table:
        targets = [line.split()[4].encode().decode("unicode_escape") for line in table]
    return [t for t in targets if t == str(path) or t.startswith(f"{path}/")]


class HostileCases(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = Path(tempfile.mkdtemp(prefix="zelkora-debian13-test-"))
        cls.scratch.chmod(0o755)
        cls.cache = cls.scratch / "o'clock, caches"
        cls.env = {"PATH": os.environ["PATH"], "HOME": str(cls.scratch), "XDG_CACHE_HOME": str(cls.cache),
                   "ZELKORA_DEBIAN13_PACKAGES": SMALL}
        cls.script = Path(ARGS.source_dir).resolve() / "scripts" / "debian13"

    @classmethod
    def tearDownClass(cls):
        subprocess.run(["chmod", "-R", "u+w", str(cls.scratch)], check=False)
        shutil.rmtree(cls.scratch)

    def run_in_root(self, *command, env=None, script=None, **options):
        return subprocess.run([str(script or self.script), "--", *command], env={**self.env, **(env or {})},
                              capture_output=True, text=True, timeout=600, **options)

    def roots(self):
        return sorted(p.name for p in (self.cache / "zelkora-desk/roots").glob("debian13-*") if p.is_dir())

    def test_1_a_killed_making_leaves_no_mount_and_the_next_run_walks_into_none(self):
        making = subprocess.Popen([str(self.script), "true"], env=self.env, start_new_session=True)
        roots = self.cache / "zelkora-desk/roots"
        while not any(roots.glob(".making-*")):
            time.sleep(0.5)
        time.sleep(8)  # mmdebstrap is installing, its file systems mounted
        os.killpg(making.pid, signal.SIGKILL)
        making.wait()
        self.assertEqual(mounts_under(self.scratch), [])
        # A folder of the user's bound inside the half-made root is refused, not emptied.
        half = next(roots.glob(".making-*"))
        canary = self.scratch / "canary"
        (canary / "dir").mkdir(parents=True)
        (half / "canary").mkdir()
        subprocess.run(["mount", "--bind", str(canary), str(half / "canary")], check=True)
        try:
            refused = self.run_in_root("true")
        finally:
            subprocess.run(["umount", str(half / "canary")], check=True)
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("is mounted inside it", refused.stderr)
        self.assertTrue((canary / "dir").is_dir())
        made = self.run_in_root("sh", "-c", 'echo "$0" > /etc/probe; cat /etc/os-release', "written")
        self.assertIn('VERSION_ID="13"', made.stdout, made.stderr)
        self.assertIn("Read-only file system", made.stderr)

    def test_2_rows(self):
        source = Path(ARGS.source_dir).resolve()
        link = self.scratch / "a link to the checkout"
        link.symlink_to(source)
        elsewhere = self.scratch / "a folder, elsewhere"
        elsewhere.mkdir()
        os.chown(elsewhere, USER, USER)
        secret = secrets.token_hex(16)
        runner = [str(self.script), "--"]
        rows = {
            # The cached root is read-only, through the cache folder too, and nothing stays.
            "root unchanged": ([*runner, "sh", "-c", "test ! -e /etc/probe && ! touch $XDG_CACHE_HOME/*/roots/*/etc"],
                               {}, ""),
            "symlinked checkout": ([str(link / "scripts/windows/deps"), "--environment"], {}, "mount (= "),
            "working folder anywhere, standard input": ([*runner, "sh", "-c", "pwd; cat"], {}, f"{elsewhere}\nin\n"),
            # Values reach the command in its environment only, a file by its real path.
            "a file named relatively": ([*runner, "sh", "-c", 'cat "$ZELKORA_FILE"'],
                                        {"ZELKORA_FILE": "../a link to the checkout/LICENSE"}, "MIT License"),
            "a password": ([*runner, "sh", "-c", 'sleep 3; echo "${#ZELKORA_SIGN_PASSWORD}"'],
                           {"ZELKORA_SIGN_PASSWORD": secret}, "32\n"),
        }
        for name, (command, env, expected) in rows.items():
            with self.subTest(name):
                run = subprocess.Popen(command, cwd=elsewhere, env={**self.env, **env}, stdin=subprocess.PIPE,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                run.stdin.write("in\n")
                run.stdin.close()
                run.stdin = None  # given, and closed: nothing more for communicate() to send
                seen = set()
                while run.poll() is None:
                    seen |= {p.name for p in Path("/proc").glob("[0-9]*") if secret.encode() in read(p / "cmdline")}
                    time.sleep(0.05)
                out, err = run.communicate()
                self.assertEqual((expected in out, run.returncode, seen), (True, 0, set()), out + err)

    def test_3_a_killed_run_leaves_no_process(self):
        run = subprocess.Popen([str(self.script), "sh", "-c", "setsid sleep 1234 & sleep 1235"], env=self.env)
        time.sleep(3)
        run.send_signal(signal.SIGTERM)
        run.wait(timeout=30)
        time.sleep(1)
        self.assertEqual(subprocess.run(["pgrep", "-f", "sleep 123[45]"], capture_output=True).stdout, b"")

    def test_4_two_keys_at_once_and_an_ordinary_user(self):
        other = subprocess.Popen([str(self.script), "true"], env={**self.env, "ZELKORA_DEBIAN13_PACKAGES": "mount hello"})
        self.assertEqual(self.run_in_root("true").returncode, 0)
        self.assertEqual(other.wait(timeout=600), 0)
        self.assertEqual(len(self.roots()), 2)
        # An ordinary user, with user namespaces: what the command writes is theirs.
        subprocess.run(["chown", "-R", f"{USER}:{USER}", str(self.cache)], check=True)
        mine = self.scratch / "a folder, elsewhere"
        as_user = self.run_in_root("sh", "-c", "id -u && touch made", cwd=mine,
                                   preexec_fn=lambda: (os.setgroups([]), os.setgid(USER), os.setuid(USER)))
        self.assertEqual(as_user.stdout, "0\n", as_user.stderr)
        self.assertEqual((mine / "made").stat().st_uid, USER)


def read(path):
    try:
        return path.read_bytes()
    except OSError:
        return b""


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    if os.geteuid() != 0 or pwd.getpwuid(0).pw_name != "root":
        sys.exit("test_debian13: run as root")
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
