#!/usr/bin/env python3
"""The shipped image stays small: at most BUDGET bytes. Prints the size of
each section so that a growth shows where it is.
Usage: size_check.py SETUP_EXE BUDGET_BYTES"""
import os
import sys

import pefile


def main(path, budget):
    pe = pefile.PE(path, fast_load=True)
    for s in pe.sections:
        print("%-9s %7d bytes" % (s.Name.rstrip(b"\0").decode(errors="replace"), s.SizeOfRawData))
    print("%-9s %7d bytes" % ("headers", pe.OPTIONAL_HEADER.SizeOfHeaders))
    size = os.path.getsize(path)
    ok = size <= budget
    print("%s %s is %d bytes, the budget %d" % ("PASS" if ok else "FAIL", path, size, budget))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
