#!/usr/bin/env python3
"""The self-update for real: a test build of the client, pointed at a loopback
update origin, finds a newer build announced, downloads it, verifies it, swaps
it in and restarts it with "re_open"; and every way this must not happen."""
import hashlib
import os
import shutil
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import (Client, LoopbackOrigin, WorkFolderTestCase, close_every_game_window, count_game_windows,  # noqa: E402
                 read, run_tests, serving_client, update_test_arguments, wait_until)

UPDATE_DIR = "/ruruvir/brightfen/"
VERSION_FILE = UPDATE_DIR + "ver.txt"
NEW_BUILD = UPDATE_DIR + "builds/Quillmoor_106.exe"


class SelfUpdateTest(WorkFolderTestCase):
    def setUp(self):
        super().setUp()
        self.current = read(self.options.exe)
        self.newer = read(self.options.next)
        self.origin = None

    def tearDown(self):
        close_every_game_window(self.options.close_window)
        if self.origin:
            self.origin.stop()

    def serve(self, version, digest=None, build=None):
        """Announces `version` with the newer build (or `build`) and its digest."""
        body = build if build is not None else self.newer
        text = f"version={version}\r\nmd5={digest or hashlib.md5(self.newer).hexdigest()}\r\n" \
               f"exe=builds/Quillmoor_106.exe\r\n".encode()
        self.origin = LoopbackOrigin(self.options.port, {VERSION_FILE: text, NEW_BUILD: body})

    def install(self, folder):
        os.makedirs(folder, exist_ok=True)
        exe = os.path.join(folder, "Quillmoor.exe")
        shutil.copyfile(self.options.exe, exe)
        return exe

    def start(self, exe, workdir, *args):
        return Client(exe, self.options.close_window, workdir, *args)

    def assert_runs_on_unchanged(self, client, exe):
        """The running build stays: its window comes, and it ends cleanly."""
        self.assertTrue(client.wait_until_serving())
        self.assertTrue(client.close())
        self.assertEqual(read(exe), self.current)

    def assert_restarted_build_serves(self):
        """The restarted build, the one client left, shows its start window
        and serves the port."""
        self.assertTrue(wait_until(lambda: count_game_windows(self.options.close_window) == 1))
        self.assertTrue(wait_until(lambda: serving_client() is not None))

    def test_a_newer_build_is_installed_and_restarted(self):
        self.serve("1.0.6")
        exe = self.install(self.work)
        client = self.start(exe, self.work)
        self.assertTrue(client.wait_for_end())  # no window of its own: it restarts instead
        self.assert_restarted_build_serves()
        self.assertEqual(read(exe), self.newer)
        self.assertEqual(self.origin.requests, [VERSION_FILE, NEW_BUILD])
        # The restarted build removes the old one and, started with re_open,
        # checks nothing.
        self.assertTrue(wait_until(lambda: not os.path.exists(os.path.join(self.work, "Quillmoor.exe.old"))))
        self.assertTrue(close_every_game_window(self.options.close_window))
        self.assertEqual(self.origin.requests, [VERSION_FILE, NEW_BUILD])
        self.assertFalse(os.path.exists(os.path.join(self.work, "Quillmoor.exe.tmp")))

    def test_the_same_version_or_one_beginning_with_it_asks_for_no_build(self):
        for version in ("1.0.5", "1.0.50"):
            self.serve(version)
            exe = self.install(self.work)
            self.assert_runs_on_unchanged(self.start(exe, self.work), exe)
            self.assertEqual(self.origin.requests, [VERSION_FILE], version)
            self.origin.stop()
            self.origin = None

    def test_a_bad_download_leaves_everything_as_it_was(self):
        cases = {"digest mismatch": dict(digest="0" * 32),
                 "cut download": dict(build=(self.newer[:100000], len(self.newer)))}
        for name, bad in cases.items():
            self.serve("1.0.6", **bad)
            exe = self.install(self.work)
            self.assert_runs_on_unchanged(self.start(exe, self.work), exe)
            self.assertEqual(self.origin.requests, [VERSION_FILE, NEW_BUILD], name)
            self.assertFalse(os.path.exists(os.path.join(self.work, "Quillmoor.exe.old")), name)
            self.assertFalse(os.path.exists(os.path.join(self.work, "Quillmoor.exe.tmp")), name)
            self.origin.stop()
            self.origin = None

    def test_a_second_instance_and_a_restart_make_no_check(self):
        self.serve("1.0.5")
        exe = self.install(self.work)
        first = self.start(exe, self.work)
        self.assertTrue(first.wait_until_serving())
        second = self.start(exe, self.work)
        # Its game window comes after the point where it would have checked.
        self.assertTrue(second.wait_until(lambda: count_game_windows(self.options.close_window) == 2))
        self.assertEqual(self.origin.requests, [VERSION_FILE])
        self.assertTrue(close_every_game_window(self.options.close_window))
        self.assertTrue(second.wait_for_end() and first.wait_for_end())

        relaunched = self.start(exe, self.work, "re_open")
        self.assertTrue(relaunched.wait_until_serving())
        self.assertTrue(relaunched.close())
        self.assertEqual(self.origin.requests, [VERSION_FILE])

    def test_the_build_is_installed_in_a_current_directory_with_blanks(self):
        self.serve("1.0.6")
        exe = self.install(os.path.join(self.work, "program"))
        here = os.path.join(self.work, "Orlenmark Games", "client dir")
        os.makedirs(here)
        client = self.start(exe, here)
        self.assertTrue(client.wait_for_end())
        self.assert_restarted_build_serves()
        self.assertFalse(os.path.exists(exe))  # moved away as the old build
        self.assertEqual(read(os.path.join(here, "Quillmoor.exe")), self.newer)
        self.assertTrue(wait_until(lambda: not os.path.exists(os.path.join(here, "Quillmoor.exe.old"))))
        self.assertTrue(close_every_game_window(self.options.close_window))
        self.assertEqual(self.origin.requests, [VERSION_FILE, NEW_BUILD])

    def test_a_failed_install_puts_the_running_build_back(self):
        self.serve("1.0.6")
        exe = self.install(os.path.join(self.work, "program"))
        here = os.path.join(self.work, "elsewhere")
        os.makedirs(here)
        taken = os.path.join(here, "Quillmoor.exe")
        with open(taken, "wb") as f:
            f.write(b"a file that holds the name")
        client = self.start(exe, here)
        self.assertTrue(client.wait_until_serving())  # no restart: the old build runs on
        self.assertTrue(client.close())
        self.assertEqual(read(exe), self.current)
        self.assertEqual(read(taken), b"a file that holds the name")
        self.assertFalse(os.path.exists(os.path.join(here, "Quillmoor.exe.old")))
        self.assertEqual(read(os.path.join(here, "Quillmoor.exe.tmp")), self.newer)


def main():
    options, rest = update_test_arguments(signed=False).parse_known_args()
    return run_tests(SelfUpdateTest, options, rest)


if __name__ == "__main__":
    sys.exit(main())
