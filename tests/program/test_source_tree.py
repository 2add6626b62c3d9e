#!/usr/bin/python3
"""The program built in the build tree, run where it was built: source-tree mode."""

import argparse
import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import scenarios  # noqa: E402
from xsession import (FORM_RELATIVE, Form, XServer, contains_run, empty_dir, read_store,  # noqa: E402
                      remove_tree, resource_lines)

ARGS = None


def setUpModule():
    global SERVER
    SERVER = XServer()


def tearDownModule():
    SERVER.close()


class SourceTreeRun(unittest.TestCase):
    def setUp(self):
        self.root = Path(os.path.realpath(ARGS.project_root))
        self.form = Form(self.root / FORM_RELATIVE)
        self.sandbox = empty_dir("zelkora-source-tree-")
        self.addCleanup(remove_tree, self.sandbox)

    def test_starts_logs_its_resource_lookup_and_exits_0_when_closed(self):
        log_file = self.root / "log" / "app.log"
        # The project's log is shared with every other run from this tree: look only at
        # what this run appends.
        start = log_file.stat().st_size if log_file.exists() else 0

        scenarios.start_and_close(self, SERVER, self.form, ARGS.executable, self.sandbox)

        with open(log_file, "rb") as log:
            log.seek(start)
            appended = resource_lines(log.read().decode("utf-8"))
        # Another program run from this tree may write to the same log meanwhile: look
        # for this run's four lines as one block among what was appended.
        expected = [
            "[resource_path] frozen=False",
            f"[resource_path] bases=[{self.root}, {self.root / 'app'}]",
            scenarios.CANDIDATES_LINE,
            f"[resource_path] hit={self.root / FORM_RELATIVE}",
        ]
        self.assertTrue(contains_run(appended, expected), f"appended: {appended}")
        self.assertFalse((self.root / "log" / ".write_test").exists())

    def test_options_changed_in_one_run_come_back_in_the_next(self):
        scenarios.settings_round_trip(self, SERVER, self.form, ARGS.executable, self.sandbox, read_store)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--executable", required=True)
    parser.add_argument("--project-root", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
