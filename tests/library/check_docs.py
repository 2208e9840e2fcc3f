#!/usr/bin/env python3
"""Checks that every program the documentation shows is the file the tests build.

  check_docs.py DOCS_DIR

A fenced ```cpp or ```cmake block that holds code with a body (a `{` or a
find_package) must be preceded, in the text since the previous block, by a link
to a file under DOCS_DIR whose content it is, character for character.
"""
import re
import sys
from pathlib import Path

FENCE = re.compile(r"^```(\w*)\s*$")
LINK = re.compile(r"\]\(([^)#]+\.(?:cpp|txt|sh))\)")


def blocks(text):
    lines = text.splitlines(keepends=True)
    prose, i = [], 0
    while i < len(lines):
        match = FENCE.match(lines[i])
        if not match:
            prose.append(lines[i])
            i += 1
            continue
        language, body, i = match.group(1), [], i + 1
        while i < len(lines) and not lines[i].startswith("```"):
            body.append(lines[i])
            i += 1
        yield language, "".join(prose), "".join(body)
        prose, i = [], i + 1


def main():
    docs = Path(sys.argv[1])
    failures = checked = 0
    for page in sorted(docs.glob("*.md")):
        for language, prose, body in blocks(page.read_text()):
            if language not in ("cpp", "cmake"):
                continue
            if "{" not in body and "find_package" not in body:
                continue  # a declaration, not a program
            links = [docs / link for link in LINK.findall(prose) if (docs / link).is_file()]
            if not links:
                print(f"{page.name}: a {language} program without a link to its file")
                failures += 1
            elif links[-1].read_text() != body:
                print(f"{page.name}: the {language} block differs from {links[-1].relative_to(docs)}")
                failures += 1
            checked += 1
    print(f"{checked} programs in the documentation checked, {failures} not their files")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
