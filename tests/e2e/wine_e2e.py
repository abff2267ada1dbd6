#!/usr/bin/env python3
"""End-to-end runs of the win64 setup.exe under Wine with an X display: real
registry views, real profile reading, copying and shell opening, and the real
dialog manager. Prints one line per check and 'N passed, N failed'."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from winetest import *  # noqa: F401,F403 (the shared test vocabulary)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--setup", required=True)
    ap.add_argument("--installer", required=True)
    ap.add_argument("--wine", required=True)
    args = ap.parse_args()

    with Xvfb() as x:
        session = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display)
        wine, temp, temp_win, log, work, record = (session.wine, session.temp, session.temp_win, session.log,
                                                   session.work, session.record)
        package, fresh, run_setup, started = session.package, session.fresh, session.run_setup, session.started

        config = "[FL]\nversion=1.2.4\nfile=inst.exe\n[driver]\nversion=2.0.1\n"

        # 1. Older client: copied to temp and started from there. Wine runs
        # programs elevated, so the copy goes to a fresh private folder.
        wine.reg_clear()
        wine.reg_set(FERROLINK, "AP1.2.3", 32)
        wine.reg_set(INSTALLATION, "2.0.1", 64)
        fresh()
        pkg = package(config)
        run_setup(pkg, "older client")
        src = wine.windows_path(os.path.join(pkg, "inst.exe"))
        staged = re.compile(re.escape("CopyFile from %s to %s\\pathwarden-" % (src, temp_win)) +
                            r"([0-9a-f]{16})\\inst\.exe$")
        got = log_lines(log) or []
        head = ["BANNER", "CSetupDlg::OnInitDialog", START] + versions(123, 124, 201, 201)
        m = staged.match(got[5]) if len(got) == 9 else None
        check("older client: log lines and order", got[:5] == head and m and got[6:] == FINISH, got)
        target = "%s\\pathwarden-%s\\inst.exe" % (temp_win, m.group(1) if m else "?")
        check("older client: installer started from the staged temp copy", started(True) == [target],
              open(record).read() if os.path.exists(record) else "nothing started")
        # Wine keeps no access lists of its own on files: it reports one made
        # from the Unix permissions, so the folder's list cannot be checked here.
        acl = open(record + ".acl").read() if os.path.exists(record + ".acl") else "(none)"
        print("INFO staging folder's access list as Wine reports it: " + acl)

        # 2. A second run appends a new block to the same log, staging anew.
        os.remove(record)
        run_setup(pkg, "second run")
        got2 = log_lines(log) or []
        m2 = staged.match(got2[14]) if len(got2) == 18 else None
        check("second run: appended with its own banner",
              got2[:9] == got and got2[9:14] == head and m2 and got2[15:] == FINISH, got2)
        check("second run: a fresh staging folder", m and m2 and m.group(1) != m2.group(1))

        # 3. Up to date: nothing started.
        wine.reg_clear()
        wine.reg_set(FERROLINK, "AP1.2.4", 32)
        wine.reg_set(INSTALLATION, "2.0.1", 64)
        fresh()
        pkg = package(config)
        run_setup(pkg, "up to date")
        want = ["BANNER", "CSetupDlg::OnInitDialog", START] + versions(124, 124, 201, 201) + [LATEST] + FINISH
        check("up to date: log lines", log_lines(log) == want, log_lines(log))
        check("up to date: nothing started", started(False) == [], started(False))
        check("up to date: nothing copied",
              not [n for n in os.listdir(temp) if n == "inst.exe" or n.startswith("pathwarden-")])

        # 4. Records in the wrong view are not seen; the right views are.
        view_cases = [
            ("Ferrolink in the 64-bit view only", [(FERROLINK, "AP9.9", 64)], (0, 0)),
            ("Pathwarden in the 64-bit view", [(PATHWARDEN, "AP9.9", 64)], (99, 0)),
            ("Pathwarden in the 32-bit view only", [(PATHWARDEN, "AP9.9", 32)], (0, 0)),
            ("driver installation key in the 32-bit view only", [(INSTALLATION, "9.9", 32)], (0, 0)),
            ("driver MSM key in the 32-bit view", [(MSM, "9.9", 32)], (0, 99)),
            ("driver MSM key in the 64-bit view only", [(MSM, "9.9", 64)], (0, 0)),
        ]
        for name, values, (fl, driver) in view_cases:
            wine.reg_clear()
            for key, value, view in values:
                wine.reg_set(key, value, view)
            fresh()
            pkg = package("[FL]\nversion=0\n")
            p = run_setup(pkg, name)
            got = log_lines(log) or []
            check(name + ": versions read", got[3:5] == versions(fl, 0, driver, 0),
                  "%s; temp holds %s; setup said %r" % (got, sorted(os.listdir(temp)), p.error_text[-500:]))

        # 5. No config.ini at all.
        wine.reg_clear()
        fresh()
        pkg = package(None)
        run_setup(pkg, "no config.ini")
        want = ["BANNER", "CSetupDlg::OnInitDialog", START] + versions(0, 0, 0, 0) + [LATEST] + FINISH
        check("no config.ini: log lines", log_lines(log) == want, log_lines(log))

        # 6. No desktop to create the dialog on (a session begun without a
        # display): the log says so and the program still ends normally.
        wine.run("wineserver", "-k", check_rc=False)
        wine.run("wineserver", "-w", check_rc=False)
        no_display = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
        subprocess.run([args.wine, "cmd", "/c", "exit"], env=no_display, capture_output=True)
        fresh()
        pkg = package(config)
        p = subprocess.run([args.wine, os.path.join(pkg, "setup.exe")], env=no_display, capture_output=True)
        check("no desktop: exit code 0", p.returncode == 0, p.returncode)
        got = log_lines(log) or []
        check("no desktop: the log says why nothing happened",
              len(got) == 2 and got[0] == "BANNER" and got[1].startswith(
                  "CSetupDlg::OnInitDialog - The setup dialog could not be created, error <"), got)
        check("no desktop: nothing started", started(False) == [])

        wine.reg_clear()
        session.close()

    return summary()


if __name__ == "__main__":
    sys.exit(main())
