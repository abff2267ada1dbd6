#!/usr/bin/env python3
"""The shipped image stays small: at most BUDGET bytes. Prints the size of
each section so that a growth shows where it is.
Usage: size_check.py SETUP_EXE BUDGET_BYTES. Prints 'N passed, N failed'."""
import os
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402  the one PASS/FAIL report


def main(path, budget):
    pe = pefile.PE(path, fast_load=True)
    for s in pe.sections:
        print("%-9s %7d bytes" % (s.Name.rstrip(b"\0").decode(errors="replace"), s.SizeOfRawData))
    print("%-9s %7d bytes" % ("headers", pe.OPTIONAL_HEADER.SizeOfHeaders))
    size = os.path.getsize(path)
    check("%s is %d bytes, the budget %d" % (path, size, budget), size <= budget, "over by %d" % (size - budget))
    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
