"""Fault cases under Wine about the log file under Windows rules: read-only,
a folder, a link to another file, locked by another program, and large."""
import os
import re
import subprocess
import time

from faults_common import *  # noqa: F401,F403


def log_file_cases(s, args):
    """The log file made hard to write by another program or user."""
    wine = s.wine
    install = INSTALL

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
        if kind == "directory":
            # Elevated (as Wine runs), the run's lines go to a file made new
            # beside the planted folder, which stays as it was.
            beside = [n for n in os.listdir(s.temp) if re.fullmatch(r"velsetup-[0-9a-f]{16}\.log", n)]
            got = log_lines(os.path.join(s.temp, beside[0])) if len(beside) == 1 else []
            check("log file directory: the run's lines in a new file beside it, with the reason",
                  len(got) >= 10 and got[1] == "CSetupDlg::OnInitDialog" and re.fullmatch(
                      r"WriteLog - The log <.*\\velsetup\.log> cannot be trusted, error <\d+>: "
                      r"this run's lines are in this file\.", got[2])
                  and got[-1] == END and os.path.isdir(s.log) and os.listdir(s.log) == [], (beside, got))
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
          len(got) == 9 + OWNER_LINE and got[-1] == END, got)

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
    check("100 MB log: new run appended", (END + "\r\n").encode() in tail, tail[-200:])
