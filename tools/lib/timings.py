"""Where the time of a test run goes: the wall time and the CPU time of each
suite and of each end-to-end test case, so that a case that waits instead of
working is found in one run.

The CPU time of a piece of work is what the processes it started and waited
for used (the kernel's account of reaped children), plus what Wine's own
processes of the run's prefix used meanwhile: wineserver, explorer.exe and
the services live through the whole run and are nobody's child, yet they do
much of a Windows program's work. Only the Windows suites use them, and those
run one at a time, so that share is theirs.

Records are JSON lines appended to the file named by QUILLMOOR_TIMINGS;
nothing is recorded when it is unset. `python3 timings.py FILE` prints them
as a table."""
import json
import os
import resource
import sys
import time

_TICKS = os.sysconf("SC_CLK_TCK")


def _reaped_children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def _own_cpu():
    usage = resource.getrusage(resource.RUSAGE_SELF)
    return usage.ru_utime + usage.ru_stime


def _descendants_of(pid, parents):
    """The process ids below pid in parents (pid -> parent pid)."""
    children = {}
    for child, parent in parents.items():
        children.setdefault(parent, []).append(child)
    found, pending = set(), [pid]
    while pending:
        for child in children.get(pending.pop(), ()):
            if child not in found:
                found.add(child)
                pending.append(child)
    return found


def wine_session_cpu(prefix=None):
    """pid -> CPU seconds so far of the processes of Wine prefix `prefix`
    (default: $WINEPREFIX) that are not descendants of this process: their
    share would be counted again when this process reaps them."""
    prefix = prefix or os.environ.get("WINEPREFIX")
    if not prefix:
        return {}
    marker = b"WINEPREFIX=" + prefix.encode()
    parents, cpu = {}, {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as f:
                fields = f.read().rsplit(b")", 1)[1].split()
            parents[int(entry)] = int(fields[1])
            with open(f"/proc/{entry}/environ", "rb") as f:
                if marker not in f.read().split(b"\0"):
                    continue
        except (OSError, IndexError, ValueError):
            continue
        cpu[int(entry)] = (int(fields[11]) + int(fields[12])) / _TICKS
    for mine in _descendants_of(os.getpid(), parents):
        cpu.pop(mine, None)
    return cpu


class Meter:
    """Measures one piece of work from its construction to stop()."""

    def __init__(self, include_self=False, prefix=None):
        """prefix: the Wine prefix whose shared processes' CPU counts
        (default: $WINEPREFIX)."""
        self.include_self = include_self
        self.prefix = prefix
        self.wall = time.monotonic()
        self.cpu = self._own_side()
        self.wine = wine_session_cpu(prefix)

    def _own_side(self):
        return _reaped_children_cpu() + (_own_cpu() if self.include_self else 0.0)

    def stop(self):
        """(wall seconds, CPU seconds) since construction."""
        wall = time.monotonic() - self.wall
        cpu = self._own_side() - self.cpu
        for pid, used in wine_session_cpu(self.prefix).items():
            cpu += used - self.wine.get(pid, 0.0)
        return wall, cpu


def record(kind, name, wall, cpu, **extra):
    """Appends one record to $QUILLMOOR_TIMINGS, when it is set."""
    path = os.environ.get("QUILLMOOR_TIMINGS")
    if not path:
        return
    entry = dict(kind=kind, name=name, wall=round(wall, 2), cpu=round(cpu, 2), **extra)
    with open(path, "a") as f:
        f.write(json.dumps(entry) + "\n")


def timed_result_class(base, script):
    """A unittest result class, derived from base, that records the wall and
    CPU time of each test case of script."""

    class TimedResult(base):
        def startTest(self, test):
            self._meter = Meter(include_self=True)
            super().startTest(test)

        def stopTest(self, test):
            super().stopTest(test)
            wall, cpu = self._meter.stop()
            record("case", test.id().split(".")[-1], wall, cpu, script=script)

    return TimedResult


def report(path, out=sys.stdout):
    """Prints the records of path: the suites, slowest first, each followed
    by its end-to-end cases, slowest first."""
    with open(path) as f:
        entries = [json.loads(line) for line in f if line.strip()]
    suites = [e for e in entries if e["kind"] == "suite"]
    cases = [e for e in entries if e["kind"] == "case"]
    other = [e for e in entries if e["kind"] not in ("suite", "case")]
    out.write(f"{'':4}{'wall s':>8} {'cpu s':>8}  {'cpu/wall':>8}  name\n")

    def line(entry, indent):
        share = entry["cpu"] / entry["wall"] if entry["wall"] > 0 else 0.0
        out.write(f"{'':{indent}}{entry['wall']:8.1f} {entry['cpu']:8.1f}  {share:8.2f}  {entry['name']}\n")

    for entry in other:
        line(entry, 4)
    for suite in sorted(suites, key=lambda e: -e["wall"]):
        line(suite, 4)
        script = suite.get("script")
        for case in sorted((c for c in cases if script and c.get("script") == script), key=lambda c: -c["wall"]):
            line(case, 8)
    if suites:
        total_wall = sum(e["wall"] for e in suites)
        total_cpu = sum(e["cpu"] for e in suites)
        out.write(f"{'':4}{total_wall:8.1f} {total_cpu:8.1f}  {'':8}  all suites one after the other\n")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: timings.py FILE")
    report(sys.argv[1])
