#!/usr/bin/env python3
"""The signed self-update for real: a test build of the client that carries
the demo key installs a newer build only when tools/sign-release signed it
with that key for the announced version and file; every other signature or
build is refused, leaving the running build as it was, and so is an older
release replayed with its own genuine signature. The signed install runs
in the same run as the refusals, so no refusal passes merely because
verification always fails."""
import hashlib
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import (Client, LoopbackOrigin, WorkFolderTestCase, close_every_game_window, count_game_windows,  # noqa: E402
                 press_start_exit, read, run_tests, serving_client, update_test_arguments, wait_until)

UPDATE_DIR = "/ruruvir/brightfen/"
VERSION_FILE = UPDATE_DIR + "ver.txt"
EXE = "builds/Quillmoor_106.exe"
NEW_BUILD = UPDATE_DIR + EXE
SIGNATURE = NEW_BUILD + ".sig"


class SignedUpdateTest(WorkFolderTestCase):
    @classmethod
    def setUpClass(cls):
        cls.current = read(cls.options.exe)
        cls.newer = read(cls.options.next)
        cls.signing = os.path.join(cls.options.work, "signing")
        shutil.rmtree(cls.signing, ignore_errors=True)
        subprocess.run([cls.options.sign_release, "--new-key", os.path.join(cls.signing, "other")], check=True,
                       capture_output=True)
        cls.other_key = os.path.join(cls.signing, "other", "update-key.pem")
        cls.signature = cls.sign(cls.newer)

    @classmethod
    def sign(cls, build, key=None, version="1.0.6", name=EXE):
        """The signature file that tools/sign-release writes for build."""
        path = os.path.join(cls.signing, "build.exe")
        with open(path, "wb") as f:
            f.write(build)
        subprocess.run([cls.options.sign_release, key or cls.options.key, path, version, name], check=True,
                       capture_output=True)
        return read(path + ".sig")

    def setUp(self):
        super().setUp()
        self.origin = None

    def tearDown(self):
        close_every_game_window(self.options.close_window)
        if self.origin:
            self.origin.stop()

    def serve(self, build, signature):
        """Announces 1.0.6 with build, its MD5 and the signature reply (None: 404)."""
        text = f"version=1.0.6\r\nmd5={hashlib.md5(build).hexdigest()}\r\nexe={EXE}\r\n".encode()
        replies = {VERSION_FILE: text, NEW_BUILD: build}
        if signature is not None:
            replies[SIGNATURE] = signature
        self.origin = LoopbackOrigin(self.options.port, replies)

    def install(self):
        exe = os.path.join(self.work, "Quillmoor.exe")
        shutil.copyfile(self.options.exe, exe)
        return exe

    def left_behind(self, name):
        return os.path.exists(os.path.join(self.work, name))

    def test_a_signed_build_is_installed_and_restarted(self):
        self.serve(self.newer, self.signature)
        exe = self.install()
        client = Client(exe, self.options.close_window, self.work)
        self.assertTrue(client.wait_for_end())  # no window of its own: it restarts instead
        # The restarted build, the one client left, shows its start window and serves.
        self.assertTrue(wait_until(lambda: count_game_windows(self.options.close_window) == 1))
        self.assertTrue(wait_until(lambda: serving_client() is not None))
        self.assertEqual(read(exe), self.newer)
        self.assertEqual(self.origin.requests, [VERSION_FILE, SIGNATURE, NEW_BUILD])
        self.assertTrue(wait_until(lambda: not self.left_behind("Quillmoor.exe.old")))
        self.assertTrue(close_every_game_window(self.options.close_window))
        self.assertFalse(self.left_behind("Quillmoor.exe.tmp"))

    def test_a_build_without_a_sound_signature_is_refused(self):
        tampered = bytearray(self.newer)
        tampered[len(tampered) // 2] ^= 0xFF
        tampered = bytes(tampered)
        # name: (build served, signature reply, whether the build is downloaded)
        cases = {
            "build changed after signing, MD5 changed to match": (tampered, self.signature, True),
            "no signature file": (self.newer, None, False),
            "404 with the signature as its body": (self.newer, (self.signature, None, 404), False),
            "signed by another key": (self.newer, self.sign(self.newer, key=self.other_key), False),
            "signed for another version": (self.newer, self.sign(self.newer, version="1.0.7"), False),
            "signed for another file": (self.newer, self.sign(self.newer, name="builds/Other.exe"), False),
            "signature file cut": (self.newer, (self.signature[:-30], len(self.signature)), False),
            "signature file over 1 KiB": (self.newer, self.signature + b"#" * 1024, False),
            "garbage": (self.newer, bytes(range(256)) * 2, False),
        }
        for name, (build, signature, downloaded) in cases.items():
            self.serve(build, signature)
            self.assert_refused(name, [VERSION_FILE, SIGNATURE] + [NEW_BUILD] * downloaded)
            self.origin.stop()
            self.origin = None

    def test_a_replayed_older_release_is_refused(self):
        # An older release, as it still sits on the update host with its own
        # genuine signature.
        older = UPDATE_DIR + "builds/Quillmoor_104.exe"
        text = f"version=1.0.4\r\nmd5={hashlib.md5(self.newer).hexdigest()}\r\nexe=builds/Quillmoor_104.exe\r\n"
        self.origin = LoopbackOrigin(self.options.port, {
            VERSION_FILE: text.encode(), older: self.newer,
            older + ".sig": self.sign(self.newer, version="1.0.4", name="builds/Quillmoor_104.exe")})
        self.assert_refused("1.0.4 replayed", [VERSION_FILE])
        # Nor is any release signed under a version that is not dotted
        # decimal numbers.
        build = os.path.join(self.signing, "build.exe")
        refused = subprocess.run([self.options.sign_release, self.options.key, build, "1.0.7-rc1"], capture_output=True)
        self.assertNotEqual(refused.returncode, 0)

    def assert_refused(self, name, requests):
        """A fresh copy of the running build, with an earlier download beside
        it, asks the origin for requests and nothing else, installs nothing
        and leaves neither ".old" nor ".tmp"."""
        exe = self.install()
        with open(os.path.join(self.work, "Quillmoor.exe.tmp"), "wb") as f:
            f.write(b"an earlier download")
        client = Client(exe, self.options.close_window, self.work)
        # The running build goes on to its start window; its exit button
        # then ends it at once.
        self.assertTrue(client.wait_until(lambda: press_start_exit(self.options.close_window)), name)
        self.assertTrue(client.wait_for_end(), name)
        self.assertEqual(read(exe), self.current, name)
        self.assertEqual(self.origin.requests, requests, name)
        self.assertFalse(self.left_behind("Quillmoor.exe.old"), name)
        self.assertFalse(self.left_behind("Quillmoor.exe.tmp"), name)


def main():
    options, rest = update_test_arguments(signed=True).parse_known_args()
    return run_tests(SignedUpdateTest, options, rest)


if __name__ == "__main__":
    sys.exit(main())
