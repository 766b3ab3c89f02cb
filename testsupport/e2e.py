"""Helpers for end-to-end tests that run the real client under Wine: start it
in a folder of its own, wait for it, and end it as a player would. Every wait
is bounded; none is an assertion on time."""
import argparse
import hashlib
import http.client
import http.server
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools", "lib"))
import timings  # noqa: E402
WINE_EXEC = os.path.join(ROOT, "tools", "wine-exec")
SERVER_PORT = 12315
WAIT_LIMIT = 90  # seconds
GAME_WINDOW_TITLE = "Orlenmark"
SERVER_HEADER = b"Server: KelvadroWebServer/0.1b"


class Paced:
    """A reply that takes its time: its head after `delay` seconds, then its
    body in pieces spread over `seconds`. `announced` as for LoopbackOrigin's
    tuples (a longer one cuts the reply short)."""

    PIECES = 100

    def __init__(self, body, seconds=0.0, delay=0.0, announced=None):
        self.body, self.seconds, self.delay, self.announced = body, seconds, delay, announced


class LoopbackOrigin:
    """An HTTP origin on 127.0.0.1:port answering each target (path and query)
    from `replies`: path -> body, (body, announced_length) for a reply cut
    short (None: the body's own length), (body, announced_length, status), or
    a Paced reply. Unknown paths get 404. It records the targets it was asked
    for (as they arrive) and stops with stop(), or by itself after its
    lifetime."""

    def __init__(self, port, replies, lifetime=600):
        self.requests = []
        self.replies = replies
        origin = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                origin.requests.append(self.path)
                reply = origin.replies.get(self.path)
                paced = reply if isinstance(reply, Paced) else Paced(b"")
                if reply is None:
                    body, announced, status = b"missing", None, 404
                elif isinstance(reply, Paced):
                    body, announced, status = reply.body, reply.announced, 200
                else:
                    body, announced, status = (reply + (200,))[:3] if isinstance(reply, tuple) else (reply, None, 200)
                time.sleep(paced.delay)
                self.send_response(status)
                self.send_header("Content-Length", str(announced if announced is not None else len(body)))
                self.send_header("Connection", "close")
                self.end_headers()
                self.close_connection = True
                try:
                    if not paced.seconds:
                        self.wfile.write(body)
                        return
                    piece = -(-len(body) // Paced.PIECES)
                    for start in range(0, len(body), piece):
                        self.wfile.write(body[start:start + piece])
                        self.wfile.flush()
                        time.sleep(paced.seconds / Paced.PIECES)
                except OSError:
                    pass  # the client gave up

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.server.daemon_threads = True
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.timer = threading.Timer(lifetime, self.stop)
        self.timer.daemon = True
        self.timer.start()

    def stop(self):
        self.timer.cancel()
        self.server.shutdown()
        self.server.server_close()


def port_open(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def asset_server_answers():
    """True when a client's asset server answers on port 12315, not merely
    some program that listens there: a target without its leading "/" is
    refused at once, before any cache file or CDN, with the server's own
    name in the reply."""
    try:
        with socket.create_connection(("127.0.0.1", SERVER_PORT), timeout=5) as peer:
            peer.settimeout(5)
            peer.sendall(b"GET probe HTTP/1.0\r\n\r\n")
            reply = b""
            while b"\r\n\r\n" not in reply:
                piece = peer.recv(4096)
                if not piece:
                    break
                reply += piece
    except OSError:
        return False
    head = reply.split(b"\r\n\r\n")[0].split(b"\r\n")
    return head[0].startswith(b"HTTP/1.0 400 ") and SERVER_HEADER in head[1:]


def ask_client(target, timeout=WAIT_LIMIT):
    """One GET of target from the client's asset server on port 12315, on a
    new connection: (status, body)."""
    connection = http.client.HTTPConnection("127.0.0.1", SERVER_PORT, timeout=timeout)
    try:
        connection.request("GET", target)
        reply = connection.getresponse()
        return reply.status, reply.read()
    finally:
        connection.close()


def running_clients():
    """The process ids of the clients (Quillmoor*.exe) running in this Wine
    prefix, restarted builds included, whatever their folder. Under Wine a
    program keeps the process id of the wine command that started it."""
    prefix = b"WINEPREFIX=" + os.environ["WINEPREFIX"].encode()
    found = set()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                program = f.read().split(b"\0")[0]
            with open(f"/proc/{entry}/environ", "rb") as f:
                environment = f.read().split(b"\0")
        except OSError:
            continue
        if re.search(rb"(^|[/\\])quillmoor\w*\.exe$", program, re.I) and prefix in environment:
            found.add(int(entry))
    return found


def serving_client():
    """The process id of the client whose asset server answers on port 12315,
    or None: it is known when exactly one client runs in this prefix."""
    clients = running_clients()
    if len(clients) != 1 or not asset_server_answers():
        return None
    # Still the same single client after the answer.
    return next(iter(clients)) if running_clients() == clients else None


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def wait_until(condition, limit=WAIT_LIMIT):
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.2)
    return False


def close_game_window(close_tool):
    """Asks one game window to close; True when there was one."""
    return subprocess.run([WINE_EXEC, close_tool, GAME_WINDOW_TITLE], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def count_game_windows(close_tool):
    """How many clients show a start dialog or a game window."""
    return subprocess.run([WINE_EXEC, close_tool, "--count", GAME_WINDOW_TITLE], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def press_start_exit(close_tool):
    """Presses the exit button of one start dialog; True when there was one."""
    return subprocess.run([WINE_EXEC, close_tool, "--exit-start", GAME_WINDOW_TITLE], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def progress_position(close_tool):
    """The position of the shown update progress window's bar, None when no
    such window is shown, -1 when its text does not show that percentage, -2
    when the window does not answer."""
    code = subprocess.run([WINE_EXEC, close_tool, "--progress", GAME_WINDOW_TITLE], stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    return {0: None, 255: -1, 254: -2}.get(code, code - 1)


def stacked_depths(title):
    """The colour depths of the viewable X windows titled title, the top-most
    first (xwininfo lists a window's children from the top down). Under Wine
    the start window, with its per-pixel alpha picture, is a 32-bit window;
    the start dialog over it has the screen's 24 bits."""
    tree = subprocess.run(["xwininfo", "-root", "-children"], stdin=subprocess.DEVNULL, capture_output=True,
                          text=True).stdout
    depths = []
    for window in re.findall(r'^\s+(0x[0-9a-f]+) "' + re.escape(title) + '"', tree, re.M):
        info = subprocess.run(["xwininfo", "-id", window], stdin=subprocess.DEVNULL, capture_output=True,
                              text=True).stdout
        depth = re.search(r"Depth: (\d+)", info)
        if "IsViewable" in info and depth:
            depths.append(int(depth.group(1)))
    return depths


def close_every_game_window(close_tool):
    """Closes game windows until none is left (for processes that are not
    our children, such as a restarted build)."""
    return wait_until(lambda: not close_game_window(close_tool) and not port_open(SERVER_PORT))


class Client:
    """A client executable running under Wine with workdir as its current
    directory. Its output goes to a file: Wine's helpers could otherwise hold
    a pipe open for ever."""

    def __init__(self, exe, close_tool, workdir, *args):
        self.close_tool = close_tool
        self.log = open(os.path.join(workdir, "client.log"), "ab")
        self.process = subprocess.Popen([WINE_EXEC, exe, *args], cwd=workdir, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=self.log)

    def wait_until(self, condition):
        """Waits, while the process runs, until condition() holds."""
        deadline = time.monotonic() + WAIT_LIMIT
        while time.monotonic() < deadline and self.process.poll() is None:
            if condition():
                return True
            time.sleep(0.2)
        return False

    def wait_until_serving(self):
        """Waits until this process is the client whose asset server answers
        on port 12315."""
        return self.wait_until(lambda: serving_client() == self.process.pid)

    def wait_for_end(self):
        """Waits for the process to end by itself; True when it did."""
        try:
            self.process.wait(WAIT_LIMIT)
        except subprocess.TimeoutExpired:
            return False
        self.log.close()
        return True

    def close(self):
        """Leaves game windows as the player would (the exit command, then OK)
        until this process has ended. True when a game window went that way
        and the process then ended by itself; False when no game window was
        there to leave, or the process had to be killed."""
        left_a_window = False
        deadline = time.monotonic() + WAIT_LIMIT
        while self.process.poll() is None and time.monotonic() < deadline:
            left_a_window = close_game_window(self.close_tool) or left_a_window
            try:
                self.process.wait(1)
            except subprocess.TimeoutExpired:
                pass
        ended = self.process.poll() is not None
        if not ended:
            self.process.kill()
            self.process.wait()
        self.log.close()
        return left_a_window and ended


def read(path):
    """The bytes of the file at path."""
    with open(path, "rb") as f:
        return f.read()


def brief(value):
    """value as a short text: bytes longer than a line as their length and
    digest, wherever they sit in tuples, lists and dicts."""
    if isinstance(value, (bytes, bytearray)) and len(value) > 64:
        return f"<{len(value)} bytes, sha256 {hashlib.sha256(value).hexdigest()[:16]}>"
    if isinstance(value, (tuple, list)):
        items = ", ".join(brief(item) for item in value)
        return f"({items})" if isinstance(value, tuple) else f"[{items}]"
    if isinstance(value, dict):
        return "{" + ", ".join(f"{brief(k)}: {brief(v)}" for k, v in value.items()) + "}"
    return repr(value)


class WorkFolderTestCase(unittest.TestCase):
    """Gives each test an empty folder of its own, self.work, under the
    options' work folder. Unequal bodies of assets fail at once with their
    lengths and digests: unittest's own diff of two large byte strings takes
    longer than any test may."""
    options = None

    def setUp(self):
        self.work = os.path.join(self.options.work, self.id().split(".")[-1])
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)
        for kind in (bytes, tuple, list, dict):
            self.addTypeEqualityFunc(kind, self.assert_briefly_equal)

    def assert_briefly_equal(self, first, second, msg=None):
        if first != second:
            self.fail(self._formatMessage(msg, f"{brief(first)} != {brief(second)}"))


def client_test_arguments():
    """The command line of the tests that run a client against the loopback
    CDN: the client, close_window, the generated BuildConfig.h and a work
    folder. A test adds its own arguments."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True)
    parser.add_argument("--close-window", required=True)
    parser.add_argument("--config", required=True, help="the generated BuildConfig.h")
    parser.add_argument("--work", required=True)
    return parser


def run_client_tests(test_class, parser):
    """Runs test_class's cases with options.cdn_port read from the asset CDN
    base in BuildConfig.h; 1, and says so, when that base is not a loopback
    address."""
    options, rest = parser.parse_known_args()
    cdn = re.search(r'#define QUILLMOOR_CDN_BASE_A "http://127\.0\.0\.1:(\d+)"', open(options.config).read())
    if not cdn:
        print("the asset CDN base is not a loopback address; the end-to-end tests need one")
        return 1
    options.cdn_port = int(cdn.group(1))
    return run_tests(test_class, options, rest)


def update_test_arguments(signed):
    """The command line of the update tests: the client built against the test
    origin, the newer build, and for a signed update the demo key and the
    signing tool."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--exe", required=True, help="the client built against the test origin")
    parser.add_argument("--next", required=True, help="the newer build it should install")
    if signed:
        parser.add_argument("--key", required=True, help="the demo private key")
        parser.add_argument("--sign-release", required=True, help="tools/sign-release")
    parser.add_argument("--close-window", required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--work", required=True)
    return parser


def run_tests(test_class, options, rest):
    """Runs test_class's cases, which find options as test_class.options; the
    process's exit code: 0 when every case passed."""
    test_class.options = options
    result_class = timings.timed_result_class(unittest.TextTestResult, os.path.basename(sys.argv[0]))
    program = unittest.main(argv=[sys.argv[0], "-v", *rest], exit=False,
                            testRunner=unittest.TextTestRunner(resultclass=result_class, verbosity=2))
    return 0 if program.result.wasSuccessful() else 1
