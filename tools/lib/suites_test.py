#!/usr/bin/env python3
"""Which suites tools/test runs: both builds' on an ordinary machine, the x64
build standing in where no 32-bit code runs."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import suites  # noqa: E402

KINDS = [("server_tests", "portable"), ("toolkit_tests", "pointer-width"), ("update_win_tests", "headless"),
         ("executable_format", "no-wine"), ("hostile_peers_e2e", None)]
EVERY = [suites.Suite(build, {"name": name, "properties": [{"name": "LABELS", "value": [label] if label else []}]})
         for build in ("win32", "win64") for name, label in KINDS]


def names(chosen, beside=None):
    return [s.full_name for s in chosen if beside is None or s.beside == beside]


class ChoiceTest(unittest.TestCase):
    def test_an_ordinary_machine_runs_every_win32_suite_and_the_cheap_win64_ones(self):
        chosen, not_run = suites.select(EVERY, ["32", "64"], [], "")
        self.assertEqual(not_run, [])
        self.assertEqual(names(chosen, beside=False), ["win32/toolkit_tests", "win32/update_win_tests",
                                                       "win32/hostile_peers_e2e", "win64/toolkit_tests"])
        self.assertIn("win64/update_win_tests", names(chosen, beside=True))
        self.assertEqual([n for n in names(suites.select(EVERY, ["32"], [], "")[0]) if "win64" in n], [])

    def test_without_32_bit_code_win64_stands_in_and_win32_is_only_checked_for_its_format(self):
        chosen, not_run = suites.select(EVERY, ["64"], [], "no i386 here")
        self.assertEqual([n for n in names(chosen) if "win32" in n], ["win32/executable_format"])
        self.assertIn("win64/hostile_peers_e2e", names(chosen))
        self.assertEqual(len(not_run), 4)
        with self.assertRaises(SystemExit) as refused:
            suites.select(EVERY, ["64"], ["win32/hostile_peers_e2e"], "no i386 here")
        self.assertIn("no i386 here", str(refused.exception.code))


if __name__ == "__main__":
    unittest.main()
