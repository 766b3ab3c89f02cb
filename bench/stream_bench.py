#!/usr/bin/env python3
"""The rounds of bench/stream: curl asks each client build for misses, and
the same assets straight from the CDN, in the same run:
- a 64 MiB asset from Debian's nginx on loopback: the whole time, through the
  client, through the bare pass-through (the floor of a miss), straight from
  nginx, and as one bare WinINet GET into a file under the same Wine (best
  of the rounds of each);
- a 16 MiB asset that the CDN trickles over 4 s: the first byte and the whole
  through the client, against the same straight from the CDN (medians);
- a CDN that accepts and never answers: when the client's reply comes, and
  its status (once per build).
Each build runs in a fresh client of its own, killed after its turn."""
import argparse
import os
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import SERVER_PORT, asset_server_answers, WINE_EXEC, Client, LoopbackOrigin, Paced, port_open, wait_until  # noqa: E402
from gamepage import Nginx  # noqa: E402

LARGE = 64 << 20
TRICKLED = 16 << 20
TRICKLE_SECONDS = 4.0


def curl(url, limit=180):
    """(seconds to the first byte, seconds in all, HTTP status) of one GET."""
    out = subprocess.run(["curl", "-s", "-o", "/dev/null", "--max-time", str(limit), "-w",
                          "%{time_starttransfer} %{time_total} %{http_code}", url],
                         capture_output=True, text=True).stdout.split()
    return float(out[0]), float(out[1]), int(out[2])


class Trickled:
    """Any /trickled.bin target: 16 MiB, its head at once, the body over 4 s."""

    def __init__(self):
        self.body = os.urandom(TRICKLED)

    def get(self, target):
        return Paced(self.body, seconds=TRICKLE_SECONDS) if target.startswith("/trickled.bin") else None


class SilentHost:
    """Accepts connections on port and never answers."""

    def __init__(self, port):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", port))
        self.listener.listen(64)
        self.peers = []
        threading.Thread(target=self.hold, daemon=True).start()

    def hold(self):
        while True:
            try:
                self.peers.append(self.listener.accept()[0])
            except OSError:
                return

    def stop(self):
        self.listener.close()
        for peer in self.peers:
            peer.close()


def bare_get(exe, url, path, rounds):
    """The best of rounds bare WinINet GETs of url into the file at path, in
    seconds, run under Wine by the pass-through's get mode."""
    out = subprocess.run([WINE_EXEC, exe, "get", url, path, str(rounds)], capture_output=True, text=True)
    if out.returncode != 0:
        sys.exit(f"the bare GET failed: {out.stderr.strip()}")
    return float(out.stdout.split()[-1]) / 1000


def with_client(exe, close_window, workdir, measure, *args):
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    client = Client(exe, close_window, workdir, *args)
    try:
        # The pass-through is not a client: that its server answers is enough.
        if not (client.wait_until(asset_server_answers) if args else client.wait_until_serving()):
            sys.exit(f"{exe}: the client did not start serving")
        return measure()
    finally:
        client.process.kill()
        client.process.wait()
        client.log.close()
        wait_until(lambda: not port_open(SERVER_PORT), 30)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", action="append", required=True, metavar="LABEL=EXE")
    parser.add_argument("--close-window", required=True)
    parser.add_argument("--cdn-port", type=int, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--pass-through", required=True, help="the bare pass-through (bench/PassThrough.cpp)")
    options = parser.parse_args()
    builds = [entry.split("=", 1) for entry in options.build]
    shutil.rmtree(options.work, ignore_errors=True)
    site = os.path.join(options.work, "site")
    os.makedirs(site)
    with open(os.path.join(site, "large.bin"), "wb") as f:
        f.write(os.urandom(LARGE))
    cdn = f"http://127.0.0.1:{options.cdn_port}"
    client = f"http://127.0.0.1:{SERVER_PORT}"
    serial = iter(range(1 << 30))

    nginx = Nginx(site, os.path.join(options.work, "nginx"), options.cdn_port)
    try:
        # Each 64 MiB miss is stored (written and flushed) after its reply:
        # every measurement begins with the disk's writeback done, and the
        # builds take turns in an order that alternates, so that none meets
        # what the one before it left to the disk.
        into = "Z:" + os.path.join(options.work, "bare-get.bin").replace("/", "\\")  # Wine's Z: is the root
        takers = builds + [("pass-through", options.pass_through)]
        large = {label: [] for label, _ in takers}
        direct, bare = [], []
        for round_number in range(options.rounds):
            for label, exe in takers if round_number % 2 == 0 else takers[::-1]:
                args = ("serve", cdn) if label == "pass-through" else ()
                os.sync()
                large[label].append(with_client(exe, options.close_window, os.path.join(options.work, f"large-{label}"),
                                                lambda: curl(f"{client}/large.bin?r={next(serial)}")[1], *args))
            os.sync()
            direct.append(curl(f"{cdn}/large.bin?r={next(serial)}")[1])
            os.sync()
            bare.append(bare_get(options.pass_through, f"{cdn}/large.bin?r={next(serial)}", into, 1))
        large = {label: min(times) for label, times in large.items()}
        passed, direct, bare = large.pop("pass-through"), min(direct), min(bare)
    finally:
        nginx.stop()
    print(f"64 MiB miss from nginx on loopback, best of {options.rounds} (each in a fresh client): curl straight {direct * 1000:.0f} ms, "
          f"one bare WinINet GET into a file {bare * 1000:.0f} ms, through the bare pass-through {passed * 1000:.0f} ms "
          f"({passed / bare:.2f}x the bare GET)")
    for label, _ in builds:
        print(f"  {label}: {large[label] * 1000:.0f} ms, {large[label] / direct:.2f}x curl straight, "
              f"{large[label] / passed:.2f}x the pass-through, {large[label] / bare:.2f}x the bare GET")

    origin = LoopbackOrigin(options.cdn_port, Trickled())
    try:
        straight = [curl(f"{cdn}/trickled.bin?r={next(serial)}") for _ in range(options.rounds)]
        trickled = {label: with_client(exe, options.close_window, os.path.join(options.work, f"trickle-{label}"),
                                       lambda: [curl(f"{client}/trickled.bin?r={next(serial)}")
                                                for _ in range(options.rounds)])
                    for label, exe in builds}
    finally:
        origin.stop()
    first = statistics.median(t[0] for t in straight)
    whole = statistics.median(t[1] for t in straight)
    print(f"16 MiB miss trickled over {TRICKLE_SECONDS:g} s, medians of {options.rounds}: straight from the CDN "
          f"first byte {first:.3f} s, whole {whole:.3f} s")
    for label, _ in builds:
        f = statistics.median(t[0] for t in trickled[label])
        w = statistics.median(t[1] for t in trickled[label])
        print(f"  {label}: first byte {f:.3f} s ({f - first:+.3f} s), whole {w:.3f} s ({w - whole:+.3f} s)")

    silent = SilentHost(options.cdn_port)
    try:
        answers = {label: with_client(exe, options.close_window, os.path.join(options.work, f"silent-{label}"),
                                      lambda: curl(f"{client}/stalled.png?r={next(serial)}"))
                   for label, exe in builds}
    finally:
        silent.stop()
    print("a CDN that accepts and never answers:")
    for label, _ in builds:
        print(f"  {label}: {answers[label][2]} after {answers[label][1]:.1f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
