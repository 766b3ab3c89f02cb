#!/usr/bin/env python3
"""The rounds of bench/misses: the game-like page loaded cold through each
build (fresh, empty cache) and through the bare pass-through, in the same
rounds, as bench/page loads it. Each build's asset server logs every miss
(miss-breakdown.tsv in its folder: the length, the moments after the
request in microseconds, the file work); the means per miss are printed
side by side."""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from page_bench import client_loads, spread  # noqa: E402
from gamepage import Cdn, FULL_PAGE_ASSETS, make_page  # noqa: E402
from e2e import SERVER_PORT  # noqa: E402

NGINX_PORT = 12393
LOG = "miss-breakdown.tsv"
MARKS = ("queued", "fetch began", "CDN head", "head ready", "last read", "last sent", "stored", "bytes read",
         "first sent")
FILE_WORK = ("create", "write", "flush and rename", "read back")
# What is printed: a name and the span of a miss (a function of its moments
# and file work, in microseconds).
ROWS = (
    ("request's bytes read to taken", lambda m: m["bytes read"]),
    ("request to head sent", lambda m: m["head ready"]),
    ("  head made to first send done", lambda m: m["first sent"] - m["head ready"]),
    ("head to last byte sent", lambda m: m["last sent"] - m["head ready"]),
    ("  lookup, file, hand-off", lambda m: m["queued"]),
    ("  waiting for a fetch thread", lambda m: m["fetch began"] - m["queued"]),
    ("  WinINet, to the CDN's head", lambda m: m["CDN head"] - m["fetch began"]),
    ("  CDN head to reply head", lambda m: m["head ready"] - m["CDN head"]),
    ("  last byte read to sent", lambda m: m["last sent"] - m["last read"]),
    ("  stored after last read", lambda m: m["stored"] - m["last read"]),
    ("file: create", lambda m: m["create"]),
    ("file: write", lambda m: m["write"]),
    ("file: flush and rename", lambda m: m["flush and rename"]),
    ("file: read back", lambda m: m["read back"]),
)


def misses(path):
    """The misses of a log: dicts of their length, moments and file work;
    a moment never noted is left out, and so is one an older build does not
    note (its lines have fewer moments)."""
    found = []
    with open(path) as f:
        for line in f:
            values = [int(v) for v in line.split("\t")]
            moments = len(values) - 1 - len(FILE_WORK)
            miss = {"length": values[0]}
            miss.update({k: v for k, v in zip(MARKS, values[1:1 + moments]) if v >= 0})
            miss.update(zip(FILE_WORK, values[1 + moments:]))
            found.append(miss)
    return found


def settled(path, quiet_s=1.0, limit_s=30):
    """Waits until the log at path has not grown for quiet_s: a small miss is
    stored, and logged, only once the misses pause, after the load."""
    size, since, began = -1, time.monotonic(), time.monotonic()
    while time.monotonic() - began < limit_s:
        now = os.path.getsize(path) if os.path.exists(path) else 0
        if now != size:
            size, since = now, time.monotonic()
        elif time.monotonic() - since >= quiet_s:
            return
        time.sleep(0.1)


def mean_ms(span, found):
    """The mean of span over the misses that have its moments, in ms."""
    values = []
    for miss in found:
        try:
            values.append(span(miss))
        except KeyError:
            pass
    return statistics.mean(values) / 1000 if values else float("nan")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", action="append", required=True, metavar="LABEL=EXE")
    parser.add_argument("--pass-through", required=True)
    parser.add_argument("--close-window", required=True)
    parser.add_argument("--cdn-port", type=int, required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--rtt-ms", type=float, default=30)
    parser.add_argument("--assets", type=int, default=FULL_PAGE_ASSETS)
    options = parser.parse_args()
    builds = [entry.split("=", 1) for entry in options.build]
    shutil.rmtree(options.work, ignore_errors=True)
    files = make_page(os.path.join(options.work, "site"), options.assets)
    print(f"page: {len(files)} files, {sum(len(b) for b in files.values()) / (1 << 20):.1f} MiB; "
          f"{options.rounds} rounds", flush=True)
    cdn = Cdn(os.path.join(options.work, "site"), os.path.join(options.work, "cdn"), options.cdn_port, NGINX_PORT,
              options.rtt_ms / 1000, log=True)
    url = f"http://127.0.0.1:{SERVER_PORT}/index.html"
    times = {label: [] for label, _ in builds + [("pass-through", None)]}
    logged = {label: [] for label, _ in builds}
    try:
        for round_number in range(1, options.rounds + 1):
            workdir = os.path.join(options.work, "pass-through")
            times["pass-through"].append(client_loads(options.pass_through, options.close_window, workdir, url,
                                                      "pass-through", cdn, "serve",
                                                      f"http://127.0.0.1:{options.cdn_port}", warm=False,
                                                      bare=True)[0])
            for label, exe in builds:
                workdir = os.path.join(options.work, label)
                log = os.path.join(workdir, LOG)
                times[label].append(client_loads(exe, options.close_window, workdir, url, label, cdn, warm=False,
                                                 settle=lambda: settled(log))[0])
                logged[label] += misses(log)
            print(f"round {round_number}: " + ", ".join(f"{label} {values[-1]:.0f} ms"
                                                      for label, values in times.items()), flush=True)
    finally:
        cdn.stop()
    print()
    print(f"cold loads, median of {options.rounds} rounds:")
    for label, values in times.items():
        print(f"  {label:<14} {statistics.median(values):6.0f} ms  {spread(values)}")
    labels = [label for label, _ in builds]
    print("per miss, mean ms over every miss of every round:")
    print(f"  {'':<30}" + "".join(f"{label:>10}" for label in labels))
    print(f"  {'misses':<30}" + "".join(f"{len(logged[label]):>10}" for label in labels))
    for name, span in ROWS:
        print(f"  {name:<30}" + "".join(f"{mean_ms(span, logged[label]):10.2f}" for label in labels))
    return 0


if __name__ == "__main__":
    sys.exit(main())
