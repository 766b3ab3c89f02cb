#!/usr/bin/env python3
"""The page areas of the real client under Wine, read from another process:
the game window's browser host and the browser's own window follow every
layout pass (in the work-area state, after "reset window", and after the
window is sized from outside), and the start dialog's browser fills its
place."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import (GAME_WINDOW_TITLE, WINE_EXEC, Client, WorkFolderTestCase, client_test_arguments,  # noqa: E402
                 run_client_tests)


class BrowserHostTest(WorkFolderTestCase):
    def close_window(self, *args):
        """close_window's exit code for args and the title."""
        return subprocess.run([WINE_EXEC, self.options.close_window, *args, GAME_WINDOW_TITLE],
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode

    def rects(self):
        """name -> (left, top, width, height, client width, client height),
        or None for a window that is not there; through a file."""
        out = os.path.join(self.work, "rects.txt")
        with open(out, "wb") as f:
            subprocess.run([WINE_EXEC, self.options.close_window, "--rects", GAME_WINDOW_TITLE],
                           stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.DEVNULL)
        found = {}
        with open(out) as f:
            for line in f:
                name, *values = line.split()
                found[name] = tuple(int(v) for v in values) if values != ["none"] else None
        return found

    def game_window_is(self, width, height):
        window = self.rects().get("game-window")
        return window is not None and window[2:4] == (width, height)

    def assert_page_area_fills_the_game_window(self, state):
        rects = self.rects()
        _, _, _, _, width, height = rects["game-window"]
        limited = min(height, rects["full-screen-height"][0] + 26)
        host = rects["game-host"]
        self.assertEqual(host[:4], (3, 29, width - 6, limited - 32), state)
        # The browser's window fills the host's client area, left of its scroll bar.
        self.assertEqual(rects["game-browser"], (0, 0) + host[4:] * 2, state)

    def test_the_page_area_follows_the_game_window_and_the_start_page_keeps_its_place(self):
        client = Client(self.options.exe, self.options.close_window, self.work)
        try:
            self.assertTrue(client.wait_until(lambda: self.rects().get("start-browser")))
            rects = self.rects()
            place = rects["start-host"]
            self.assertEqual(place[2:4], place[4:])  # a plain static control: no frame, no scroll bar
            self.assertEqual(rects["start-browser"], (0, 0) + place[2:4] * 2)

            self.assertEqual(self.close_window("--go-on"), 0)
            self.assertTrue(client.wait_until(lambda: self.rects().get("game-host")))
            self.assert_page_area_fills_the_game_window("work area")
            self.assertEqual(self.close_window("--reset"), 0)
            self.assert_page_area_fills_the_game_window("reset")
            self.assertEqual(self.close_window("--reset"), 0)
            self.assert_page_area_fills_the_game_window("work area again")
            for width, height in ((1000, 700), (1300, 760)):
                self.assertEqual(self.close_window("--size", f"{width}x{height}"), 0)
                self.assertTrue(client.wait_until(lambda: self.game_window_is(width, height)))
                self.assert_page_area_fills_the_game_window(f"{width}x{height}")
        finally:
            self.assertTrue(client.close())


def main():
    return run_client_tests(BrowserHostTest, client_test_arguments())


if __name__ == "__main__":
    sys.exit(main())
