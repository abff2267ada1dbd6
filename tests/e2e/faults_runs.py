"""Fault cases under Wine about the installer and the runs: a missing one,
one in a subdirectory, one still running, the hidden window closed during the
copy, runs at once on one log, and a double-byte code page."""
import os
import re
import shutil
import subprocess
import time

from faults_common import *  # noqa: F401,F403


def installer_cases(s, args):
    """Installers missing, in a subdirectory, or still running from an earlier run."""
    install = INSTALL
    # Both ways where elevation changes where the copy goes.
    for unelevated, mode in MODES:
        extra = 0 if unelevated else OWNER_LINE
        s.fresh()
        pkg = s.package(install, installer=None)
        s.run_setup(pkg, "missing installer" + mode, unelevated=unelevated)
        got = log_lines(s.log) or []
        check("missing installer%s: the failed copy is logged" % mode,
              len(got) == 10 + extra and got[6 + extra] == "CSetupDlg::InstallPackage - CopyFile failed, error <2>. "
              "Quit installation...", got)
        check("missing installer%s: nothing started" % mode, s.started(False) == [])
        s.fresh()
        pkg = s.package("[FL]\nversion=9\nfile=sub\\inst.exe\n", installer=None)
        os.mkdir(os.path.join(pkg, "sub"))
        shutil.copy(args.installer, os.path.join(pkg, "sub", "inst.exe"))
        s.run_setup(pkg, "installer in a subdirectory" + mode, unelevated=unelevated)
        started = s.started(True)
        check("installer in a subdirectory%s: started from the copy" % mode,
              len(started) == 1 and re.fullmatch(s.staging(unelevated) + r"sub\\inst\.exe", started[0], re.I),
              (started, log_lines(s.log)))
        check("installer in a subdirectory%s: started in its copy's folder" % mode,
              re.fullmatch(s.staging(unelevated) + r"sub\\?", s.start_folder_recorded(), re.I),
              s.start_folder_recorded())

    # Unelevated, the copy goes to one name in %TEMP%: while an earlier
    # copy still runs, Windows cannot replace it; the failure is logged and
    # nothing started. Elevated runs stage a fresh folder and never meet it.
    s.fresh()
    pkg = s.package(install)
    s.run_setup(pkg, "earlier copy still running: first run (unelevated)", unelevated=True,
                extra_env={"PATHWARDEN_LINGER": "15000"})
    check("earlier copy still running: the first copy started", len(s.started(True)) == 1)
    s.run_setup(pkg, "earlier copy still running: second run (unelevated)", unelevated=True)
    got = log_lines(s.log) or []
    check("earlier copy still running: the failed copy is logged",
          len(got) == 19 and re.fullmatch(r"CSetupDlg::InstallPackage - CopyFile failed, error <(5|32)>\. "
                                           r"Quit installation\.\.\.", got[15]), got)
    check("earlier copy still running: nothing more started", len(s.started(False)) == 1, s.started(False))
    s.run_setup(pkg, "earlier copy still running: elevated run", extra_env={"PATHWARDEN_LINGER": "0"})
    check("earlier copy still running: an elevated run starts its own copy", len(s.started(True, 2)) == 2,
          s.started(False))
    s.stop_programs()


