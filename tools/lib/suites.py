#!/usr/bin/env python3
"""Runs the CTest entries ("suites") of the native and the Windows builds,
each with a ctest of its own so that it can be chosen by name and timed.

Two streams run at once. The Windows stream holds every suite that needs the
display, the desktop or the fixed ports (the client's 12315 and the test
origins): those run one after the other. The other stream holds what shares
none of them: the native suites, the fuzz targets, and the Windows builds of
the portable suites, which run under Wine but open no window and no socket.
The Windows stream mostly waits for Wine and for the clients it drives, so
the other stream's work fits into its waits.

There are two Windows builds: win32, the product, and win64, the same
sources as x86-64. Where 32-bit code runs (--arches "32 64"), every win32
suite runs, and of win64 by default only what shows 64-bit breakage cheaply:
its portable and headless suites beside the display, its window toolkit's
and game window's ("pointer-width") in the display stream after the win32
ones. Where it cannot (--arches 64), every win64 suite stands in, and of
win32 only what needs no Wine (its format check) runs; naming any other
win32 suite is an error that says why.

Each suite's ctest output goes to build/ctest-<build>-<name>.log; it is
printed when the suite fails. Exit code 0 when every suite passed."""
import argparse
import fnmatch
import json
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import timings  # noqa: E402

CTEST_TIMEOUT = 600  # seconds a suite may take before ctest ends it
# Labels of the suites that may run beside the Windows stream.
BESIDE_LABELS = {"fuzz", "portable", "no-wine"}
# Labels of the win64 suites that run where both builds are tested.
BOTH_ARCHES_WIN64_LABELS = {"portable", "headless", "pointer-width", "no-wine"}


class Suite:
    def __init__(self, build, test):
        self.build = build  # "native", "win32" or "win64"
        self.name = test["name"]
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        self.labels = set(properties.get("LABELS", []))
        self.fixture_setup = set(properties.get("FIXTURES_SETUP", []))
        self.fixtures_required = set(properties.get("FIXTURES_REQUIRED", []))
        command = test.get("command", [])
        scripts = [os.path.basename(part) for part in command if part.endswith(".py")]
        self.script = scripts[0] if scripts else None
        # The build's own executables it runs or hands a script: the targets
        # it needs built.
        self.targets = {os.path.basename(part)[:-4] for part in command if part.endswith(".exe")}
        self.passed = self.failed = 0
        self.ok = False

    @property
    def full_name(self):
        return f"{self.build}/{self.name}"

    beside_headless = False  # set for win64 where both Windows builds are tested

    @property
    def beside(self):
        return (self.build == "native" or bool(self.labels & BESIDE_LABELS) or
                (self.beside_headless and "headless" in self.labels))

    @property
    def needs_wine(self):
        return self.build != "native" and "no-wine" not in self.labels

    @property
    def wine_arch(self):
        return self.build[-2:] if self.needs_wine else None

    @property
    def fuzz(self):
        return "fuzz" in self.labels


def list_suites(build_root, build):
    """The suites ctest knows in build_root/build, in its order. A fixture's
    set-up is no suite of its own: ctest runs it with the suites that need
    it, so its targets go with each of theirs."""
    listing = subprocess.run(["ctest", "--show-only=json-v1"], cwd=os.path.join(build_root, build),
                             capture_output=True, text=True, check=True).stdout
    suites = [Suite(build, test) for test in json.loads(listing)["tests"]]
    for set_up in [suite for suite in suites if suite.fixture_setup]:
        for suite in suites:
            if suite.fixtures_required & set_up.fixture_setup:
                suite.targets |= set_up.targets
    return [suite for suite in suites if not suite.fixture_setup]


def named_by(suite, patterns):
    return any(fnmatch.fnmatchcase(suite.full_name, p) or fnmatch.fnmatchcase(suite.name, p) for p in patterns)


def select(suites, arches, patterns, no_32_reason):
    """(the suites to run, the win32 suites that cannot run here) for a
    machine that runs the Wine architectures arches ("32", "64"); exits
    when a pattern names win32 suites that need Wine and 32 is not among
    them, or names nothing."""
    both = "32" in arches and "64" in arches
    for suite in suites:
        # The x64 build's headless suites fit beside the win32 display's
        # stream: another prefix, another wineserver.
        suite.beside_headless = both and suite.build == "win64"
    suites = [s for s in suites if s.build != "win64" or "64" in arches]
    not_run = []
    if "32" not in arches:
        named = [p for p in patterns if p.startswith("win32/") and
                 any(s.wine_arch == "32" and fnmatch.fnmatchcase(s.full_name, p) for s in suites)]
        if named:
            sys.exit(f"{', '.join(named)}: the 32-bit suites cannot run here: {no_32_reason}")
        not_run = [s for s in suites if s.wine_arch == "32" and (not patterns or named_by(s, patterns))]
        suites = [s for s in suites if s.wine_arch != "32"]
    if patterns:
        return choose(suites, patterns), not_run
    # By default, where both Windows builds are tested, of win64 only its
    # cheap checks of 64-bit breakage.
    return [s for s in suites if not both or s.build != "win64" or s.labels & BOTH_ARCHES_WIN64_LABELS], not_run


def choose(suites, patterns):
    """The suites named by patterns ("name", "build/name", shell patterns
    allowed), all of them for none; exits naming the patterns that match
    nothing."""
    if not patterns:
        return suites
    chosen, unknown = [], []
    for pattern in patterns:
        matched = [s for s in suites if named_by(s, [pattern])]
        if not matched:
            unknown.append(pattern)
        chosen += [s for s in matched if s not in chosen]
    if unknown:
        names = "\n  ".join(s.full_name for s in suites)
        sys.exit(f"no suite named {', '.join(unknown)}; the suites are:\n  {names}")
    return [s for s in suites if s in chosen]


