#!/usr/bin/env python3
"""End-to-end runs of the win64 setup.exe under Wine with an X display: real
registry views, real profile reading, copying and shell opening, and the real
dialog manager. Prints one line per check and 'N passed, N failed'."""
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
    args = suite_arguments("setup", "installer", "holder", "wine", "unelevated")

    with Xvfb() as x:
        session = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display, args.unelevated,
                          holder=args.holder)
        wine, temp, temp_win, log, work, record = (session.wine, session.temp, session.temp_win, session.log,
                                                   session.work, session.record)
        package, fresh, run_setup, started = session.package, session.fresh, session.run_setup, session.started

        config = "[FL]\nversion=1.2.4\nfile=inst.exe\n[driver]\nversion=2.0.1\n"
        head = ["BANNER", "CSetupDlg::OnInitDialog", START] + versions(123, 124, 201, 201)

        # Every scenario both ways: as Wine starts programs (elevated) and with
        # the limited token linked to that, as an administrator's ordinary
        # programs run under UAC.
        for unelevated in (False, True):
            mode = " (unelevated)" if unelevated else " (elevated)"
            staging = session.staging(unelevated)

            # 1. Older client: copied and started from the copy. Elevated, the
            # copy goes to a fresh private folder of the system's temporary
            # folder; unelevated, straight into the user's %TEMP%.
            wine.reg_clear()
            wine.reg_set(FERROLINK, "AP1.2.3", 32)
            wine.reg_set(INSTALLATION, "2.0.1", 64)
            fresh()
            pkg = package(config)
            run_setup(pkg, "older client" + mode, unelevated=unelevated)
            src = wine.windows_path(os.path.join(pkg, "inst.exe"))
            copy_line = re.compile(re.escape("CopyFile from %s to " % src) + "(" + staging + r")inst\.exe$")
            got = log_lines(log) or []
            # Elevated under Wine, a line says the folder is the account's (Wine
            # keeps no owner of its own on files).
            extra = 0 if unelevated else 1
            m = copy_line.match(got[5 + extra]) if len(got) == 9 + extra else None
            check("older client%s: log lines and order" % mode,
                  got[:5] == head and m and got[6 + extra:] == FINISH and
                  (unelevated or got[5] == session.owner_line(m.group(1))), got)
            target = (m.group(1) if m else "?\\") + "inst.exe"
            # Windows paths compare without case (the installer sees "temp").
            check("older client%s: installer started from the copy" % mode,
                  [p.lower() for p in started(True)] == [target.lower()],
                  open(record).read() if os.path.exists(record) else "nothing started")
            check("older client%s: the installer's token is %selevated" % (mode, "un" if unelevated else ""),
                  session.elevation_recorded() == ("0" if unelevated else "1"), session.elevation_recorded())
            staged = [n for n in os.listdir(session.system_temp) if n.startswith("pathwarden-")]
            check("older client%s: %s" % (mode, "no private folder made" if unelevated else "one private folder"),
                  len(staged) == (0 if unelevated else 1), staged)
            if not unelevated:
                acl = open(record + ".acl").read() if os.path.exists(record + ".acl") else "(none)"
                print("INFO staging folder's access list as Wine reports it: " + acl)

            # 2. A second run appends a new block to the same log. Elevated, it
            # stages anew and removes the first folder once its installer ended.
            first = m.group(1).split("\\")[-2] if m and not unelevated else None
            if first:
                check("second run%s: the first installer has ended" % mode, session.wait_gone(first))
            os.remove(record)
            run_setup(pkg, "second run" + mode, unelevated=unelevated)
            got2 = log_lines(log) or []
            cleared = [] if unelevated else [
                "CSetupDlg::InstallPackage - Earlier private folders in %s\\: 1 removed, 0 in use kept, "
                "0 not ours left alone." % session.system_temp_win]
            n = len(got) + 5 + extra + len(cleared)
            m2 = copy_line.match(got2[n]) if len(got2) == n + 4 else None
            check("second run%s: appended with its own banner" % mode,
                  got2[:len(got)] == got and got2[len(got):len(got) + 5] == head and m2 and
                  got2[n - len(cleared):n] == cleared and got2[n + 1:] == FINISH, got2)
            if not unelevated:
                check("second run%s: a fresh staging folder" % mode, m and m2 and m.group(1) != m2.group(1))
                staged = sorted(n for n in os.listdir(session.system_temp) if n.startswith("pathwarden-"))
                check("second run%s: only the new folder remains" % mode,
                      m2 and staged == [m2.group(1).split("\\")[-2]], staged)

            # 3. Up to date: nothing started.
            wine.reg_clear()
            wine.reg_set(FERROLINK, "AP1.2.4", 32)
            wine.reg_set(INSTALLATION, "2.0.1", 64)
            fresh()
            pkg = package(config)
            run_setup(pkg, "up to date" + mode, unelevated=unelevated)
            want = ["BANNER", "CSetupDlg::OnInitDialog", START] + versions(124, 124, 201, 201) + [LATEST] + FINISH
            check("up to date%s: log lines" % mode, log_lines(log) == want, log_lines(log))
            check("up to date%s: nothing started" % mode, started(False) == [], started(False))
            check("up to date%s: nothing copied" % mode,
                  not [n for n in os.listdir(temp) + os.listdir(session.system_temp)
                       if n == "inst.exe" or n.startswith("pathwarden-")])

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
                p = run_setup(pkg, name + mode, unelevated=unelevated)
                got = log_lines(log) or []
                check(name + mode + ": versions read", got[3:5] == versions(fl, 0, driver, 0),
                      "%s; temp holds %s; setup said %r" % (got, sorted(os.listdir(temp)), p.error_text[-500:]))

            # 5. No config.ini at all.
            wine.reg_clear()
            fresh()
            pkg = package(None)
            run_setup(pkg, "no config.ini" + mode, unelevated=unelevated)
            want = ["BANNER", "CSetupDlg::OnInitDialog", START] + versions(0, 0, 0, 0) + [LATEST] + FINISH
            check("no config.ini%s: log lines" % mode, log_lines(log) == want, log_lines(log))

        # 6. No desktop to create the dialog on (a session begun without a
        # display): the log says so and the program still ends normally.
        session.stop_programs(hold=False)
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
