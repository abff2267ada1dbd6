#!/usr/bin/env python3
"""Faults and bad input through the win64 setup.exe under Wine, where the case
is about Windows behaviour: the real profile reader and registry, the log file
under Windows sharing rules, another program closing the hidden window, runs
at once, and a double-byte code page. Prints 'N passed, N failed'."""
import sys

from winetest import Session, Wine, Xvfb, suite_arguments, summary
from faults_hostile import hostile_cases
from faults_input import input_cases, unsafe_names
from faults_log import log_file_cases
from faults_runs import code_page_cases, concurrent_cases, installer_cases


def main():
    args = suite_arguments("setup", "installer", "helper", "holder", "wine", "unelevated")

    with Xvfb() as x:
        s = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display, args.unelevated,
                    holder=args.holder)
        # In the order the cases were written: a later group meets what an
        # earlier one left in the prefix just as it did then.
        for group in (input_cases, log_file_cases, installer_cases, unsafe_names, concurrent_cases, code_page_cases):
            group(s, args)
        hostile_cases(s)
        s.close()

    return summary()


if __name__ == "__main__":
    sys.exit(main())
