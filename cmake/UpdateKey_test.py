#!/usr/bin/env python3
"""Configuring with the update key in either form, the release build's
refusal of the demo settings and its warning for plain http:// bases: real
configures of the native build, each in a folder of its own."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import unittest

RELEASE_HOSTS = ["-DQUILLMOOR_UPDATE_BASE=http://updates.example/ruruvir/brightfen/",
                 "-DQUILLMOOR_CDN_BASE=http://cdn.example", "-DQUILLMOOR_GAME_HOST=game.example"]


class UpdateKeyConfigureTest(unittest.TestCase):
    options = None

    @classmethod
    def setUpClass(cls):
        shutil.rmtree(cls.options.work, ignore_errors=True)
        os.makedirs(cls.options.work)
        sign_release = os.path.join(cls.options.source, "tools", "sign-release")
        cls.key_dir = os.path.join(cls.options.work, "key")
        cls.key_hex = subprocess.run([sign_release, "--new-key", cls.key_dir], check=True, capture_output=True,
                                     text=True).stdout.strip()
        cls.runs = 0

    def configure(self, *settings):
        """(exit code, output with its lines joined, compiled key text or None)
        of one configure."""
        UpdateKeyConfigureTest.runs += 1
        folder = os.path.join(self.options.work, f"build{self.runs}")
        result = subprocess.run(["cmake", "-S", self.options.source, "-B", folder, "-G", "Ninja",
                                 "-DCMAKE_C_COMPILER=clang", "-DCMAKE_CXX_COMPILER=clang++", *settings],
                                capture_output=True, text=True)
        key = None
        header = os.path.join(folder, "generated", "BuildConfig.h")
        if os.path.exists(header):
            with open(header) as f:
                key = re.search(r'QUILLMOOR_UPDATE_KEY_A "(.*)"', f.read()).group(1)
        return result.returncode, " ".join((result.stdout + result.stderr).split()), key

    def test_a_release_build_refuses_the_demo_defaults_and_a_missing_key_and_warns_of_plain_http(self):
        code, output, _ = self.configure("-DQUILLMOOR_RELEASE=ON")
        self.assertNotEqual(code, 0)
        for problem in ("QUILLMOOR_UPDATE_KEY is the demo key", "QUILLMOOR_UPDATE_BASE is the demo origin",
                        "QUILLMOOR_CDN_BASE is the demo origin", "QUILLMOOR_GAME_HOST is the demo origin"):
            self.assertIn(problem, output)

        code, output, _ = self.configure("-DQUILLMOOR_RELEASE=ON", "-DQUILLMOOR_UPDATE_KEY=", *RELEASE_HOSTS)
        self.assertNotEqual(code, 0)
        self.assertIn("QUILLMOOR_UPDATE_KEY is empty", output)

        code, output, key = self.configure("-DQUILLMOOR_RELEASE=ON", f"-DQUILLMOOR_UPDATE_KEY={self.key_hex}",
                                           *RELEASE_HOSTS)
        self.assertEqual(code, 0, output)
        self.assertEqual(key, self.key_hex)
        for setting in ("QUILLMOOR_UPDATE_BASE", "QUILLMOOR_CDN_BASE"):
            self.assertIn(f"{setting} is plain http://", output)

        # Bases over HTTPS (in any letter case) warn of nothing.
        https_hosts = [setting.replace("=http://", "=HTTPS://") for setting in RELEASE_HOSTS]
        code, output, _ = self.configure("-DQUILLMOOR_RELEASE=ON", f"-DQUILLMOOR_UPDATE_KEY={self.key_hex}",
                                         *https_hosts)
        self.assertEqual(code, 0, output)
        self.assertNotIn("plain http://", output)

    def test_the_key_as_a_pem_file_or_as_hex_digits_compiles_to_the_same_hex(self):
        pem = os.path.join(self.key_dir, "update-key.pub.pem")
        for setting in (pem, self.key_hex.upper()):
            code, output, key = self.configure(f"-DQUILLMOOR_UPDATE_KEY={setting}")
            self.assertEqual(code, 0, output)
            self.assertEqual(key, self.key_hex, setting)

        code, output, key = self.configure("-DQUILLMOOR_UPDATE_KEY=")
        self.assertEqual((code, key), (0, ""), output)

        off_curve = self.key_hex[64:] + self.key_hex[:64]  # X and Y swapped
        for bad in (off_curve, self.key_hex[:-1], os.path.join(self.key_dir, "missing.pem")):
            code, output, _ = self.configure(f"-DQUILLMOOR_UPDATE_KEY={bad}")
            self.assertNotEqual(code, 0, bad)
            self.assertIn("QUILLMOOR_UPDATE_KEY:", output, bad)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    options, rest = parser.parse_known_args()
    UpdateKeyConfigureTest.options = options
    program = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