class Runner:
    def __init__(self, build_root):
        self.build_root = build_root
        self.print_lock = threading.Lock()

    def say(self, text):
        with self.print_lock:
            print(text, flush=True)

    def run(self, suite):
        """Runs one suite through ctest; its output to its log file."""
        log = os.path.join(self.build_root, f"ctest-{suite.build}-{suite.name}.log")
        prefix = None
        if suite.wine_arch:
            prefix = os.path.join(self.build_root, "wineprefix" + ("64" if suite.wine_arch == "64" else ""))
        meter = timings.Meter(prefix=prefix)
        began = time.monotonic()
        with open(log, "w") as out:
            process = subprocess.Popen(
                ["ctest", "--output-on-failure", "--timeout", str(CTEST_TIMEOUT), "-R", f"^{suite.name}$"],
                cwd=os.path.join(self.build_root, suite.build), stdin=subprocess.DEVNULL, stdout=out,
                stderr=subprocess.STDOUT)
            # The suite's own CPU from its rusage: the other stream's reaped
            # children must not count here.
            _, status, usage = os.wait4(process.pid, 0)
            process.returncode = os.waitstatus_to_exitcode(status)
        wall = time.monotonic() - began
        _, wine_share = meter.stop()
        if suite.beside:
            wine_share = 0.0  # Wine's shared processes belong to the Windows stream
        cpu = usage.ru_utime + usage.ru_stime + wine_share
        with open(log) as f:
            output = f.read()
        summary = [line for line in output.splitlines() if " tests failed out of " in line or
                   " tests passed, " in line]
        counted = summary[-1] if summary else ""
        if counted:
            words = counted.replace(",", "").split()
            total = int(words[-1])
            bad = int(words[words.index("failed") - 2]) if "failed" in words else 0
            suite.failed, suite.passed = bad, total - bad
        suite.ok = process.returncode == 0 and bool(counted) and suite.failed == 0
        if not counted:
            suite.failed = max(suite.failed, 1)
        timings.record("suite", suite.full_name, wall, cpu, script=suite.script)
        verdict = "passed" if suite.ok else "FAILED"
        text = f"== {suite.full_name}: {verdict} ({counted or 'no closing line from ctest'}; {wall:.1f} s)"
        if not suite.ok:
            text += "\n" + output
        self.say(text)

    def run_stream(self, suites):
        for suite in suites:
            self.run(suite)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-root", required=True)
    parser.add_argument("--builds", default="native,win32,win64", help="the build folders to look in")
    parser.add_argument("--arches", default="32 64", help="the Wine architectures this machine runs")
    parser.add_argument("--no-32-reason", default="", help="why 32-bit suites cannot run here")
    parser.add_argument("--list", action="store_true", help="only name the suites chosen")
    parser.add_argument("--needs", action="store_true",
                        help="only say what the suites chosen need: the builds, and Wine")
    parser.add_argument("--targets", metavar="BUILD",
                        help="only name the targets of BUILD that the suites chosen need built")
    parser.add_argument("patterns", nargs="*")
    options = parser.parse_args()

    arches = options.arches.split()
    # A build whose architecture is not run is not looked in, but for win32:
    # its format check needs no Wine.
    builds = [b for b in options.builds.split(",") if b in ("native", "win32") or b[-2:] in arches]
    suites = []
    for build in builds:
        suites += list_suites(options.build_root, build)
    chosen, not_run = select(suites, arches, options.patterns, options.no_32_reason)
    if options.list:
        for suite in chosen:
            print(f"{suite.full_name}{'' if suite.beside else '  (one at a time, with the display and the ports)'}")
        for suite in not_run:
            print(f"{suite.full_name}  (not run here: {options.no_32_reason})")
        return 0
    if options.targets:
        print(" ".join(sorted(set().union(*(s.targets for s in chosen if s.build == options.targets)))))
        return 0
    if options.needs:
        needed = sorted({s.build for s in chosen})
        # The native build, the Windows builds, and the Wine sessions.
        print(" ".join(needed + sorted({f"wine{s.wine_arch}" for s in chosen if s.wine_arch})))
        return 0

    runner = Runner(options.build_root)
    # Each stream runs its suites in ctest's order, the fuzz targets last.
    beside = [s for s in chosen if s.beside and not s.fuzz] + [s for s in chosen if s.fuzz]
    windows = [s for s in chosen if not s.beside]
    streams = [threading.Thread(target=runner.run_stream, args=(stream,)) for stream in (windows, beside) if stream]
    for stream in streams:
        stream.start()
    for stream in streams:
        stream.join()

    passed = sum(s.passed for s in chosen)
    failed = sum(s.failed for s in chosen)
    print()
    for build in builds:
        mine = [s for s in chosen if s.build == build]
        if mine:
            print(f"{build}: {len(mine)} suites, {sum(s.passed for s in mine)} ctest entries passed, "
                  f"{sum(s.failed for s in mine)} failed")
    if not_run:
        print(f"win32: {len(not_run)} suites under Wine NOT RUN on this machine: {options.no_32_reason}; "
              f"the x64 build's suites stood in for them")
    print(f"total: {passed} passed, {failed} failed")
    return 0 if all(s.ok for s in chosen) else 1


if __name__ == "__main__":
    sys.exit(main())
