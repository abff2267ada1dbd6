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

STAGED = r"pathwarden-[0-9a-f]{16}"
NOT_EXACT = ("CSetupDlg::InstallPackage - The path of the program itself has no exact form in the system's code page. "
             "Quit installation...")


def staging_bases(s):
    """The folders a copy may be staged in or below: the user's and the
    system's temporary folders (elevated runs stage in a subfolder)."""
    windir = s.wine.unix_path(s.wine.run("cmd", "/c", "echo %WINDIR%").stdout.strip())
    return [s.temp, os.path.join(windir, "temp")]


def files_below(bases, pattern):
    """Files matching `pattern` in the bases and their pathwarden-* folders."""
    found = []
    for base in bases:
        dirs = [base] + [os.path.join(base, d) for d in os.listdir(base) if d.startswith("pathwarden-")]
        for d in dirs:
            if os.path.isdir(d):
                found += [os.path.join(d, f) for f in os.listdir(d) if re.fullmatch(pattern, f)]
    return found


def run_bounded(s, pkg, name, timeout=60):
    """A run that may hang (a crashed program waits for its crash dialog):
    ended after `timeout` seconds, and the hang reported as a failed check."""
    p = s.start_setup(pkg)
    try:
        p.communicate(timeout=timeout)
        check(name + ": exit code 0", p.returncode == 0, p.returncode)
    except subprocess.TimeoutExpired:
        s.record_state("%s: no end within %d s" % (name, timeout))
        # The crash handler holds our pipes: end every process of the prefix.
        s.stop_programs()
        p.kill()
        p.communicate(timeout=30)
        check(name + ": exit code 0", False, "still running after %d s: killed" % timeout)
    return log_lines(s.log) or []


