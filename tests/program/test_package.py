#!/usr/bin/python3
"""The portable archive, unpacked where nothing of the build is: packaged mode."""

import argparse
import codecs
import os
import re
import subprocess
import sys
import tarfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import scenarios  # noqa: E402
from artefacts import TOP, the_one  # noqa: E402
from xsession import (FORM_RELATIVE, Form, XServer, empty_dir,  # noqa: E402
                      read_store, remove_tree, resource_lines)

ARGS = None

FORM_WITH_WIDGET_ROOT = """<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>Form</class>
 <widget class="QWidget" name="Form">
  <property name="windowTitle"><string>Form</string></property>
 </widget>
</ui>
"""


def setUpModule():
    global SERVER
    SERVER = XServer()


def tearDownModule():
    SERVER.close()


# As the READMEs name them: app/zelkora-desk, %LOCALAPPDATA%\Programs, reg's /f.
PATH_OR_SWITCH = re.compile(r"[\w%.~:$-]*[/\\][\w%.~:$/\\-]*")


def check_readme(test, raw, bom=False):
    """A README.txt for users: Japanese first, then the same in English, with as many
    sections and every path and command of one half in the other."""
    test.assertEqual(raw.startswith(codecs.BOM_UTF8), bom)
    japanese, _, english = raw.decode("utf-8-sig").partition("\nEnglish\n")
    test.assertIn("■ 起動しないとき", japanese)
    halves = [(half.count("\n■ "), {name.strip("./\\") for name in PATH_OR_SWITCH.findall(half)})
              for half in (japanese, english)]
    test.assertEqual(halves[0], halves[1])


def the_archive():
    return the_one(ARGS.package_dir, "*.tar.gz", "archive")


class Unpacked(unittest.TestCase):
    """Each test gets its own fresh copy of the package in a temporary directory."""

    def setUp(self):
        self.unpack()

    def unpack(self):
        self.sandbox = empty_dir("zelkora-package-")
        self.addCleanup(remove_tree, self.sandbox)
        subprocess.run(["tar", "-xzf", str(the_archive()), "-C", str(self.sandbox)], check=True)
        # Resolved, as the program resolves its own location.
        self.top = Path(os.path.realpath(self.sandbox / TOP))
        self.app = self.top / "app"
        self.form = Form(self.app / "zelkora" / "resources" / "ui" / "main_window.ui")

    def log_resource_lines(self, log_dir):
        return resource_lines((log_dir / "app.log").read_text(encoding="utf-8"))


class ArchiveContents(unittest.TestCase):
    def test_holds_exactly_the_portable_folder(self):
        with tarfile.open(the_archive()) as archive:
            members = {member.name.rstrip("/"): member for member in archive.getmembers()}
            self.assertEqual(sorted(members), sorted([
                TOP, f"{TOP}/README.txt", f"{TOP}/LICENSE",
                f"{TOP}/app", f"{TOP}/app/zelkora-desk", f"{TOP}/app/zelkora-cli",
                f"{TOP}/app/zelkora", f"{TOP}/app/zelkora/logging.ini",
                f"{TOP}/app/zelkora/resources", f"{TOP}/app/zelkora/resources/ui",
                f"{TOP}/app/zelkora/resources/ui/main_window.ui",
            ]))
            self.assertTrue(members[f"{TOP}/app/zelkora-desk"].mode & members[f"{TOP}/app/zelkora-cli"].mode & 0o111)
            # The delivered files are the project's own, byte for byte.
            for inside, source in ((f"{TOP}/app/zelkora/logging.ini", "src/zelkora/logging.ini"),
                                   (f"{TOP}/app/zelkora/resources/ui/main_window.ui", FORM_RELATIVE)):
                with self.subTest(inside):
                    self.assertEqual(archive.extractfile(inside).read(),
                                     (Path(ARGS.source_dir) / source).read_bytes())

    def test_readme_is_japanese_then_the_same_in_english(self):
        with tarfile.open(the_archive()) as archive:
            check_readme(self, archive.extractfile(f"{TOP}/README.txt").read())

    def test_executable_looks_for_no_library_in_the_build_tree(self):
        with tarfile.open(the_archive()) as archive:
            binary = archive.extractfile(f"{TOP}/app/zelkora-desk").read()
        sandbox = empty_dir("zelkora-elf-")
        self.addCleanup(remove_tree, sandbox)
        (sandbox / "zelkora-desk").write_bytes(binary)
        dynamic = subprocess.run(["readelf", "-d", str(sandbox / "zelkora-desk")],
                                 capture_output=True, text=True, check=True).stdout
        self.assertNotRegex(dynamic, r"\((RPATH|RUNPATH)\)")


