#!/usr/bin/env python3
"""Checks that the palette chart's values are the package's.

  check_palette.py SOURCE_DIR

The red, green and blue values of the 24 colours must be the same, in index order,
in package/src/palette.cpp (the palette), examples/palette.cpp (the chart's labels)
and the table of docs/api.md, with the same names as color_name and the hex column
matching the values.
"""
import re
import sys
from pathlib import Path


def main():
    root = Path(sys.argv[1])
    package = (root / "package/src/palette.cpp").read_text()
    values = [tuple(map(int, m)) for m in re.findall(r"RGB\((\d+),\s*(\d+),\s*(\d+)\)", package)]
    names_block = package[package.index("color_name"):]
    names = re.findall(r'"([^"]+)"', names_block)[:24]

    chart = (root / "examples/palette.cpp").read_text()
    chart_entries = [(n, (int(r), int(g), int(b)))
                     for n, r, g, b in re.findall(r'\{"([^"]+)",\s*(\d+),\s*(\d+),\s*(\d+)\}', chart)]

    doc = (root / "docs/api.md").read_text()
    doc_entries = {}
    for line in doc.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        for start in (0, 7):  # two entries per row, side by side
            part = cells[start:start + 6]
            if len(part) == 6 and part[0].isdigit() and part[5].startswith("`#"):
                index, name = int(part[0]), part[1]
                rgb = tuple(int(v) for v in part[2:5])
                doc_entries[index] = (name, rgb, part[5].strip("`"))

    failures = []
    if len(values) != 24 or len(names) != 24:
        failures.append(f"palette.cpp: {len(values)} values and {len(names)} names, not 24")
    if [(n, v) for n, v in chart_entries] != list(zip(names, values)):
        failures.append("examples/palette.cpp: the chart's names or values differ from the palette")
    for index, (name, rgb) in enumerate(zip(names, values)):
        got = doc_entries.get(index)
        want_hex = "#%02X%02X%02X" % rgb
        if got != (name, rgb, want_hex):
            failures.append(f"docs/api.md: entry {index} is {got}, the palette's is {(name, rgb, want_hex)}")
    for failure in failures:
        print(failure)
    print(f"24 colours checked in three places, {len(failures)} differences")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
