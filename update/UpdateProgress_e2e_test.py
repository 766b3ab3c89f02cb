#!/usr/bin/env python3
"""The update as a player sees it: a test build of the client with the demo
key, against a loopback update origin that takes its time. The progress
window shows only while a new build downloads, its bar (read from another
process) rises, and it is gone before the restart or the start window; a
second copy started meanwhile ends without a window of its own and leaves the
port to the restarted build."""
import hashlib
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import (WAIT_LIMIT, Client, LoopbackOrigin, Paced, WorkFolderTestCase, close_every_game_window,  # noqa: E402
                 count_game_windows, press_start_exit, progress_position, read, run_tests, serving_client,
                 update_test_arguments, wait_until)

UPDATE_DIR = "/ruruvir/brightfen/"
VERSION_FILE = UPDATE_DIR + "ver.txt"
EXE = "builds/Quillmoor_106.exe"
NEW_BUILD = UPDATE_DIR + EXE
SIGNATURE = NEW_BUILD + ".sig"
SLOW_BUILD = 6  # seconds for the whole build


def holds(path, content):
    """True when path holds content; a file moved away this moment holds nothing."""
    try:
        return read(path) == content
    except OSError:
        return False


class UpdateProgressTest(WorkFolderTestCase):
    @classmethod
    def setUpClass(cls):
        cls.current = read(cls.options.exe)
        cls.newer = read(cls.options.next)
        signing = os.path.join(cls.options.work, "signing")
        shutil.rmtree(signing, ignore_errors=True)
        os.makedirs(signing)
        build = os.path.join(signing, "build.exe")
        shutil.copyfile(cls.options.next, build)
        subprocess.run([cls.options.sign_release, cls.options.key, build, "1.0.6", EXE], check=True,
                       capture_output=True)
        cls.signature = read(build + ".sig")

    def setUp(self):
        super().setUp()
        self.origin = None
        self.exe = os.path.join(self.work, "Quillmoor.exe")
        shutil.copyfile(self.options.exe, self.exe)

    def tearDown(self):
        close_every_game_window(self.options.close_window)
        if self.origin:
            self.origin.stop()

    def serve(self, version="1.0.6", version_delay=0.0, build=None, build_seconds=SLOW_BUILD, announced=None):
        """Announces version with the newer build (or build) and its MD5."""
        body = build if build is not None else self.newer
        text = f"version={version}\r\nmd5={hashlib.md5(body).hexdigest()}\r\nexe={EXE}\r\n".encode()
        if self.origin:
            self.origin.stop()
        self.origin = LoopbackOrigin(self.options.port, {
            VERSION_FILE: Paced(text, delay=version_delay), SIGNATURE: self.signature,
            NEW_BUILD: Paced(body, seconds=build_seconds, announced=announced)})

    def start(self):
        return Client(self.exe, self.options.close_window, self.work)

    def progress(self):
        return progress_position(self.options.close_window)

    def watch_progress(self, client, until):
        """The bar's positions read while client runs, until until() holds."""
        seen = []
        deadline = time.monotonic() + WAIT_LIMIT
        while client.process.poll() is None and not until() and time.monotonic() < deadline:
            position = self.progress()
            if position is not None:
                seen.append(position)
        return seen

    def assert_restarted_build_serves(self):
        """The restarted build, the only client left, serves the port and shows its start window."""
        self.assertTrue(wait_until(lambda: serving_client() is not None and
                                   count_game_windows(self.options.close_window)))
        self.assertEqual(count_game_windows(self.options.close_window), 1)
        self.assertEqual(read(self.exe), self.newer)

    def test_the_window_shows_the_download_rising_and_is_gone_before_the_restart(self):
        self.serve()
        client = self.start()
        seen = self.watch_progress(client, lambda: holds(self.exe, self.newer))
        # Once the new build is in place, the window is gone for good.
        self.assertIsNone(self.progress())
        self.assertTrue(client.wait_for_end())
        self.assertGreaterEqual(len(seen), 3, seen)
        # The window always answered, its text showing the bar's percentage.
        self.assertTrue(all(position >= 0 for position in seen), seen)
        self.assertEqual(seen, sorted(seen))
        self.assertGreater(seen[-1], seen[0])
        self.assert_restarted_build_serves()

    def test_no_window_without_a_build_download(self):
        # name: (version announced, whether a build is installed)
        cases = {"no update, slow version file": ("1.0.5", False),
                 "an update, slow version file, fast build": ("1.0.6", True)}
        for name, (version, installs) in cases.items():
            shutil.copyfile(self.options.exe, self.exe)
            self.serve(version, version_delay=3, build_seconds=0)
            client = self.start()
            seen = self.watch_progress(client, lambda: count_game_windows(self.options.close_window) > 0)
            self.assertEqual(seen, [], name)
            if installs:
                self.assertTrue(client.wait_for_end(), name)
                self.assert_restarted_build_serves()
                self.assertTrue(close_every_game_window(self.options.close_window), name)
            else:
                self.assertTrue(press_start_exit(self.options.close_window), name)
                self.assertTrue(client.wait_for_end(), name)
                self.assertEqual(read(self.exe), self.current, name)

    def test_the_window_goes_when_the_download_is_cut_or_refused_and_the_start_window_follows(self):
        tampered = bytearray(self.newer)
        tampered[len(tampered) // 2] ^= 0xFF
        cases = {"cut half-way": dict(build=self.newer[:len(self.newer) // 2], build_seconds=SLOW_BUILD / 2,
                                      announced=len(self.newer)),
                 "refused after the download": dict(build=bytes(tampered))}
        for name, serving in cases.items():
            self.serve(**serving)
            client = self.start()
            seen = self.watch_progress(client, lambda: count_game_windows(self.options.close_window) > 0)
            self.assertTrue(seen, name)
            # The start window has come: the progress window went before it.
            self.assertIsNone(self.progress(), name)
            self.assertTrue(press_start_exit(self.options.close_window), name)
            self.assertTrue(client.wait_for_end(), name)
            self.assertEqual(read(self.exe), self.current, name)

    def test_a_second_copy_during_the_update_ends_and_the_restarted_build_serves(self):
        # name: (how long the version file takes, when the second copy starts)
        cases = {"during the version-file check": (3, lambda: VERSION_FILE in self.origin.requests),
                 "during the download": (0, lambda: self.progress() is not None)}
        for name, (version_delay, second_starts) in cases.items():
            shutil.copyfile(self.options.exe, self.exe)
            self.serve(version_delay=version_delay)
            first = self.start()
            self.assertTrue(first.wait_until(second_starts), name)
            second = self.start()
            self.assertTrue(second.wait_for_end(), name)
            self.assertEqual(count_game_windows(self.options.close_window), 0, name)
            self.assertIsNone(first.process.poll(), name)  # the first is still updating
            self.assertTrue(first.wait_for_end(), name)
            self.assert_restarted_build_serves()
            self.assertEqual(self.origin.requests, [VERSION_FILE, SIGNATURE, NEW_BUILD], name)
            self.assertTrue(close_every_game_window(self.options.close_window), name)


def main():
    options, rest = update_test_arguments(signed=True).parse_known_args()
    return run_tests(UpdateProgressTest, options, rest)


if __name__ == "__main__":
    sys.exit(main())
