#!/usr/bin/env python3
"""The start window of the real client under Wine as it shows on the screen:
its picture is clear outside its rounded frame, so the desktop shows through
its four corners, and covers the desktop inside it."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import (Client, WorkFolderTestCase, client_test_arguments, press_start_exit, run_client_tests,  # noqa: E402
                 window_rects)

# The corners of the picture that lie outside the frame's arcs.
CORNER_WIDTH, CORNER_HEIGHT = 30, 26


class StartWindowTest(WorkFolderTestCase):
    def start_window(self):
        """The start window's (left, top, width, height) on the screen, or
        None before it has its picture's size."""
        window = window_rects(self.options.close_window, self.work).get("start-window")
        return window[:4] if window and window[2] > 100 else None

    def screen(self, name):
        path = os.path.join(self.work, name + ".png")
        subprocess.run(["import", "-window", "root", path], stdin=subprocess.DEVNULL, check=True)
        return path

    @staticmethod
    def pixels(path, left, top, width, height):
        return subprocess.run(["convert", path, "-crop", f"{width}x{height}+{left}+{top}", "+repage", "rgb:-"],
                              stdin=subprocess.DEVNULL, capture_output=True, check=True).stdout

    def test_the_desktop_shows_through_the_corners_and_not_through_the_panel(self):
        # A desktop that is not black, so that what shows there is the desktop.
        subprocess.run(["display", "-window", "root", "pattern:checkerboard"], stdin=subprocess.DEVNULL)
        desktop = self.screen("desktop")
        client = Client(self.options.exe, self.options.close_window, self.work)
        try:
            self.assertTrue(client.wait_until(lambda: self.start_window() is not None))
            left, top, width, height = self.start_window()
            centre = (left + width // 2 - 20, top + height // 2 - 20, 40, 40)
            # On once the picture is drawn over the middle of the window.
            self.assertTrue(client.wait_until(
                lambda: self.pixels(self.screen("start"), *centre) != self.pixels(desktop, *centre)))
            shown = self.screen("start")
            for x in (left, left + width - CORNER_WIDTH):
                for y in (top, top + height - CORNER_HEIGHT):
                    corner = (x, y, CORNER_WIDTH, CORNER_HEIGHT)
                    self.assertEqual(self.pixels(shown, *corner), self.pixels(desktop, *corner), corner)
            self.assertTrue(press_start_exit(self.options.close_window))
            self.assertTrue(client.wait_for_end())
        finally:
            subprocess.run(["display", "-window", "root", "xc:black"], stdin=subprocess.DEVNULL)
            if client.process.poll() is None:
                client.process.kill()
                client.process.wait()


def main():
    return run_client_tests(StartWindowTest, client_test_arguments())


if __name__ == "__main__":
    sys.exit(main())