def hostile_cases(s):
    """Legal input at the system's limits and a program whose own folder
    cannot be had: no crash, nothing read or started from outside the
    package, no temporary copy left behind."""
    wine = s.wine
    bases = staging_bases(s)

    # An installer name of 259 characters, the longest the reader gives: the
    # paths built from it are longer than the system takes. Refused.
    s.fresh()
    name = "n" * 259
    pkg = s.package("[FL]\nversion=9\nfile=%s\n" % name)
    got = run_bounded(s, pkg, "file of 259 characters")
    check("file of 259 characters: the run's lines end with the finish lines", got[-3:] == FINISH, got)
    check("file of 259 characters: refused as too long", len(got) == 9 and got[5] == TOO_LONG % (
        wine.windows_path(pkg) + "\\" + name), got)
    check("file of 259 characters: nothing started", s.started(False) == [])

    # The program's own path is longer than 260 characters: config.ini and
    # the installer would be looked up by their bare names, in the current
    # directory and in %WINDIR%. Decoys in both are neither read nor run.
    s.fresh()
    deep, deep_win = s.deep_package("[FL]\nversion=9\nfile=inst.exe\n")
    decoy = s.decoy_folder()
    windir_config = os.path.join(os.path.dirname(bases[1]), "config.ini")
    planted = not os.path.exists(windir_config)
    if planted:
        open(windir_config, "w").write(DECOY_CONFIG)
    here = os.getcwd()
    try:
        os.chdir(decoy)
        s.run_setup(deep, "program path of %d characters" % len(deep_win + "\\setup.exe"))
    finally:
        os.chdir(here)
        if planted:
            os.remove(windir_config)
    got = log_lines(s.log) or []
    check("long program path: the pass ends with its own line",
          got == ["BANNER", "CSetupDlg::OnInitDialog", START, NO_FOLDER] + FINISH, got)
    check("long program path: nothing started", s.started(False) == [], s.started(False))
    check("long program path: the decoy was not copied", files_below(bases, r"evil\.exe") == [],
          files_below(bases, r"evil\.exe"))

    # An elevated run's staged path of exactly 259 characters (the private
    # folder's name takes 28 of them): copied and started, as the same name
    # would be unelevated; the copy's temporary name is never longer than
    # the installer's. The package sits at C:\p so that its own path fits.
    s.fresh()
    name = "n" * (259 - len(s.system_temp_win + "\\pathwarden-0123456789abcdef\\") - len(".exe")) + ".exe"
    short = os.path.join(wine.unix_path("C:\\"), "p")
    shutil.rmtree(short, ignore_errors=True)
    shutil.copytree(s.package("[FL]\nversion=9\nfile=%s\n" % name, installer=name), short)
    try:
        got = run_bounded(s, short, "staged path of 259 characters (elevated)")
        copied = [l for l in got if l.startswith("CopyFile from ")]
        check("staged path of 259 characters (elevated): copied", len(copied) == 1 and
              len(copied[0].split(" to ", 1)[1]) == 259, got)
        check("staged path of 259 characters (elevated): started", len(s.started(True)) == 1, s.started(False))
    finally:
        s.stop_programs()
        shutil.rmtree(short, ignore_errors=True)

    # A name the code page cannot show: the ANSI call would map the fullwidth
    # letter to a plain one and name the look-alike folder beside it, with
    # a decoy config.ini and evil.exe. (Wine makes its environment from the
    # Unix one by bytes, so a temporary folder of such a name cannot be
    # given to it this way; the same conversion serves both.)
    for unelevated, mode in ((False, " (elevated)"), (True, " (unelevated)")):
        name = "look-alike program folder" + mode
        s.fresh()
        pkg = s.package("[FL]\nversion=9\nfile=inst.exe\n", folder="pkg\uff21 ")
        lookalike = pkg.replace("\uff21", "A")
        shutil.copytree(s.decoy_folder(), lookalike)
        s.run_setup(pkg, name, unelevated=unelevated)
        got = log_lines(s.log) or []
        check(name + ": the pass ends with its own line",
              got == ["BANNER", "CSetupDlg::OnInitDialog", START, NOT_EXACT] + FINISH, got)
        check(name + ": nothing copied or started", files_below(bases, r"(evil|inst)\.exe") == [] and
              s.started(False) == [], (files_below(bases, r"(evil|inst)\.exe"), s.started(False)))
        s.stop_programs()
        shutil.rmtree(lookalike, ignore_errors=True)

    # A UTF-16 config.ini naming the installer with a letter the code page
    # lacks, beside a look-alike: the A reader would give "Ainst.exe" and
    # copy and start the look-alike, elevated.
    name = "installer name without an exact form"
    s.fresh()
    pkg = s.package("\ufeff[FL]\r\nversion=9\r\nfile=\uff21inst.exe\r\n".encode("utf-16-le"),
                    installer="\uff21inst.exe")
    shutil.copy(os.path.join(s.decoy_folder(), "evil.exe"), os.path.join(pkg, "Ainst.exe"))
    s.run_setup(pkg, name)
    got = log_lines(s.log) or []
    refusal = ("CSetupDlg::InstallPackage - The installer file name <> has no exact form in the system's code page. "
               "Quit installation...")
    check(name + ": refused in the log", got[3:6] == versions(0, 9, 0, 0) + [refusal] and got[-3:] == FINISH, got)
    check(name + ": nothing copied or started", files_below(bases, r".*inst\.exe") == [] and s.started(False) == [],
          (files_below(bases, r".*inst\.exe"), s.started(False)))
    s.stop_programs()

    # A read-only installer whose copy cannot be renamed into place (another
    # program puts a folder of that name there while it is copied): the
    # temporary copy, read-only like its source, is removed all the same.
    s.fresh()
    pkg = s.package("[FL]\nversion=9\nfile=inst.exe\n")
    source = os.path.join(pkg, "inst.exe")
    with open(source, "ab") as f:
        f.write(b"\0" * (200 << 20))
    os.chmod(source, 0o444)
    blocked = []

    def block_the_rename():
        deadline = time.monotonic() + 60
        while not blocked and time.monotonic() < deadline:
            for part in files_below(bases, r"~[0-9a-f]{7}"):
                os.mkdir(os.path.join(os.path.dirname(part), "inst.exe"))
                blocked.append(os.path.dirname(part))
                break
            time.sleep(0.002)
    blocker = threading.Thread(target=block_the_rename, daemon=True)
    blocker.start()
    s.run_setup(pkg, "read-only installer, rename fails")
    blocker.join()
    got = log_lines(s.log) or []
    check("read-only installer, rename fails: the rename was blocked", blocked, got)
    check("read-only installer, rename fails: the failure is logged",
          any(re.fullmatch(r"CSetupDlg::InstallPackage - CopyFile failed, error <\d+>\. Quit installation\.\.\.", line)
              for line in got), got)
    check("read-only installer, rename fails: no temporary copy left",
          files_below(bases, r"~[0-9a-f]+") == [], files_below(bases, r"~[0-9a-f]+"))
    check("read-only installer, rename fails: nothing started", s.started(False) == [])
    for d in blocked:
        shutil.rmtree(os.path.join(d, "inst.exe"), ignore_errors=True)
    os.chmod(source, 0o644)


