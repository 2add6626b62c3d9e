#!/usr/bin/python3
"""Each Debian package in a fresh root of its release, as deb_scenario.sh uses it there:
installed over an older version with apt, used by an ordinary user, purged.

    test_deb.py --dist-dir dist --source-dir .
"""

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from artefacts import the_one  # noqa: E402

ARGS = None
TOOLS = "passwd,locales,man-db,xvfb,xauth,xdotool"  # the scenario's, beside apt's minimal system


def older_package(new, out):
    """The same package as an older version, holding one file more."""
    with tempfile.TemporaryDirectory() as tree:
        subprocess.run(["dpkg-deb", "-R", str(new), tree], check=True)
        control = Path(tree, "DEBIAN/control")
        control.write_text(re.sub(r"(?m)^Version: .*", "Version: 0~old-1", control.read_text()))
        Path(tree, "usr/lib/zelkora-desk/zelkora/obsolete.txt").write_text("gone in the next version\n")
        subprocess.run(["dpkg-deb", "--root-owner-group", "-b", tree, str(out)], check=True, capture_output=True)


class FreshRoot(unittest.TestCase):
    def test_install_over_an_older_version_use_and_purge(self):
        for release, suite in (("12", "bookworm"), ("13", "trixie")):
            with self.subTest(suite), tempfile.TemporaryDirectory() as folder:
                new = the_one(ARGS.dist_dir, f"zelkora-desk_*~deb{release}+1_amd64.deb", "Debian package")
                shutil.copy(new, Path(folder, "new.deb"))
                older_package(new, Path(folder, "old.deb"))
                shutil.copy(Path(__file__).with_name("deb_scenario.sh"), Path(folder, "run"))
                subprocess.run([str(Path(ARGS.source_dir, "scripts/debian-fresh")), suite, TOOLS, folder], check=True)
                out = {p.name: p.read_text(encoding="utf-8") for p in Path(folder, "out").iterdir()}

                self.assertEqual(out["version"], new.name.split("_")[1] + "\n")
                self.assertEqual(out["zelkora-folder"].split(), ["all-users", "logging.ini", "resources"])
                # The policy in /etc/xdg makes every password 40 long, and refuses 8.
                self.assertEqual(([len(line) for line in out["cli"].splitlines()], out["refused"]), ([40] * 3, "4\n"))
                # The window was shown and logged into the user's own state folder, nothing into /usr.
                self.assertEqual(out["shown"], "0\n")
                self.assertIn("hit=/usr/lib/zelkora-desk/zelkora/resources/ui/main_window.ui", out["app.log"])
                self.assertLessEqual(set(out["program-folder"].split()), set(out["files"].split()))
                for page, heading in (("man-en", "NAME"), ("man-ja", "名前")):
                    self.assertRegex(out[page], rf"(?m)^{heading}\n\s+zelkora-cli - \S(.|\n)*--symbol-set")
                self.assertEqual(out["completion"], "--symbols --symbol-set\n")
                # Purged: nothing of it left; the administrators' policy and the user's log stay.
                self.assertEqual((out["status-after-purge"], out["left"]), ("unknown to dpkg\n", ""))
                self.assertEqual(out["kept"].split(), ["/etc/xdg/orvanel-works/zelkora-desk-policy.conf",
                                                       "/home/alice/.local/state/orvanel-works/zelkora-desk/log/app.log"])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--dist-dir", required=True)
    parser.add_argument("--source-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