class NormalRun(Unpacked):
    def test_starts_from_app_folder_and_logs_beside_it(self):
        scenarios.start_and_close(self, SERVER, self.form, self.app / "zelkora-desk", self.sandbox)
        # The console program beside it, on the same system libraries.
        cli = subprocess.run([str(self.app / "zelkora-cli"), "-l", "12", "-n", "3"], capture_output=True, text=True)
        self.assertEqual((cli.returncode, [len(line) for line in cli.stdout.splitlines()]), (0, [12] * 3))

        log_dir = self.top / "log"
        self.assertEqual(self.log_resource_lines(log_dir), scenarios.packaged_lookup_lines(self.app, self.top))
        self.assertEqual(sorted(p.name for p in log_dir.iterdir()), ["app.log"])  # no probe left
        self.assertFalse((self.app / "log").exists())

    def test_folder_not_named_exactly_app_keeps_the_log_inside_it(self):
        renamed = self.top / "App"
        self.app.rename(renamed)

        scenarios.start_and_close(self, SERVER, self.form, renamed / "zelkora-desk", self.sandbox)

        self.assertEqual(self.log_resource_lines(renamed / "log"), [
            "[resource_path] frozen=True",
            f"[resource_path] bases=[{renamed}, {renamed / 'src'}]",
            scenarios.CANDIDATES_LINE,
            f"[resource_path] hit={renamed / 'zelkora' / 'resources' / 'ui' / 'main_window.ui'}",
        ])
        self.assertFalse((renamed / "log" / ".write_test").exists())
        self.assertFalse((self.top / "log").exists())

    def test_runs_with_the_source_and_build_trees_out_of_sight(self):
        hidden = []
        for tree in sorted({os.path.realpath(ARGS.source_dir), os.path.realpath(ARGS.build_dir)}):
            if not any(Path(tree).is_relative_to(outer) for outer in hidden):
                hidden.append(tree)
        # An empty file system mounted over each tree, in a user and mount namespace of this
        # run's own, which an ordinary user may make too.
        unshare = ["unshare", "--user", "--map-root-user", "--mount", "--propagation", "private"]
        mounts = " && ".join(f'mount -t tmpfs none "${i + 1}"' for i in range(len(hidden)))
        wrapper = [*unshare, "sh", "-c", f'{mounts} && exec "${len(hidden) + 1}"', "sh", *hidden]
        trace = self.sandbox / "file-calls"
        if subprocess.run([*unshare, "true"], capture_output=True).returncode != 0:
            # Under the Debian 13 root's runner, which leaves the command no capability, no
            # namespace can map its root (Linux asks for CAP_SETFCAP): every file system call
            # the program makes is watched instead, and none may reach into the trees.
            wrapper = ["strace", "--daemonize", "--follow-forks", "--quiet=all", "--trace=%file",
                       "--output", str(trace)]

        scenarios.start_and_close(self, SERVER, self.form, self.app / "zelkora-desk", self.sandbox, wrapper)

        self.assertIn(f"[resource_path] hit={self.app / 'zelkora' / 'resources' / 'ui' / 'main_window.ui'}",
                      self.log_resource_lines(self.top / "log"))
        if trace.exists():
            calls = trace.read_text(encoding="utf-8", errors="replace").splitlines()
            self.assertGreater(len(calls), 100)
            self.assertEqual([c for c in calls if any(f'"{tree}/' in c or f'"{tree}"' in c for tree in hidden)], [])

    def test_options_changed_in_one_run_come_back_in_the_next(self):
        scenarios.settings_round_trip(self, SERVER, self.form, self.app / "zelkora-desk", self.sandbox,
                                      read_store)


def _write(path, text):
    path.write_text(text, encoding="utf-8")


# How each package is broken (or, by what it gives back, the environment it starts in),
# and what the start must report: the error's kind, how its message begins, what it holds
# and how it ends ({app} and {top} stand for the folders), and whether log/ had been made.
FAILURES = [
    ("logging.ini missing",
     lambda app, top: (app / "zelkora" / "logging.ini").unlink(),
     "RuntimeError", "", "", "{app}/zelkora/logging.ini", True),
    ("logging.ini sets up nothing",
     lambda app, top: _write(app / "zelkora" / "logging.ini", "# nothing configured here\n"),
     "RuntimeError", "", "{app}/zelkora/logging.ini", "", True),
    ("form missing",
     lambda app, top: (app / "zelkora" / "resources" / "ui" / "main_window.ui").unlink(),
     "FileNotFoundError", ".ui が見つかりません: ", "", "{app}/src/resources/ui/main_window.ui", True),
    ("form is no form",
     lambda app, top: _write(app / "zelkora" / "resources" / "ui" / "main_window.ui", "not a form\n"),
     "RuntimeError", "UI の読み込みに失敗しました", "", "UI の読み込みに失敗しました", True),
    ("form root is a plain QWidget",
     lambda app, top: _write(app / "zelkora" / "resources" / "ui" / "main_window.ui", FORM_WITH_WIDGET_ROOT),
     "TypeError", "main_window.ui のルートは QMainWindow を想定しています", "",
     "main_window.ui のルートは QMainWindow を想定しています", True),
    ("plain file where log/ goes",
     lambda app, top: _write(top / "log", "in the way\n"),
     "OSError", "", "File exists [{top}/log]", "", False),
    # A display number no X server has: Qt would abort, after its English lines.
    ("no display to connect to",
     lambda app, top: {"DISPLAY": ":99999"},
     "RuntimeError", "画面に接続できません: ", "", "DISPLAY=:99999", True),
]


class FailedStart(Unpacked):
    def test_each_failure_ends_with_status_1_and_one_line_naming_it(self):
        for case, break_it, kind, starts, holds, ends, log_made in FAILURES:
            with self.subTest(case):
                self.unpack()
                env = break_it(self.app, self.top)
                paths = {"app": self.app, "top": self.top}
                scenarios.failed_start(self, SERVER, self.app / "zelkora-desk", self.sandbox, self.top,
                                       (kind, starts, holds.format(**paths), ends.format(**paths), log_made),
                                       extra_env=env)
                if case == "form missing":
                    self.assertEqual(self.log_resource_lines(self.top / "log")[-1], "[resource_path] miss")
                if case == "no display to connect to":  # Qt's own words kept, in the log
                    self.assertIn("could not connect to display :99999",
                                  (self.top / "log" / "app.log").read_text(encoding="utf-8"))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--package-dir", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--build-dir", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
