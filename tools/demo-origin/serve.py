#!/usr/bin/env python3
"""The demo origin: a stand-in, on 127.0.0.1, for the update host, the game
page host and the asset CDN, so that the whole client runs offline.

  /ruruvir/brightfen/ver.txt            the version file, made for the build given
  /ruruvir/brightfen/Quillmoor.exe      that build
  /ruruvir/brightfen/Quillmoor.exe.sig  its signature file, signed with --key
  /wd/tov/index.htm                 the start and game page
  anything else                     a file under site/, as the asset CDN would

A client with the demo key installs the build only when --version is newer
than its own by the numbers (1.0.6 over 1.0.5); an older one announced, as in
a replay of an old release, goes no further than "ver.txt".

It stops by itself after --lifetime seconds (default: one hour). With --slow
the build takes about five seconds to arrive, as over a slow line, so the
client's update progress window can be seen.
"""
import argparse
import hashlib
import http.server
import os
import shutil
import subprocess
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SITE = os.path.join(HERE, "site")
SIGN_RELEASE = os.path.join(os.path.dirname(HERE), "sign-release")
UPDATE_DIR = "/ruruvir/brightfen/"


def version_file(version, build):
    digest = hashlib.md5(open(build, "rb").read()).hexdigest() if build else "0" * 32
    return f"version={version}\r\nmd5={digest}\r\nexe=Quillmoor.exe\r\n".encode("ascii")


def signature_file(version, build, key):
    """The signature file of build for version, as tools/sign-release writes
    it; None, and says why, when it refuses to sign that version."""
    with tempfile.TemporaryDirectory() as folder:
        copy = os.path.join(folder, "Quillmoor.exe")
        shutil.copyfile(build, copy)
        signing = subprocess.run([SIGN_RELEASE, key, copy, version], capture_output=True, text=True)
        if signing.returncode != 0:
            print(f"{signing.stderr.strip()}; the build is served without a signature", flush=True)
            return None
        with open(copy + ".sig", "rb") as f:
            return f.read()


SLOW_BUILD_SECONDS = 5
SLOW_PIECES = 100


def make_handler(version, build, signature, slow):
    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=SITE, **kwargs)

        def do_GET(self):
            path = self.path.split("?", 1)[0]
            if path == UPDATE_DIR + "ver.txt":
                return self.reply(version_file(version, build), "text/plain")
            if path == UPDATE_DIR + "Quillmoor.exe" and build:
                return self.reply(open(build, "rb").read(), "application/octet-stream",
                                  SLOW_BUILD_SECONDS if slow else 0)
            if path == UPDATE_DIR + "Quillmoor.exe.sig" and signature:
                return self.reply(signature, "text/plain")
            return super().do_GET()

        def reply(self, body, content_type, seconds=0):
            """Sends body, spread over `seconds` when that is not 0."""
            self.send_response(200)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if not seconds:
                self.wfile.write(body)
                return
            piece = -(-len(body) // SLOW_PIECES)
            for start in range(0, len(body), piece):
                self.wfile.write(body[start:start + piece])
                self.wfile.flush()
                time.sleep(seconds / SLOW_PIECES)

        def log_message(self, format, *args):
            if not self.server.quiet:
                super().log_message(format, *args)

    return Handler


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--port", type=int, default=12320)
    parser.add_argument("--version", default="1.0.5", help="version announced in ver.txt")
    parser.add_argument("--build", help="the Quillmoor.exe offered as the new build")
    parser.add_argument("--key", help="the private key (PEM) that signs the build")
    parser.add_argument("--lifetime", type=float, default=3600, help="seconds before it stops by itself")
    parser.add_argument("--slow", action="store_true", help=f"send the build over about {SLOW_BUILD_SECONDS} s")
    parser.add_argument("--quiet", action="store_true")
    args = parser.parse_args()

    signature = signature_file(args.version, args.build, args.key) if args.build and args.key else None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port),
                                             make_handler(args.version, args.build, signature, args.slow))
    server.quiet = args.quiet
    threading.Timer(args.lifetime, server.shutdown).start()
    print(f"demo origin on http://127.0.0.1:{args.port}/ announcing {args.version}", flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
