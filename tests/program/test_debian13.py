#!/usr/bin/python3
"""scripts/debian13 against what a careful contributor's machine throws at it, on small
roots of its own under /var/tmp, in a cache folder whose path holds a newline, a quote, a space
and a comma. Run as root: it binds a folder, and plays a throwaway user, through sudo too."""

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


def command_lines_holding(text):
    def read(path):
        try:
            return path.read_bytes()
        except OSError:
            return b""
    return {p.name for p in Path("/proc").glob("[0-9]*") if text.encode() in read(p / "cmdline")}


class HostileCases(unittest.TestCase):
    def setUp(self):
        self.scratch = Path(tempfile.mkdtemp(prefix="zelkora-debian13-test-\n", dir="/var/tmp"))
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
        making = subprocess.Popen([self.script, "true"], env=self.env)
        while not any(self.roots.glob(".making-*")):
            time.sleep(0.5)
        time.sleep(8)  # mmdebstrap is installing, its file systems mounted
        making.terminate()  # the script alone, as timeout does: the making ends with it
        making.wait()
        time.sleep(5)
        self.assertEqual(command_lines_holding(str(self.scratch)), set())
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
        # Pruned: a making left long ago; skipped, not fatal: an old root with a mount inside.
        stale, old = self.roots / ".making-stale", self.roots / "debian13-old/canary"
        stale.mkdir(), old.mkdir(parents=True), (self.roots / "debian13-old.lock").touch()
        os.utime(stale, (time.time() - 3 * 86400 - 3600,) * 2)
        os.utime(self.roots / "debian13-old.lock", (time.time() - 5 * 86400,) * 2)
        subprocess.run(["mount", "--bind", str(canary), str(old)], check=True)
        # Two keys at once: both made, neither removed by the other.
        other = subprocess.Popen([self.script, "true"], env={**self.env, "ZELKORA_DEBIAN13_PACKAGES": "mount hello"})
        made = (self.run_in_root("true"), other.wait(timeout=600))
        subprocess.run(["umount", str(old)], check=True)
        self.assertEqual((made[0].returncode, made[1], stale.exists()), (0, 0, False), made[0].stderr)
        self.assertEqual(len([p for p in self.roots.glob("debian13-*") if p.is_dir()]), 3)
        # An ordinary user is root inside; what the command writes is theirs outside, by sudo too.
        subprocess.run(["bash", "-c", 'source "${0%/*}/lib/common.bash"; need_packages sudo', self.script], check=True)
        name = f"zelkora-test-{os.getpid()}"
        subprocess.run(["useradd", name], check=True)
        self.addCleanup(subprocess.run, ["userdel", name])
        Path("/etc/sudoers.d", name).write_text(f"{name} ALL=(root) NOPASSWD: ALL\n")
        self.addCleanup(Path("/etc/sudoers.d", name).unlink)
        u = pwd.getpwnam(name)
        shutil.copytree(Path(self.script).parent, self.scratch / "checkout/scripts")  # the user's own
        subprocess.run(["chown", "-R", f"{u.pw_uid}:{u.pw_gid}", str(self.scratch)], check=True)
        as_user = dict(cwd=self.scratch, preexec_fn=lambda: (os.setgroups([]), os.setgid(u.pw_gid), os.setuid(u.pw_uid)))
        run = self.run_in_root("sh", "-c", "id -u && touch made", **as_user)
        self.assertEqual(run.stdout, "0\n", run.stderr)
        run = subprocess.run(["sudo", "-nE", self.scratch / "checkout/scripts/debian13", "touch", "x"], env=self.env, **as_user)
        found = subprocess.run(["find", str(self.scratch), "!", "-user", name], capture_output=True, text=True).stdout
        self.assertEqual((run.returncode, found), (0, ""))

    def test_runs(self):
        link = self.scratch / "a link to the checkout"
        link.symlink_to(Path(ARGS.source_dir).resolve())
        secret = secrets.token_hex(16)
        slow = self.scratch / "flock"  # the race of two first runs made wide
        slow.write_text('#!/bin/sh\nsleep 3\nexec /usr/bin/flock "$@"\n'), slow.chmod(0o755)
        vendor = Path(self.enterContext(tempfile.TemporaryDirectory()))
        shutil.copytree("/etc/apt/sources.list.d", vendor / "parts")
        (vendor / "parts/vendor.list").write_text("deb [signed-by=/v.gpg] https://vendor.example/ bookworm stable\n")
        (vendor / "apt.conf").write_text(f'Dir::Etc::SourceParts "{vendor}/parts";\n')
        apt_sources = ["/usr/bin/python3", str(Path(self.script).parent / "lib/apt_sources.py"), "trixie"]
        rows = {
            "two first runs in a pipeline": (["/usr/bin/timeout", "900", "sh", "-c", '"$0" seq 200000 | "$0" wc -l',
                                              self.script], {"PATH": f"{slow.parent}:{os.environ['PATH']}"}, "200000\n"),
            # The cached root is read-only, through the cache folder, to a remount too; the lock is not the command's.
            "root unchanged": (["sh", "-c", '! touch /etc/probe && ! touch "$XDG_CACHE_HOME"/*/roots/*/etc'
                                " && ! mount -o remount,bind,rw /etc && ! [ -e /proc/self/fd/7 ]"], {}, ""),
            "odd names": (["sh", "-c", "! env | grep -e PASSWORD -e BASH_FUNC -e BASHOPTS && echo clean"],
                          {"DB-PASSWORD": "x", "BASH_FUNC_f%%": "() { :; }", "BASHOPTS": "extglob"}, "clean"),
            "Debian's own archive only": (apt_sources, {"APT_CONFIG": str(vendor / "apt.conf")},
                                          subprocess.run(apt_sources, capture_output=True, text=True).stdout),
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
