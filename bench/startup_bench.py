#!/usr/bin/env python3
"""The rounds of bench/startup: the time from starting a program under Wine
to its window being on the X display, for each client build (its start
dialog and the start window both shown) and for reference programs under
the same Wine, the first of which is the one-window program the ratios are
taken against. Each program starts in turn in every round, in a fresh
folder; it is killed once measured. Prints the medians and the ratios."""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "testsupport"))
from e2e import SERVER_PORT, WINE_EXEC, port_open, wait_until  # noqa: E402

POLL = 0.005  # seconds between looks at the display
LIMIT = 30  # seconds a program may take to show its windows


def shown_windows(title):
    """How many viewable X windows carry the title."""
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], stdin=subprocess.DEVNULL,
                           capture_output=True, text=True)
    return len(found.stdout.split())


def time_to_show(exe, title, windows, workdir):
    """Starts exe in an empty workdir; the seconds until `windows` windows
    titled `title` are viewable. Ends the program."""
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    with open(os.path.join(workdir, "program.log"), "wb") as log:
        started = time.monotonic()
        program = subprocess.Popen([WINE_EXEC, exe], cwd=workdir, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        try:
            while shown_windows(title) < windows:
                if time.monotonic() - started > LIMIT or program.poll() is not None:
                    sys.exit(f"{exe} showed no {windows} windows titled {title!r} in {LIMIT} s")
                time.sleep(POLL)
            return time.monotonic() - started
        finally:
            program.kill()
            program.wait()
            wait_until(lambda: shown_windows(title) == 0 and not port_open(SERVER_PORT), LIMIT)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", action="append", required=True, metavar="LABEL=EXE",
                        help="a client build to measure; give it once per build")
    parser.add_argument("--reference", action="append", required=True, metavar="LABEL=EXE",
                        help="a program showing one window titled \"One window\"; the first is the yardstick")
    parser.add_argument("--work", required=True)
    parser.add_argument("--rounds", type=int, default=7)
    options = parser.parse_args()
    # Label, program, window title, how many windows make it "shown".
    references = [entry.split("=", 1) for entry in options.reference]
    programs = [(label, exe, "One window", 1) for label, exe in references]
    programs += [(label, exe, "Orlenmark", 2) for label, exe in (entry.split("=", 1) for entry in options.build)]
    for label, exe, _, _ in programs:
        print(f"{label}: {exe}", flush=True)

    times = {label: [] for label, *_ in programs}
    for round_number in range(1, options.rounds + 1):
        for label, exe, title, windows in programs:
            times[label].append(time_to_show(exe, title, windows, os.path.join(options.work, "run")))
        print(f"round {round_number}: " + ", ".join(f"{label} {values[-1] * 1000:.0f} ms"
                                                    for label, values in times.items()), flush=True)

    yardstick = statistics.median(times[references[0][0]])
    print()
    print(f"median of {options.rounds} rounds, from the process start to its windows on the display "
          f"(the client: its start dialog over the start window), and the ratio to {references[0][0]}:")
    for label, *_ in programs:
        median = statistics.median(times[label])
        print(f"  {label:<24} {median * 1000:6.0f} ms  {median / yardstick:6.2f}")
    if "old" in times and "new" in times:
        print(f"  {'new/old':<24} {statistics.median(times['new']) / statistics.median(times['old']):6.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