# Elevated runs under Wine log one line more than unelevated ones: Wine keeps
# no owner of its own on files, so the private folder reads as the account's.
OWNER_LINE = 1
MODES = ((False, " (elevated)"), (True, " (unelevated)"))


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

        # Configuration files through the real profile reader.
        wine.reg_clear()
        keys = "[FL]\nversion=1.2.4\nfile=inst.exe\n[driver]\nversion=2.0.1\n"
        utf16 = "\ufeff" + keys.replace("\n", "\r\n")
        config_cases = [
            ("empty config", "", 0, 0),
            ("binary garbage config", bytes((i * 7919 + 13) % 256 for i in range(4096)), 0, 0),
            ("UTF-16 config", utf16.encode("utf-16-le"), 124, 201),
            ("UTF-16 version in fullwidth digits (no exact form)",
             "\ufeff[FL]\r\nversion=\uff19\r\n[driver]\r\nversion=2\r\n".encode("utf-16-le"), 0, 2),
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
            elif kind in ("hard link", "symbolic link"):
                # Another file given the log's name, as another user could:
                # the run must not write through it.
                open(other, "wb").write(b"precious\r\n")
                verb = {"hard link": "hardlink", "symbolic link": "symlink"}[kind]
                said = wine.run(args.helper, verb, s.temp_win + "\\velsetup.log", s.temp_win + "\\other.txt",
                                check_rc=False).stdout.strip()
                return said == "linked" and os.path.exists(s.log)
            return True
        other = os.path.join(s.temp, "other.txt")
        for kind in ("read-only", "directory", "hard link", "symbolic link"):
            if not prepare_log(kind):
                # Wine 8 reports success for CreateSymbolicLinkA and makes nothing.
                print("INFO log file %s: this Wine cannot make one; case not run" % kind)
                os.remove(other)
                continue
            pkg = s.package(install)
            s.run_setup(pkg, "log file " + kind)
            check("log file %s: the installer still starts" % kind, len(s.started(True)) == 1, s.started(False))
            if os.path.exists(other):
                check("log file %s: the other file is left as it was" % kind,
                      open(other, "rb").read() == b"precious\r\n", open(other, "rb").read()[:200])
                os.remove(s.log)  # the link first: a dangling one would trip the next clean-up
                os.remove(other)
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

        # Held for the whole run, without sharing or by the writers' lock:
        # each line waits at most 200 ms on the clock, then is dropped (no
        # file) or written unserialised (no lock). Sleeps are made as coarse
        # as Windows' default timer, where waits counted in attempts last
        # far longer than they say.
        coarse = os.path.join(s.work, "coarse_timer.so")
        subprocess.run(["cc", "-shared", "-fPIC", "-o", coarse,
                        os.path.join(os.path.dirname(os.path.abspath(__file__)), "coarse_timer.c"), "-ldl"],
                       check=True, timeout=60)
        lines = 9 + OWNER_LINE  # what an install run writes (see "briefly locked log")
        bound = lines * 0.25 + 3.0  # 200 ms a line, the timer's last tick, Wine's start-up
        for name, mode in (("locked log", "lock"), ("log under the writers' lock", "lock-writers")):
            s.fresh()
            pkg = s.package(install)
            locker = subprocess.Popen([args.wine, args.helper, mode, s.temp_win + "\\velsetup.log", "60000"],
                                      env=wine.env, stdout=subprocess.PIPE, text=True)
            check(name + ": locker holds it", locker.stdout.readline().strip() == "locked")
            # Timed to the program's own exit: a process Wine starts for the
            # session may hold its output open while the locker lives.
            began = time.monotonic()
            p = s.start_setup(pkg, extra_env={"LD_PRELOAD": coarse})
            code = p.wait(timeout=120)
            took = time.monotonic() - began
            locker.terminate()
            locker.wait(timeout=30)
            p.communicate(timeout=60)
            print("INFO %s: the run took %.1f s" % (name, took))
            check(name + ": exit code 0", code == 0, code)
            check("%s: the run ends within %.1f s (200 ms a line)" % (name, bound), took < bound, "%.1f s" % took)
            check(name + ": the installer still starts", len(s.started(True)) == 1)
            if mode == "lock-writers":
                got = log_lines(s.log) or []
                check(name + ": every line written all the same", len(got) == lines, got)

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
                ("empty name", "", "is empty"),
                ("reserved device name", "aux.exe", "names a reserved device"),
                ("name ending in a dot", "inst.exe.", "has a component that ends in a dot or a space")]:
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
                      len(set(started)) == count and all(os.path.getsize(s.local_path(p)) == size for p in started),
                      started)
            s.stop_programs()

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

        hostile_cases(s)
        s.close()

    return summary()


if __name__ == "__main__":
    sys.exit(main())
