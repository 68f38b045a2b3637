#!/usr/bin/python3
"""Fails when a file of the program includes a header of a higher floor.

The folders stand in floors, lowest first; a file may include headers of its own floor and of
the floors below it. Tests and benchmarks may include anything.
"""

import pathlib
import re
import sys

FLOORS = [
    ["platform", "usbtree"],
    ["core"],
    ["model", "engine", "tools"],
    ["loader"],
    ["download"],
    ["ui"],
    ["app"],
]
FLOOR_OF = {folder: level for level, folders in enumerate(FLOORS) for folder in folders}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]*"', re.MULTILINE)


def offences(root):
    for folder, level in sorted(FLOOR_OF.items()):
        for source in sorted((root / folder).rglob("*")):
            if source.suffix not in (".h", ".cpp", ".c"):
                continue
            for included in INCLUDE.findall(source.read_text(encoding="utf-8", errors="replace")):
                if FLOOR_OF.get(included, -1) > level:
                    yield f"{source.relative_to(root)} includes a header of {included}/"


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = list(offences(root))
    for line in found:
        print(line)
    floors = " -> ".join("/".join(folders) for folders in FLOORS)
    print(f"{len(found)} include(s) against the floors {floors}")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
