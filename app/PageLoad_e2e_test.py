#!/usr/bin/env python3
"""The game-like page in a real browser (Debian's chromium, headless) through
Quillmoor.exe under Wine: every asset arrives byte for byte, cold and warm,
and the disk cache then holds every file the page asked for."""
import hashlib
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import SERVER_PORT, Client, WorkFolderTestCase, client_test_arguments, run_client_tests  # noqa: E402
from gamepage import Cdn, load_page, make_page  # noqa: E402

NGINX_PORT = 12393
ASSETS = 40  # a smaller page than the benchmark's, with every tier of sizes


class PageLoadTest(WorkFolderTestCase):
    def test_the_page_loads_through_the_client_byte_for_byte_cold_and_warm(self):
        site = os.path.join(self.work, "site")
        files = make_page(site, ASSETS)
        checked_assets = len(files) - 2  # all but the page and the manifest
        asset_bytes = sum(len(body) for target, body in files.items() if target not in ("/index.html",
                                                                                            "/manifest.json"))
        cdn = Cdn(site, os.path.join(self.work, "cdn"), self.options.cdn_port, NGINX_PORT, rtt=0)
        client = None
        try:
            # Straight from the CDN, with one asset changed there: the page's
            # own check finds exactly that one.
            changed = next(target for target in files if target.endswith(".res"))
            with open(os.path.join(site, changed[1:]), "wb") as f:
                f.write(files[changed][::-1])
            report = load_page(f"http://127.0.0.1:{self.options.cdn_port}/index.html")
            self.assertEqual((report.get("ok"), report.get("failed"), report.get("checked")),
                             (False, [changed[1:]], checked_assets - 1), report)
            with open(os.path.join(site, changed[1:]), "wb") as f:
                f.write(files[changed])

            client = Client(self.options.exe, self.options.close_window, self.work)
            self.assertTrue(client.wait_until_serving())
            through_client = f"http://127.0.0.1:{SERVER_PORT}/index.html"
            cold = load_page(through_client)
            self.assertEqual((cold.get("ok"), cold.get("checked"), cold.get("bytes")),
                             (True, checked_assets, asset_bytes), cold)

            # One cache file per target, named by the MD5 of the target, once stored.
            cache = os.path.join(self.work, "vt_cdn", "cdn")
            expected = {hashlib.md5(target.encode()).hexdigest(): body for target, body in files.items()}
            client.wait_until(lambda: sorted(os.listdir(cache)) == sorted(expected))
            self.assertEqual(sorted(os.listdir(cache)), sorted(expected))
            for name, body in expected.items():
                with open(os.path.join(cache, name), "rb") as f:
                    self.assertTrue(f.read() == body, name)

            # Warm: the CDN is gone, and the page still loads whole.
            cdn.stop()
            cdn = None
            warm = load_page(through_client)
            self.assertEqual((warm.get("ok"), warm.get("checked"), warm.get("bytes")),
                             (True, checked_assets, asset_bytes), warm)
        finally:
            if cdn:
                cdn.stop()
            if client:
                self.assertTrue(client.close())


def main():
    return run_client_tests(PageLoadTest, client_test_arguments())


if __name__ == "__main__":
    sys.exit(main())
