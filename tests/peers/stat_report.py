#!/usr/bin/env python3
"""Lists the statistics events in the package documents a statistics stand-in kept (--packages-dir):
one line per event and parameter, "event  parameter = value", in the order they were delivered.

  stat_report.py <packages folder> [--names | --brief]
  --names: only the distinct event names, one a line; --brief: at most three parameters an event
"""
import os
import re
import sys
import xml.etree.ElementTree as ElementTree


def packages(folder):
    names = [n for n in os.listdir(folder) if re.fullmatch(r"package-\d+\.xml", n)]
    for name in sorted(names, key=lambda n: int(re.search(r"\d+", n).group())):
        yield ElementTree.parse(os.path.join(folder, name)).getroot()


def lines(folder, brief=False):
    for package in packages(folder):
        for event in package.iter("event"):
            params = list(event)
            if not params:
                yield "%-16s %s" % (event.get("name"), event.get("value", "") or "")
            shown = params[:3] if brief and len(params) > 4 else params
            for param in shown:
                yield "%-16s %s = %s" % (event.get("name"), param.get("name"), param.get("value"))
            if len(shown) < len(params):
                yield "%-16s ... and %d more values describing the machine" % (event.get("name"), len(params) - len(shown))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    if not os.path.isdir(folder):
        print("(no packages arrived)")
        return
    if "--names" in sys.argv:
        seen = []
        for package in packages(folder):
            for event in package.iter("event"):
                if event.get("name") not in seen:
                    seen.append(event.get("name"))
        print("\n".join(seen))
        return
    for line in lines(folder, "--brief" in sys.argv):
        print(line)


if __name__ == "__main__":
    main()