def concurrent_cases(s, args):
    """Another program closing the window, and runs at once."""
    wine = s.wine
    install = INSTALL
    # Another program closes the hidden window while a large installer is
    # copied: the copy completes (or is not started) and END is written.
    s.fresh()
    pkg = s.package(install)
    with open(os.path.join(pkg, "inst.exe"), "ab") as f:
        f.write(b"\0" * (300 << 20))
    closer = subprocess.Popen([args.wine, args.helper, "close-setup", "20000"], env=wine.env,
                              stdout=subprocess.PIPE, text=True)
    time.sleep(0.5)
    s.run_setup(pkg, "window closed during the copy")
    said = closer.communicate()[0].strip()
    check("window closed during the copy: the closer found the hidden window", said == "closed hidden", said)
    got = log_lines(s.log) or []
    check("window closed during the copy: END written", got[-1:] == [END], got)
    started = s.started(True)
    if started:
        size = os.path.getsize(s.local_path(started[0]))
        check("window closed during the copy: the started copy is whole",
              size == os.path.getsize(os.path.join(pkg, "inst.exe")), size)
    else:
        check("window closed during the copy: nothing half-copied started", "CopyFile failed" in " ".join(got))

    # Runs at once on one log. The installers stay running until all runs
    # have ended, so that every started copy can be checked: elevated runs
    # clear earlier folders whose installer has ended.
    for count, unelevated, mode in ((2, False, ""), (8, False, ""), (2, True, " (unelevated)")):
        s.fresh()
        pkg = s.package(install)
        procs = [s.start_setup(pkg, extra_env={"PATHWARDEN_LINGER": "30000"}, unelevated=unelevated)
                 for _ in range(count)]
        count_name = "%d runs at once%s" % (count, mode)
        codes = [s.wait_run(p, "%s, run %d" % (count_name, n + 1), 120) for n, p in enumerate(procs)]
        check("%s: all exit 0" % count_name, codes == [0] * count, codes)
        got = log_lines(s.log) or []
        counts = {}
        for line in got:
            key = "CopyFile" if line.startswith("CopyFile from ") else line
            counts[key] = counts.get(key, 0) + 1
        check("%s: no torn line" % count_name, not any("UNEXPECTED" in l for l in got),
              [l for l in got if "UNEXPECTED" in l][:3])
        want = ["BANNER"] + HEAD + ["CopyFile"] + FINISH
        check("%s: every line of every run" % count_name,
              all(counts.get(w, 0) == count for w in want), counts)
        size = os.path.getsize(os.path.join(pkg, "inst.exe"))
        if unelevated:
            # One name in %TEMP%: a run may find the other's copy running
            # and fail to replace it, or the other run may delete its copy
            # (setup deletes the target before copying) between its copy and
            # its start, so that the shell finds no file. Either way it logs
            # that and starts nothing.
            failed = sum(n for line, n in counts.items()
                         if "CopyFile failed" in line or line == "CSetupDlg::InstallPackage - ShellExecute failed, "
                         "result <2>.")
            started = s.started(True, count - failed)
            check("%s: every run started a whole copy or logged why not" % count_name,
                  len(started) + failed == count and started and
                  os.path.getsize(os.path.join(s.temp, "inst.exe")) == size, (started, counts))
        else:
            started = s.started(True, count)
            check("%s: every run started its own whole copy" % count_name,
                  len(set(started)) == count and all(os.path.getsize(s.local_path(p)) == size for p in started),
                  started)
        s.stop_programs()


def code_page_cases(s, args):
    """A double-byte code page."""
    wine = s.wine
    install = INSTALL
    # A double-byte code page: an executable renamed to a name whose
    # second byte is a backslash in code page 932, in such a folder too.
    probe = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
    if "ja_JP.utf8" not in probe:
        check("code page 932: the ja_JP.UTF-8 locale exists", False, "run: localedef -i ja_JP -f UTF-8 ja_JP.UTF-8")
    else:
        # Wine takes the code page when its session begins.
        s.hold_desktop({"LC_ALL": "ja_JP.UTF-8", "LANG": "ja_JP.UTF-8"})
        for unelevated, mode in MODES:
            s.fresh()
            pkg = s.package(install, folder="\u8868 ")
            os.rename(os.path.join(pkg, "setup.exe"), os.path.join(pkg, "\u8868.exe"))
            p = s.start_setup(pkg, exe="\u8868.exe", extra_env={"LC_ALL": "ja_JP.UTF-8", "LANG": "ja_JP.UTF-8"},
                              unelevated=unelevated)
            code = s.wait_run(p, "code page 932" + mode, 120)
            check("code page 932%s: exit code 0" % mode, code == 0, code)
            raw = open(s.log, "rb").read() if os.path.exists(s.log) else b""
            text = raw.decode("cp932", errors="replace")
            src = wine.windows_path(os.path.join(pkg, "inst.exe"))
            check("code page 932%s: config.ini found beside the executable" % mode,
                  "nConfigFLVersion=<9>" in text, text[-600:])
            m = re.search(r"CopyFile from (.*) to (.*)\r\n", text)
            check("code page 932%s: the copy line shows the right paths" % mode,
                  m and m.group(1) == src and re.fullmatch(s.staging(unelevated) + r"inst\.exe", m.group(2)),
                  m.groups() if m else text[-600:])
            check("code page 932%s: started" % mode, len(s.started(True)) == 1)
        s.hold_desktop({})
