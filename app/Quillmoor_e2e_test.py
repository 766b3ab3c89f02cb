#!/usr/bin/env python3
"""Whole runs of Quillmoor.exe under Wine: clean starts and ends, the
"delfile" form, and the asset server on port 12315 used by real clients (curl
and Python's http.client) against a loopback origin that stands in for the
asset CDN."""
import hashlib
import http.client
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import (GAME_WINDOW_TITLE, SERVER_PORT, WAIT_LIMIT, Client as RunningClient, LoopbackOrigin,  # noqa: E402
                 WorkFolderTestCase, client_test_arguments, close_every_game_window, count_game_windows, port_open,
                 press_start_exit, run_client_tests, stacked_depths, wait_until, windows_path)


class QuillmoorTest(WorkFolderTestCase):
    def setUp(self):
        super().setUp()

    def start(self, *args, workdir=None):
        return RunningClient(self.options.exe, self.options.close_window, workdir or self.work, *args)

    def test_starts_and_ends_cleanly(self):
        for args in ((), ("re_open",)):
            client = self.start(*args)
            self.assertTrue(client.wait_until_serving())
            self.assertTrue(client.close(), args)

    def test_delfile_removes_the_path_after_the_last_equals(self):
        victim = os.path.join(self.work, "victim.txt")
        keeper = os.path.join(self.work, "keeper.txt")
        for path in (victim, keeper):
            with open(path, "w") as f:
                f.write("x")
        client = self.start("delfile=C:\\nowhere\\x=victim.txt")
        self.assertTrue(client.wait_until_serving())
        self.assertTrue(client.close())
        self.assertFalse(os.path.exists(victim))
        self.assertTrue(os.path.exists(keeper))

        client = self.start("delfile", windows_path(keeper))  # no "=": nothing to delete
        self.assertTrue(client.wait_until_serving())
        self.assertTrue(client.close())
        self.assertTrue(os.path.exists(keeper))

    def test_asset_server_with_real_clients(self):
        bodies = {"/res/map.png": os.urandom(200000), "/res/a.js?v=1": b"var a = 1;", "/res/b.css": b"body{}"}
        cdn = LoopbackOrigin(self.options.cdn_port, bodies)
        client = self.start()
        try:
            self.assertTrue(client.wait_until_serving())
            base = f"http://127.0.0.1:{SERVER_PORT}"

            # curl, one connection kept alive across two transfers.
            out = os.path.join(self.work, "curl")
            result = subprocess.run(
                ["curl", "-s", "-H", "Connection: Keep-Alive", "-w", "%{http_code} %{num_connects}\\n",
                 "-o", out + "1", base + "/res/map.png", "-o", out + "2", base + "/res/a.js?v=1"],
                capture_output=True, text=True, timeout=WAIT_LIMIT)
            self.assertEqual(result.stdout.split("\n")[:2], ["200 1", "200 0"])
            with open(out + "1", "rb") as f:
                self.assertEqual(f.read(), bodies["/res/map.png"])

            # curl without keep-alive: the server closes after the reply.
            result = subprocess.run(["curl", "-s", "-i", base + "/res/b.css"], capture_output=True, timeout=WAIT_LIMIT)
            self.assertIn(b"\r\nConnection: close\r\n", result.stdout)
            self.assertIn(b"\r\nContent-Type: text/css\r\n", result.stdout)
            self.assertTrue(result.stdout.endswith(b"\r\n\r\nbody{}"))

            # Python's http.client, keep-alive, then a miss the CDN answers 404.
            connection = http.client.HTTPConnection("127.0.0.1", SERVER_PORT, timeout=WAIT_LIMIT)
            connection.request("GET", "/res/a.js?v=1", headers={"Connection": "Keep-Alive"})
            reply = connection.getresponse()
            self.assertEqual((reply.status, reply.read()), (200, b"var a = 1;"))
            self.assertEqual(reply.getheader("Server"), "KelvadroWebServer/0.1b")
            connection.request("GET", "/res/none.png", headers={"Connection": "Keep-Alive"})
            reply = connection.getresponse()
            self.assertEqual((reply.status, reply.read()), (404, b"missing"))
            connection.close()

            # Stored under the MD5 of the exact target once the misses pause,
            # and served from there once the CDN is gone.
            cache = os.path.join(self.work, "vt_cdn", "cdn")
            stored = [os.path.join(cache, hashlib.md5(target.encode()).hexdigest()) for target in bodies]
            self.assertTrue(wait_until(lambda: all(map(os.path.exists, stored))))
            for target, body in bodies.items():
                with open(os.path.join(cache, hashlib.md5(target.encode()).hexdigest()), "rb") as f:
                    self.assertEqual(f.read(), body)
            self.assertFalse(os.path.exists(os.path.join(cache, hashlib.md5(b"/res/none.png").hexdigest())))
            cdn.stop()
            cdn = None
            result = subprocess.run(["curl", "-s", base + "/res/map.png"], capture_output=True, timeout=WAIT_LIMIT)
            self.assertEqual(result.stdout, bodies["/res/map.png"])
        finally:
            if cdn:
                cdn.stop()
            self.assertTrue(client.close())

    def test_a_second_copy_runs_beside_the_first(self):
        first = self.start()
        self.assertTrue(first.wait_until_serving())
        second_dir = os.path.join(self.work, "second")
        os.makedirs(second_dir)
        second = self.start(workdir=second_dir)
        # Its server finds the port taken and gives up; the copy shows its own
        # start window.
        self.assertTrue(second.wait_until(lambda: count_game_windows(self.options.close_window) == 2))
        # Either window may be the one left first: both go, and both copies end.
        self.assertTrue(close_every_game_window(self.options.close_window))
        self.assertTrue(second.wait_for_end() and first.wait_for_end())

    def test_the_start_dialog_shows_over_the_start_window_and_its_exit_button_ends_the_process(self):
        client = self.start()
        self.assertTrue(client.wait_until_serving())  # the server's threads run
        self.assertTrue(client.wait_until(lambda: count_game_windows(self.options.close_window) == 1))
        # On the display, the start dialog lies over the start window's picture.
        self.assertTrue(client.wait_until(lambda: len(stacked_depths(GAME_WINDOW_TITLE)) == 2))
        self.assertEqual(stacked_depths(GAME_WINDOW_TITLE), [24, 32])
        self.assertTrue(press_start_exit(self.options.close_window))
        self.assertTrue(client.wait_for_end())
        self.assertEqual(count_game_windows(self.options.close_window), 0)
        self.assertTrue(wait_until(lambda: not port_open(SERVER_PORT)))


def main():
    return run_client_tests(QuillmoorTest, client_test_arguments())


if __name__ == "__main__":
    sys.exit(main())
