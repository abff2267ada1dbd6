#!/usr/bin/env python3
"""The README's layout table names every folder of the tree: each top-level
folder git holds (or a folder in it), and each folder of tests/. A folder
that is added without a row fails, named.

Usage: layout_check.py SOURCE_DIR. Prints 'N passed, N failed'."""
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402
from tree import files  # noqa: E402


def folders(source):
    """Top-level folders and those of tests/, as git lists their files."""
    found = set()
    for name in files(source):
        parts = name.split("/")
        if len(parts) > 1:
            found.add(parts[0] + "/")
        if len(parts) > 2 and parts[0] == "tests":
            found.add("tests/%s/" % parts[1])
    return sorted(found - {"tests/"})


def main(source):
    readme = open(os.path.join(source, "README.md"), encoding="utf-8").read()
    section = readme.split("\n## Layout\n", 1)[-1].split("\n## ", 1)[0]
    rows = " ".join(line.split("|")[1] for line in section.split("\n") if line.startswith("| `"))
    named = set(re.findall(r"`([^`]+/)`", rows))
    check("the README has a layout table", bool(named), section[:200])
    for folder in folders(source):
        # A row for a folder inside it (tools/check/) names it too.
        check("the layout table names %s" % folder, any(n.startswith(folder) for n in named),
              "no row's first column names `%s` or a folder in it" % folder)
    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")))
