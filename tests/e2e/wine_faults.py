#!/usr/bin/env python3
"""Faults and bad input through the win64 setup.exe under Wine, where the case
is about Windows behaviour: the real profile reader and registry, the log file
under Windows sharing rules, another program closing the hidden window, runs
at once, and a double-byte code page. Prints 'N passed, N failed'."""
import argparse
import os
import re
import shutil
import subprocess
import sys
import threading
import time

from winetest import *  # noqa: F401,F403 (the shared test vocabulary)

# Elevated runs under Wine log one line more than unelevated ones: Wine keeps
# no owner of its own on files, so the private folder reads as the account's.
OWNER_LINE = 1
MODES = ((False, " (elevated)"), (True, " (unelevated)"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--setup", required=True)
    ap.add_argument("--installer", required=True)
    ap.add_argument("--helper", required=True)
    ap.add_argument("--wine", required=True)
    ap.add_argument("--unelevated", required=True, help="the launcher that runs a program unelevated")
    args = ap.parse_args()

    with Xvfb() as x:
        s = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display, args.unelevated)
        wine = s.wine

        def lines_after_run(name, config, installer="inst.exe"):
            s.fresh()
            pkg = s.package(config, installer)
            s.run_setup(pkg, name)
            return pkg, log_lines(s.log) or []

        def sound(name, got):
            check(name + ": the run's lines are whole and end with END",
                  len(got) >= 9 and got[:3] == ["BANNER", "CSetupDlg::OnInitDialog", "CSetupDlg::InstallPackage START"]
                  and got[-1] == "CSetupDlg::InstallPackage END" and not any("UNEXPECTED" in l for l in got), got)

        # Configuration files through the real GetPrivateProfileStringA.
        wine.reg_clear()
        keys = "[FL]\nversion=1.2.4\nfile=inst.exe\n[driver]\nversion=2.0.1\n"
        utf16 = "\ufeff" + keys.replace("\n", "\r\n")
        config_cases = [
            ("empty config", "", 0, 0),
            ("binary garbage config", bytes((i * 7919 + 13) % 256 for i in range(4096)), 0, 0),
            ("UTF-16 config", utf16.encode("utf-16-le"), 124, 201),
            ("10 MB config with the keys at its end", "[x]\n" + ";" * (10 << 20) + "\n" + keys, 124, 201),
            ("lines of 100000 characters", "[FL]\nx=" + "x" * 100000 + "\n" + keys[5:], 124, 201),
            ("version of 300 characters", "[FL]\nversion=" + "1" * 300 + "\n", None, 0),
            ("duplicate sections and keys", "[FL]\nversion=1.0\nversion=9.9\n[driver]\nversion=2\n[FL]\nversion=8\n",
             10, 2),
            ("joined digits at 2^31", "[FL]\nversion=2.147.483.648\n", -2147483648, 0),
            ("joined digits at 2^32", "[FL]\nversion=4.294.967.296\n", 0, 0),
            ("leading letter", "[FL]\nversion=r2.0\n", 0, 0),
        ]
        ones = 0
        for _ in range(259):
            ones = (ones * 10 + 1) & 0xFFFFFFFF
        ones = ones - (1 << 32) if ones >= 1 << 31 else ones
        for name, config, fl, driver in config_cases:
            fl = ones if fl is None else fl
            _, got = lines_after_run(name, config)
            sound(name, got)
            check(name + ": versions read", got[3:5] == versions(0, fl, 0, driver), got[3:5])

        # Registry values of other types, written with the real registry.
        registry_cases = [
            ("DWORD value", ["/t", "REG_DWORD", "/d", "0x00375041"], 7),  # bytes "AP7\0"
            ("binary value without a terminating zero", ["/t", "REG_BINARY", "/d", "4150312e32"], 12),
            ("multi-string value", ["/t", "REG_MULTI_SZ", "/d", "AP1.5\\0AP9"], 15),
            ("expandable string value", ["/t", "REG_EXPAND_SZ", "/d", "AP7.7"], 77),
            ("empty value", ["/d", ""], 0),
        ]
        for name, data, fl in registry_cases:
            wine.reg_clear()
            wine.run("reg", "add", FERROLINK, "/v", "Version", *data, "/f", "/reg:32")
            _, got = lines_after_run(name, "[FL]\nversion=0\n")
            check(name + ": versions read", got[3:5] == versions(fl, 0, 0, 0), got[3:5])
        wine.reg_clear()

        install = "[FL]\nversion=9\nfile=inst.exe\n"

        # The log file under Windows rules.
        def prepare_log(kind):
            s.fresh()
            if kind == "read-only":
                open(s.log, "w").write("old\r\n")
                wine.run("cmd", "/c", "attrib +r " + s.temp_win + "\\velsetup.log")
            elif kind == "directory":
                os.mkdir(s.log)
        for kind in ("read-only", "directory"):
            prepare_log(kind)
            pkg = s.package(install)
            s.run_setup(pkg, "log file " + kind)
            check("log file %s: the installer still starts" % kind, len(s.started(True)) == 1, s.started(False))
            if kind == "read-only":
                # Windows refuses to write a read-only file; Wine running as
                # root writes it all the same. Either way the run goes on.
                kept = open(s.log, "rb").read()
                print("INFO read-only log %s" % ("left as it was" if kept == b"old\r\n" else "written by Wine"))
            if kind == "read-only":
                wine.run("cmd", "/c", "attrib -r " + s.temp_win + "\\velsetup.log")
            if os.path.isdir(s.log):
                os.rmdir(s.log)

        # Locked by another program for a moment (200 ms): lines wait for it.
        s.fresh()
        pkg = s.package(install)
        locker = subprocess.Popen([args.wine, args.helper, "lock", s.temp_win + "\\velsetup.log", "100"],
                                  env=wine.env, stdout=subprocess.PIPE, text=True)
        check("briefly locked log: locker holds it", locker.stdout.readline().strip() == "locked")
        s.run_setup(pkg, "briefly locked log")
        locker.wait()
        got = log_lines(s.log) or []
        check("briefly locked log: no line lost",
              len(got) == 9 + OWNER_LINE and got[-1] == "CSetupDlg::InstallPackage END", got)

        # Locked for longer than the writer waits: lines are lost, the run is not.
        s.fresh()
        pkg = s.package(install)
        locker = subprocess.Popen([args.wine, args.helper, "lock", s.temp_win + "\\velsetup.log", "8000"],
                                  env=wine.env, stdout=subprocess.PIPE, text=True)
        locker.stdout.readline()
        s.run_setup(pkg, "locked log")
        check("locked log: the installer still starts", len(s.started(True)) == 1)
        locker.wait()

        # A 100 MB log is appended to, never truncated.
        s.fresh()
        old = (b"x" * 1023 + b"\n") * (100 << 10)
        with open(s.log, "wb") as f:
            f.write(old)
        pkg = s.package(install)
        s.run_setup(pkg, "100 MB log")
        with open(s.log, "rb") as f:
            head = f.read(len(old))
            tail = f.read()
        check("100 MB log: old content kept", head == old)
        check("100 MB log: new run appended", b"CSetupDlg::InstallPackage END\r\n" in tail, tail[-200:])

        # Installers: missing, in a subdirectory, unsafe names. Both ways where
        # elevation changes where the copy goes.
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

        for name, file_name, problem in [
                ("parent component", "..\\inst.exe", 'leaves the package folder ("..")'),
                ("absolute path", "C:\\windows\\notepad.exe", "carries a drive or stream"),
                ("UNC path", "\\\\server\\share\\x.exe", "is an absolute or UNC path"),
                ("empty name", "", "is empty")]:
            _, got = lines_after_run(name, "[FL]\nversion=9\nfile=%s\n" % file_name)
            check(name + ": refused in the log", len(got) == 9 and got[5] ==
                  "CSetupDlg::InstallPackage - The installer file name <%s> %s. Quit installation..." % (
                      file_name, problem), got)
            check(name + ": nothing started", s.started(False) == [])

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
        check("window closed during the copy: END written", got[-1:] == ["CSetupDlg::InstallPackage END"], got)
        started = s.started(True)
        if started:
            size = os.path.getsize(wine.unix_path(started[0]))
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
            codes = [p.wait(timeout=120) for p in procs]
            count_name = "%d runs at once%s" % (count, mode)
            check("%s: all exit 0" % count_name, codes == [0] * count, codes)
            got = log_lines(s.log) or []
            counts = {}
            for line in got:
                key = "CopyFile" if line.startswith("CopyFile from ") else line
                counts[key] = counts.get(key, 0) + 1
            check("%s: no torn line" % count_name, not any("UNEXPECTED" in l for l in got),
                  [l for l in got if "UNEXPECTED" in l][:3])
            want = ["BANNER", "CSetupDlg::OnInitDialog", "CSetupDlg::InstallPackage START", "CopyFile",
                    "CSetupDlg::OnFinish START", "CSetupDlg::OnFinish END", "CSetupDlg::InstallPackage END"]
            check("%s: every line of every run" % count_name,
                  all(counts.get(w, 0) == count for w in want), counts)
            size = os.path.getsize(os.path.join(pkg, "inst.exe"))
            if unelevated:
                # One name in %TEMP%: a run may find the other's copy running
                # and fail to replace it; then it logs that and starts nothing.
                failed = sum(n for line, n in counts.items() if "CopyFile failed" in line)
                started = s.started(True, count - failed)
                check("%s: every run started a whole copy or logged why not" % count_name,
                      len(started) + failed == count and started and
                      os.path.getsize(os.path.join(s.temp, "inst.exe")) == size, (started, counts))
            else:
                started = s.started(True, count)
                check("%s: every run started its own whole copy" % count_name,
                      len(set(started)) == count and all(os.path.getsize(wine.unix_path(p)) == size for p in started),
                      started)
            s.stop_programs()

        # A double-byte code page: an executable renamed to a name whose
        # second byte is a backslash in code page 932, in such a folder too.
        ja = dict(wine.env, LC_ALL="ja_JP.UTF-8", LANG="ja_JP.UTF-8")
        probe = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
        if "ja_JP.utf8" not in probe:
            check("code page 932: the ja_JP.UTF-8 locale exists", False, "run: localedef -i ja_JP -f UTF-8 ja_JP.UTF-8")
        else:
            wine.run("wineserver", "-k", check_rc=False)
            wine.run("wineserver", "-w", check_rc=False)
            subprocess.run([args.wine, "cmd", "/c", "exit"], env=ja, capture_output=True)
            for unelevated, mode in MODES:
                s.fresh()
                pkg = s.package(install, folder="\u8868 ")
                os.rename(os.path.join(pkg, "setup.exe"), os.path.join(pkg, "\u8868.exe"))
                p = s.start_setup(pkg, exe="\u8868.exe", extra_env={"LC_ALL": "ja_JP.UTF-8", "LANG": "ja_JP.UTF-8"},
                                  unelevated=unelevated)
                p.wait(timeout=120)
                check("code page 932%s: exit code 0" % mode, p.returncode == 0, p.returncode)
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
            wine.run("wineserver", "-k", check_rc=False)

        s.close()

    return summary()


if __name__ == "__main__":
    sys.exit(main())
