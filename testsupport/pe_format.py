#!/usr/bin/env python3
"""Checks a built client's format without Wine: the file type and machine,
the GUI subsystem, no DLL but the system's, and no benchmark-only per-miss
breakdown.   pe_format.py --arch 32|64 EXE"""
import argparse
import re
import subprocess
import sys

KINDS = {"32": (r"^PE32 executable \(GUI\) Intel 80386", "i686-w64-mingw32-objdump"),
         "64": (r"^PE32\+ executable \(GUI\) x86-64", "x86_64-w64-mingw32-objdump")}


def problems(exe, arch):
    kind_pattern, objdump = KINDS[arch]
    kind = subprocess.run(["file", "-b", exe], capture_output=True, text=True).stdout.strip()
    found = [] if re.match(kind_pattern, kind) else [f"{exe} is '{kind}', not a {arch}-bit GUI program"]
    dlls = re.findall(r"DLL Name: (\S+)", subprocess.run([objdump, "-p", exe], capture_output=True, text=True).stdout)
    if not dlls:
        found.append(f"{objdump} found no imports in {exe}")
    with open(exe, "rb") as f:
        if b"miss-breakdown.tsv" in f.read():
            found.append(f"{exe} has the per-miss breakdown of the benchmarks compiled in")
    return found + [f"{exe} takes {dll}" for dll in dlls if re.search(r"libstdc|libgcc|libwinpthread|libwebp", dll.lower())]


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--arch", choices=sorted(KINDS), required=True)
    parser.add_argument("exe")
    options = parser.parse_args()
    found = problems(options.exe, options.arch)
    print("\n".join(found + [f"format: {int(not found)} passed, {int(bool(found))} failed"]))
    sys.exit(1 if found else 0)
