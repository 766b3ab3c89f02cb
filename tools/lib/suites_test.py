#!/usr/bin/env python3
"""Which suites tools/test runs where, as the machine's Wine architectures
decide: both builds' on an ordinary machine, the x64 build standing in where
no 32-bit code runs."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import suites  # noqa: E402


def suite(build, name, *labels):
    return suites.Suite(build, {"name": name, "properties": [{"name": "LABELS", "value": list(labels)}]})


def every_build():
    found = [suite("native", "server_tests")]
    for build in ("win32", "win64"):
        found += [suite(build, "server_tests", "portable"), suite(build, "toolkit_tests", "pointer-width"),
                  suite(build, "update_win_tests", "headless"), suite(build, "executable_format", "no-wine"),
                  suite(build, "hostile_peers_e2e")]
    return found


def names(chosen):
    return [s.full_name for s in chosen]


class ChoiceTest(unittest.TestCase):
    def test_an_ordinary_machine_runs_every_win32_suite_and_the_cheap_win64_ones(self):
        chosen, not_run = suites.select(every_build(), ["32", "64"], [], "")
        self.assertEqual(not_run, [])
        self.assertIn("win32/hostile_peers_e2e", names(chosen))
        self.assertNotIn("win64/hostile_peers_e2e", names(chosen))
        beside = {s.full_name for s in chosen if s.beside}
        self.assertIn("win64/update_win_tests", beside)
        self.assertNotIn("win32/update_win_tests", beside)
        self.assertNotIn("win64/toolkit_tests", beside)
        # The display's stream keeps ctest's order: win32's, then win64's.
        display = [s.full_name for s in chosen if not s.beside]
        self.assertEqual(display, ["win32/toolkit_tests", "win32/update_win_tests", "win32/hostile_peers_e2e",
                                   "win64/toolkit_tests"])

    def test_without_32_bit_code_win64_stands_in_and_win32_is_only_checked_for_its_format(self):
        chosen, not_run = suites.select(every_build(), ["64"], [], "no i386 here")
        self.assertIn("win64/hostile_peers_e2e", names(chosen))
        self.assertEqual([n for n in names(chosen) if n.startswith("win32/")], ["win32/executable_format"])
        self.assertEqual(len(not_run), 4)
        with self.assertRaises(SystemExit) as refused:
            suites.select(every_build(), ["64"], ["win32/hostile_peers_e2e"], "no i386 here")
        self.assertIn("no i386 here", str(refused.exception.code))
        chosen, not_run = suites.select(every_build(), ["64"], ["hostile_peers_e2e"], "no i386 here")
        self.assertEqual((names(chosen), names(not_run)), (["win64/hostile_peers_e2e"], ["win32/hostile_peers_e2e"]))

    def test_a_32_bit_run_names_no_win64_suite(self):
        chosen, _ = suites.select(every_build(), ["32"], [], "")
        self.assertFalse([n for n in names(chosen) if n.startswith("win64/")])


if __name__ == "__main__":
    unittest.main()
