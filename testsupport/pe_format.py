#!/usr/bin/env python3
"""Checks a built client's format from outside, with no Wine: the file
type, the machine, the GUI subsystem, and that it takes no DLL but the
system's (the runtime and libwebp are linked in).

    pe_format.py --arch 32|64 EXE"""
import argparse
import re
import subprocess
import sys

KINDS = {
    "32": (r"^PE32 executable \(GUI\) Intel 80386", "i686-w64-mingw32-objdump"),
    "64": (r"^PE32\+ executable \(GUI\) x86-64", "x86_64-w64-mingw32-objdump"),
}
NOT_SYSTEM = re.compile(r"libstdc|libgcc|libwinpthread|libwebp")


def problems(exe, arch):
    """What is wrong with exe as a build of architecture arch: a list of
    sentences, empty when nothing is."""
    kind_pattern, objdump = KINDS[arch]
    found = []
    kind = subprocess.run(["file", "-b", exe], capture_output=True, text=True).stdout.strip()
    if not re.match(kind_pattern, kind):
        found.append(f"{exe} is '{kind}', not a {arch}-bit GUI program")
    imports = subprocess.run([objdump, "-p", exe], capture_output=True, text=True)
    if imports.returncode != 0:
        found.append(f"{objdump} could not read {exe}: {imports.stderr.strip()}")
    dlls = re.findall(r"DLL Name: (\S+)", imports.stdout)
    if imports.returncode == 0 and not dlls:
        found.append(f"{exe} imports no DLL at all: not a program objdump understood")
    found += [f"{exe} takes {dll}, which is not the system's" for dll in dlls if NOT_SYSTEM.search(dll.lower())]
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--arch", choices=sorted(KINDS), required=True)
    parser.add_argument("exe")
    options = parser.parse_args()
    found = problems(options.exe, options.arch)
    for problem in found:
        print(problem)
    # The closing line of a suite that ran one check.
    print(f"format: {0 if found else 1} passed, {1 if found else 0} failed")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
