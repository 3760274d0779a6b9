#!/usr/bin/env python3
"""What takes the room in an executable, from the linker's map file (ld -Map).

Sums the input sections that end up in the file (code, data, read-only data, unwind tables, resources,
imports; not .bss or debug sections) by the archive or object file they came from, and prints the
biggest: "<KiB> <share %> <section breakdown> <file>".

Usage: map_sizes.py <map file> [count]
"""
import collections
import os
import re
import sys

IN_FILE = (".text", ".data", ".rdata", ".eh_frame", ".rsrc", ".idata", ".CRT", ".tls", ".pdata", ".xdata")
INPUT = re.compile(r"^ (\S+)?\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(\S.*)$")
OUTPUT = re.compile(r"^(\.\S+)\s")


def owner(path):
    """libstdc++.a for an archive member, the file name for a plain object."""
    archive = path.split("(")[0] if "(" in path else path
    return os.path.basename(archive.strip())


def sizes(lines):
    totals = collections.defaultdict(collections.Counter)
    section = None
    pending = None
    started = False
    for line in lines:
        line = line.rstrip("\n")
        if not started:
            started = line.startswith("Linker script and memory map")
            continue
        match = OUTPUT.match(line)
        if match:
            section = match.group(1)
            continue
        if section not in IN_FILE:
            continue
        match = INPUT.match(line)
        if match:
            name = match.group(1) or pending
            pending = None
            size = int(match.group(3), 16)
            if name and size and not name.startswith("*"):
                totals[owner(match.group(4))][section] += size
        elif re.match(r"^ \.\S+$", line):
            pending = line.strip()  # a long section name; its address and size follow on the next line
    return totals


def main():
    path = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 15
    with open(path, encoding="utf-8", errors="replace") as source:
        totals = sizes(source)
    everything = sum(sum(c.values()) for c in totals.values())
    ranked = sorted(totals.items(), key=lambda item: -sum(item[1].values()))
    for name, counter in ranked[:count]:
        total = sum(counter.values())
        parts = ", ".join("%s %.0f" % (s, v / 1024) for s, v in counter.most_common(3))
        print("%7.1f KiB %5.1f %%  %-40s (%s)" % (total / 1024, 100 * total / everything, name, parts))
    print("%7.1f KiB in all" % (everything / 1024))


if __name__ == "__main__":
    main()
