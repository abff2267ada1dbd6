#!/usr/bin/env python3
"""Faults and bad input through the win64 setup.exe under Wine, where the case
is about Windows behaviour: the real profile reader and registry, the log file
under Windows sharing rules, another program closing the hidden window, runs
at once, and a double-byte code page. Prints 'N passed, N failed'."""
import argparse
import sys

from winetest import Session, Wine, Xvfb, summary
from faults_hostile import hostile_cases
from faults_input import input_cases, unsafe_names
from faults_log import log_file_cases
from faults_runs import code_page_cases, concurrent_cases, installer_cases


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--setup", required=True)
    ap.add_argument("--installer", required=True)
    ap.add_argument("--helper", required=True)
    ap.add_argument("--holder", required=True, help="the program that holds Wine's desktop open")
    ap.add_argument("--wine", required=True)
    ap.add_argument("--unelevated", required=True, help="the launcher that runs a program unelevated")
    args = ap.parse_args()

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
