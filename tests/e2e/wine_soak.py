#!/usr/bin/env python3
"""Repeats one Wine case many times, to catch what fails by chance: not part
of the test suites (it takes many minutes), run by hand.
  wine_soak.py --case at-once --count 300 ...   two unelevated runs at once
  wine_soak.py --case back-to-back --count 200  one run after another
  --gap 0.8,1.6: a pause drawn from that range (seconds) before each run, to
  meet Wine's desktop as it closes (a second after the last program ends)
Every run that overstays is recorded (processes, waits, log) before it is
killed. Prints one line per failed iteration and 'N passed, N failed'."""
import argparse
import os
import random
import sys
import time

from winetest import *  # noqa: F401,F403 (the shared test vocabulary)
from checks import results  # noqa: E402  a passed iteration is counted without a line

INSTALL = "[FL]\nversion=9\nfile=inst.exe\n"
DIALOG_FAILED = "CSetupDlg::OnInitDialog - The setup dialog could not be created, error <"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--holder", help="the program that holds Wine's desktop for the session")
    ap.add_argument("--case", choices=("at-once", "back-to-back"), required=True)
    ap.add_argument("--count", type=int, default=100)
    ap.add_argument("--limit", type=int, default=120, help="seconds before a run counts as hung")
    ap.add_argument("--gap", default="0,0", help="MIN,MAX seconds to pause before each run")
    args = suite_arguments("setup", "installer", "unelevated", "wine", parser=ap)

    with Xvfb() as x:
        s = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display, args.unelevated,
                    holder=args.holder)
        s.wine.reg_clear()
        pkg = s.package(INSTALL)
        began = time.monotonic()
        dialog_failures = 0
        gap = [float(g) for g in args.gap.split(",")]
        for i in range(args.count):
            s.fresh()
            time.sleep(random.uniform(*gap))
            count = 2 if args.case == "at-once" else 1
            procs = [s.start_setup(pkg, extra_env={"PATHWARDEN_LINGER": "30000"}, unelevated=args.case == "at-once")
                     for _ in range(count)]
            codes = [s.wait_run(p, "iteration %d run %d" % (i, n), args.limit) for n, p in enumerate(procs)]
            got = log_lines(s.log) or []
            dialog = [l for l in got if l.startswith(DIALOG_FAILED)]
            dialog_failures += len(dialog)
            ends = sum(1 for l in got if l == END)
            ok = codes == [0] * count and ends == count and not dialog
            if not ok:
                check("iteration %d" % i, False, (codes, got))
            else:
                results.append(True)
            if args.case == "at-once":
                s.stop_programs()
            if (i + 1) % 10 == 0:
                print("INFO %d iterations in %.0f s; %d dialog failures" % (i + 1, time.monotonic() - began,
                                                                           dialog_failures))
                sys.stdout.flush()
        s.stop_programs()
    print("INFO dialog failures (error 1400 and the like): %d" % dialog_failures)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
