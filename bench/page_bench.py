#!/usr/bin/env python3
"""The rounds of bench/page: headless chromium loads the game-like page
straight from the CDN (nginx behind a relay that adds a round trip), then,
for each client build, through a fresh client (cold: every asset a miss) and
again through the same client (warm: every asset a hit). As the floor of the
page itself, it is also loaded from nginx without the relay: what the
browser's own work (fetching from a local server, checking every digest)
costs on this machine. Prints each load's time as the page measured it
(navigation start to the last asset checked), the medians and the ratios
against the direct load of the same run."""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import SERVER_PORT, Client, port_open, wait_until  # noqa: E402
from gamepage import Cdn, FULL_PAGE_ASSETS, load_page, make_page  # noqa: E402

NGINX_PORT = 12393


def timed_load(url, what):
    """The page's own load time in ms; exits when the page found a fault."""
    report = load_page(url)
    if not report.get("ok"):
        print(f"{what}: the page did not load whole: {report}", flush=True)
        sys.exit(1)
    return report["ms"]


def client_loads(exe, close_window, workdir, url, label):
    """Starts exe in an empty workdir, loads the page through it twice (cold,
    warm) and ends it. Returns (cold ms, warm ms)."""
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    client = Client(exe, close_window, workdir)
    try:
        if not client.wait_until_serving():
            print(f"{label}: the client did not start serving on port {SERVER_PORT}", flush=True)
            sys.exit(1)
        cold = timed_load(url, f"{label} cold")
        warm = timed_load(url, f"{label} warm")
    finally:
        # Killing the Wine process ends the client at once; a player's exit
        # would add Wine's seconds of lingering to every round.
        client.process.kill()
        client.process.wait()
        client.log.close()
        wait_until(lambda: not port_open(SERVER_PORT), 30)
    return cold, warm


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", action="append", required=True, metavar="LABEL=EXE",
                        help="a client build to measure; give it once per build")
    parser.add_argument("--close-window", required=True)
    parser.add_argument("--cdn-port", type=int, required=True, help="the port of the builds' CDN base")
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--rtt-ms", type=float, default=30)
    parser.add_argument("--assets", type=int, default=FULL_PAGE_ASSETS)
    options = parser.parse_args()
    builds = [entry.split("=", 1) for entry in options.build]

    site = os.path.join(options.work, "site")
    shutil.rmtree(options.work, ignore_errors=True)
    files = make_page(site, options.assets)
    size = sum(len(body) for body in files.values())
    print(f"page: {len(files)} files, {size / (1 << 20):.1f} MiB; CDN: nginx behind a relay adding "
          f"{options.rtt_ms:g} ms of round trip; {options.rounds} rounds", flush=True)
    for label, exe in builds:
        print(f"{label}: {exe}", flush=True)

    cdn = Cdn(site, os.path.join(options.work, "cdn"), options.cdn_port, NGINX_PORT, options.rtt_ms / 1000)
    direct_url = f"http://127.0.0.1:{options.cdn_port}/index.html"
    client_url = f"http://127.0.0.1:{SERVER_PORT}/index.html"
    floor_url = f"http://127.0.0.1:{NGINX_PORT}/index.html"
    times = {"direct": [], "floor": []}
    for label, _ in builds:
        times[f"{label} cold"] = []
        times[f"{label} warm"] = []
    try:
        for round_number in range(1, options.rounds + 1):
            times["direct"].append(timed_load(direct_url, "direct"))
            times["floor"].append(timed_load(floor_url, "floor"))
            for label, exe in builds:
                cold, warm = client_loads(exe, options.close_window, os.path.join(options.work, label), client_url,
                                          label)
                times[f"{label} cold"].append(cold)
                times[f"{label} warm"].append(warm)
            print(f"round {round_number}: " + ", ".join(f"{what} {values[-1]:.0f} ms" for what, values in times.items()),
                  flush=True)
    finally:
        cdn.stop()

    direct = statistics.median(times["direct"])
    print()
    print(f"median of {options.rounds} rounds (the page's own time, navigation start to the last asset checked):")
    floor = statistics.median(times["floor"])
    print(f"  {'direct from the CDN':<28} {direct:8.0f} ms")
    print(f"  {'nginx without the relay':<28} {floor:8.0f} ms  (the page's floor)  floor/direct {floor / direct:5.2f}")
    for label, exe in builds:
        cold = statistics.median(times[f"{label} cold"])
        warm = statistics.median(times[f"{label} warm"])
        print(f"  {label:<28} cold {cold:6.0f} ms  "
              f"warm {warm:6.0f} ms  cold/direct {cold / direct:5.2f}  warm/direct {warm / direct:5.2f}")
    labels = [label for label, _ in builds]
    if "old" in labels and "new" in labels:
        ratios = [statistics.median(times[f"new {kind}"]) / statistics.median(times[f"old {kind}"])
                  for kind in ("cold", "warm")]
        print(f"  {'new/old':<28} cold {ratios[0]:6.2f}     warm {ratios[1]:6.2f}")
    return 0


if __name__ == "__main__":
    start = time.monotonic()
    code = main()
    print(f"(bench took {time.monotonic() - start:.0f} s)")
    sys.exit(code)
