#!/usr/bin/env python3
"""The client over HTTPS for real: a test build whose update base and asset
CDN base are https://localhost:PORT, against Debian's nginx serving TLS on
that port. Its certificate comes from a test CA that openssl makes in the
set-up and that the private Wine prefix's machine Root store trusts for the
run (trust_root). The signed update installs and a miss is served and
stored; a server whose certificate comes from a CA the prefix does not know
gets nothing through: the miss is a 502 with nothing stored, and no update
is made."""
import hashlib
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import (Client, WorkFolderTestCase, ask_client, close_every_game_window, count_game_windows,  # noqa: E402
                 read, run_tests, serving_client, update_test_arguments, wait_until)
from gamepage import Nginx  # noqa: E402
from tls import TestCertificates, trust_ca  # noqa: E402

UPDATE_DIR = "/ruruvir/brightfen/"
VERSION_FILE = UPDATE_DIR + "ver.txt"
EXE = "builds/Quillmoor_106.exe"
NEW_BUILD = UPDATE_DIR + EXE
SIGNATURE = NEW_BUILD + ".sig"
ASSET = "/res/map/tile.png"


class HttpsTest(WorkFolderTestCase):
    @classmethod
    def setUpClass(cls):
        cls.current = read(cls.options.exe)
        cls.newer = read(cls.options.next)
        cls.asset = os.urandom(150000)
        pki = os.path.join(cls.options.work, "pki")
        shutil.rmtree(pki, ignore_errors=True)
        cls.trusted = TestCertificates(pki, "trusted")
        cls.unknown = TestCertificates(pki, "unknown")
        build = os.path.join(pki, "Quillmoor_106.exe")
        shutil.copyfile(cls.options.next, build)
        subprocess.run([cls.options.sign_release, cls.options.key, build, "1.0.6", EXE], check=True,
                       capture_output=True)
        cls.signature = read(build + ".sig")
        if not trust_ca(cls.options.trust_root, cls.trusted):
            raise RuntimeError("trust_root could not add the test CA to the prefix's Root store")

    @classmethod
    def tearDownClass(cls):
        trust_ca(cls.options.trust_root, cls.trusted, trusted=False)

    def setUp(self):
        super().setUp()
        self.host = None
        self.exe = os.path.join(self.work, "Quillmoor.exe")
        shutil.copyfile(self.options.exe, self.exe)

    def tearDown(self):
        close_every_game_window(self.options.close_window)
        if self.host:
            self.host.stop()

    def serve(self, certificates, version):
        """nginx over TLS with certificates' server certificate, announcing
        version with the newer build and its signature, and holding ASSET."""
        files = {VERSION_FILE: f"version={version}\r\nmd5={hashlib.md5(self.newer).hexdigest()}\r\n"
                               f"exe={EXE}\r\n".encode(),
                 NEW_BUILD: self.newer, SIGNATURE: self.signature, ASSET: self.asset}
        site = os.path.join(self.work, "site")
        for target, body in files.items():
            path = os.path.join(site, target[1:])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(body)
        self.host = Nginx(site, os.path.join(self.work, "nginx"), self.options.port, tls=certificates, log=True)

    def targets(self):
        return [target for _, target in self.host.requests()]

    def cached(self):
        """The asset cache's files: name -> SHA-256 of the bytes (a short
        text to compare, and to print when it differs)."""
        cache = os.path.join(self.work, "vt_cdn", "cdn")
        if not os.path.isdir(cache):
            return {}
        return {name: hashlib.sha256(read(os.path.join(cache, name))).hexdigest() for name in os.listdir(cache)}

    def test_an_update_over_https_installs(self):
        self.serve(self.trusted, "1.0.6")
        client = Client(self.exe, self.options.close_window, self.work)
        self.assertTrue(client.wait_for_end())  # no window of its own: it restarts instead
        # The restarted build, the one client left, shows its start window and serves.
        self.assertTrue(wait_until(lambda: serving_client() is not None and
                                   count_game_windows(self.options.close_window) == 1))
        self.assertEqual(read(self.exe), self.newer)
        self.assertEqual(self.targets(), [VERSION_FILE, SIGNATURE, NEW_BUILD])
        self.assertTrue(close_every_game_window(self.options.close_window))

    def test_a_miss_over_https_is_served_and_stored(self):
        self.serve(self.trusted, "1.0.5")
        client = Client(self.exe, self.options.close_window, self.work)
        self.assertTrue(client.wait_until_serving())
        self.assertEqual(ask_client(ASSET), (200, self.asset))
        # The reply's last byte can go out just before the file is renamed
        # into place.
        stored = {hashlib.md5(ASSET.encode()).hexdigest(): hashlib.sha256(self.asset).hexdigest()}
        self.assertTrue(wait_until(lambda: self.cached() == stored, 10), self.cached())
        self.assertEqual(self.targets(), [VERSION_FILE, ASSET])
        self.assertTrue(client.close())

    def test_a_certificate_from_an_unknown_ca_gets_nothing_through(self):
        self.serve(self.unknown, "1.0.6")
        client = Client(self.exe, self.options.close_window, self.work)
        # No update: the running build goes on to its start window and serves.
        self.assertTrue(client.wait_until_serving())
        self.assertEqual(ask_client(ASSET), (502, b""))
        self.assertEqual(self.cached(), {})
        self.assertTrue(client.close())
        self.assertEqual(self.targets(), [])
        self.assertEqual(read(self.exe), self.current)
        for name in ("Quillmoor.exe.tmp", "Quillmoor.exe.old"):
            self.assertFalse(os.path.exists(os.path.join(self.work, name)), name)


def main():
    parser = update_test_arguments(signed=True)
    parser.add_argument("--trust-root", required=True, help="the tool that makes the prefix trust a test CA")
    options, rest = parser.parse_known_args()
    return run_tests(HttpsTest, options, rest)


if __name__ == "__main__":
    sys.exit(main())
