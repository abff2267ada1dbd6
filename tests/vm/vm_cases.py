#!/usr/bin/env python3
"""Runs in the test guest (tests/vm/run.sh): the shipped i686 setup.exe in one
Wine prefix, either the 64-bit one (a 32-bit process under WOW64) or the
32-bit one (32-bit Windows, one registry view). Registry views through the
log's version numbers, whole runs with the log's exact bytes, the copy and
its start, elevated and unelevated, no visible window, exit code 0, code page
932, and the hostile cases: an installer name of 259 characters, a program
path past 260, a DLL planted beside setup.exe.
Prints one line per check and 'N passed, N failed'."""
import argparse
import hashlib
import os
import shutil
import sys
import time

from vm_guest import RUN_LIMIT, Guest, exact_log, staged_lines
from winetest import (FERROLINK, FINISH, HEAD, INSTALLATION, LATEST, MSM, NO_FOLDER, PATHWARDEN, TOO_LONG, Session,
                      Wine, Xvfb, check, summary, versions)

# The view each record is read from by a 32-bit process on 64-bit Windows
# (the log's first version line takes the client, the second the driver).
KEY_VIEWS = [(FERROLINK, "AP9.9", 32, "client"), (PATHWARDEN, "AP9.9", 64, "client"),
             (INSTALLATION, "9.9", 64, "driver"), (MSM, "9.9", 32, "driver")]


def view_cases(g):
    """Each record alone in each view, then all four at once."""
    cases = []
    for key, value, home, field in KEY_VIEWS:
        for view in (32, 64):
            seen = view == home or not g.wow64
            number = 99 if seen else 0
            cases.append(("%s in the %d-bit view" % (key.rsplit("\\", 1)[1], view), [(key, value, view)],
                          (number, 0) if field == "client" else (0, number)))
    # The client's first record hides the second; the higher driver record wins.
    cases.append(("all four records in their views",
                  [(FERROLINK, "AP1.1", 32), (PATHWARDEN, "AP9.9", 64), (INSTALLATION, "3.3", 64), (MSM, "4.4", 32)],
                  (11, 44)))
    for name, records, (client, driver) in cases:
        g.registry(records)
        g.s.fresh()
        pkg = g.s.package("[FL]\nversion=0\n")
        raw, window = g.run(pkg, name)
        exact_log(name, raw, HEAD + versions(client, 0, driver, 0) + [LATEST] + FINISH, window)


CONFIG = "[FL]\nversion=1.2.4\nfile=inst.exe\n[driver]\nversion=2.0.1\n"


def whole_runs(g):
    s, wine = g.s, g.wine
    installer = open(g.args.installer, "rb").read()

    # An older client: copied into a fresh staging folder and started there.
    g.registry([(FERROLINK, "AP1.2.3", 32), (INSTALLATION, "2.0.1", 64)])
    s.fresh()
    pkg = s.package(CONFIG)
    src = wine.windows_path(os.path.join(pkg, "inst.exe"))
    raw, window = g.run(pkg, "install")
    m = exact_log("install", raw, HEAD + versions(123, 124, 201, 201) + staged_lines(src, s.system_temp_win) +
                  FINISH, window)
    folder = m.group("folder").decode() if m else "?"
    target = "%s\\%s\\inst.exe" % (s.system_temp_win, folder)
    # Windows paths compare without case: the installer sees "temp".
    check("install: the staged copy was started, once", [p.lower() for p in g.started()] == [target.lower()],
          open(s.record).read() if os.path.exists(s.record) else "nothing started")
    copied = os.path.join(s.system_temp, folder, "inst.exe")
    check("install: the started copy is the shipped installer, whole",
          os.path.exists(copied) and open(copied, "rb").read() == installer, copied)

    # Up to date: nothing copied, nothing started.
    g.registry([(FERROLINK, "AP1.2.4", 32), (INSTALLATION, "2.0.1", 64)])
    s.fresh()
    pkg = s.package(CONFIG)
    raw, window = g.run(pkg, "no install")
    exact_log("no install", raw, HEAD + versions(124, 124, 201, 201) + [LATEST] + FINISH, window)
    time.sleep(3)
    check("no install: nothing started", not os.path.exists(s.record))
    copies = [n for d in (s.temp, s.system_temp) for n in os.listdir(d) if n == "inst.exe" or n.startswith("pathwarden-")]
    check("no install: nothing copied", not copies, copies)


def code_page_932(g):
    """The executable renamed 表.exe in a folder 表…: in code page 932 the
    character's second byte is a backslash."""
    s, wine = g.s, g.wine
    ja = {"LC_ALL": "ja_JP.UTF-8", "LANG": "ja_JP.UTF-8"}
    # Wine takes the code page when its session begins.
    s.hold_desktop(ja)
    g.registry([])
    s.fresh()
    pkg = s.package("[FL]\nversion=9\nfile=inst.exe\n", folder="\u8868 ")
    os.rename(os.path.join(pkg, "setup.exe"), os.path.join(pkg, "\u8868.exe"))
    src = wine.windows_path(os.path.join(pkg, "inst.exe"))
    raw, window = g.run(pkg, "code page 932", exe="\u8868.exe", extra_env=ja)
    exact_log("code page 932", raw, HEAD + versions(0, 9, 0, 0) + staged_lines(src, s.system_temp_win, "cp932") +
              FINISH, window, encoding="cp932")
    check("code page 932: started", len(g.started()) == 1)
    s.hold_desktop({})


def unelevated_run(g):
    """An older client, run with the limited token linked to Wine's elevated
    one (tests/e2e/unelevated.c): the copy goes straight into %TEMP%."""
    s, wine = g.s, g.wine
    g.registry([(FERROLINK, "AP1.2.3", 32), (INSTALLATION, "2.0.1", 64)])
    s.fresh()
    pkg = s.package(CONFIG)
    src = wine.windows_path(os.path.join(pkg, "inst.exe"))
    target = s.temp_win + "\\inst.exe"
    raw, window = g.run(pkg, "install (unelevated)", unelevated=True)
    exact_log("install (unelevated)", raw, HEAD + versions(123, 124, 201, 201) +
              ["CopyFile from %s to %s" % (src, target)] + FINISH, window)
    check("install (unelevated): the copy in %TEMP% was started",
          [p.lower() for p in g.started()] == [target.lower()],
          open(s.record).read() if os.path.exists(s.record) else "nothing started")
    check("install (unelevated): the installer found itself unelevated", s.elevation_recorded() == "0",
          s.elevation_recorded())


def hostile(g):
    """Legal input at the system's limits, and a DLL planted beside setup.exe."""
    s, wine = g.s, g.wine
    g.registry([])

    # An installer name of 259 characters (the longest the reader gives):
    # refused before anything is formed from it, and the run ends normally.
    s.fresh()
    name = "n" * 259
    pkg = s.package("[FL]\nversion=9\nfile=%s\n" % name)
    raw, window = g.run(pkg, "file of 259 characters")
    exact_log("file of 259 characters", raw, HEAD + versions(0, 9, 0, 0) +
              [TOO_LONG % (wine.windows_path(pkg) + "\\" + name)] + FINISH, window)

    # The program's own path past 260 characters: the pass ends with its own
    # line, and a decoy config.ini and installer in the current directory are
    # neither read nor started.
    s.fresh()
    deep, deep_win = s.deep_package("[FL]\nversion=9\nfile=inst.exe\n")
    decoy = s.decoy_folder()
    here = os.getcwd()
    try:
        os.chdir(decoy)
        raw, window = g.run(deep, "program path of %d characters" % len(deep_win + "\\setup.exe"))
    finally:
        os.chdir(here)
    exact_log("long program path", raw, HEAD + [NO_FOLDER] + FINISH, window)
    time.sleep(3)
    check("long program path: nothing started", not os.path.exists(s.record))

    # A uxtheme.dll planted beside the program, loaded native-first as
    # Windows would: a plain hidden dialog loads it (so the case can fail);
    # setup.exe does not.
    native_first = {"WINEDLLOVERRIDES": "mscoree,mshtml=;uxtheme=n,b"}
    for label, program, loads in (("control dialog", g.args.control, True), ("setup.exe", g.args.setup, False)):
        s.fresh()
        s.setup = program
        pkg = s.package("[FL]\nversion=0\n")
        shutil.copy(g.args.canary, os.path.join(pkg, "uxtheme.dll"))
        p = s.start_setup(pkg, extra_env=native_first)
        p.communicate(timeout=RUN_LIMIT)
        loaded = os.path.exists(os.path.join(pkg, "uxtheme.dll.loaded"))
        check("planted uxtheme.dll: %s %s it" % (label, "loads" if loads else "does not load"), loaded == loads)
    s.setup = g.args.setup


PARTS = {"view_cases": view_cases, "whole_runs": whole_runs, "code_page_932": code_page_932,
         "unelevated_run": unelevated_run, "hostile": hostile}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--guest", choices=["64", "32"], required=True)
    ap.add_argument("--setup", required=True)
    ap.add_argument("--setup-sha256", required=True)
    ap.add_argument("--installer", required=True)
    ap.add_argument("--holder", required=True, help="the program that holds Wine's desktop open")
    ap.add_argument("--wine", required=True)
    ap.add_argument("--canary", required=True)
    ap.add_argument("--control", required=True)
    ap.add_argument("--unelevated", required=True)
    ap.add_argument("--parts", default="view_cases,whole_runs,code_page_932,unelevated_run,hostile",
                    help="which groups of cases to run")
    args = ap.parse_args()
    began = time.monotonic()

    check("setup.exe is the shipped file, byte for byte",
          hashlib.sha256(open(args.setup, "rb").read()).hexdigest() == args.setup_sha256)
    with Xvfb() as x:
        wine = Wine(args.wine, x.display, limit=RUN_LIMIT)
        session = Session(args.setup, args.installer, wine, x.display, args.unelevated, holder=args.holder)
        print("TIME session start: %.1f s" % (time.monotonic() - began))
        g = Guest(args, session)
        # A 32-bit program's environment: under WOW64 it names the machine's
        # own architecture too.
        arch = session.wine.run("cmd", "/c", "echo %PROCESSOR_ARCHITECTURE% %PROCESSOR_ARCHITEW6432%").stdout.split()
        want = ["x86", "AMD64"] if g.wow64 else ["x86", "%PROCESSOR_ARCHITEW6432%"]
        check("the guest is %s-bit Windows" % args.guest, arch == want, arch)
        check("the prefix has %s SysWOW64 folder" % ("a" if g.wow64 else "no"),
              os.path.isdir(os.path.join(os.environ["WINEPREFIX"], "drive_c/windows/syswow64")) == g.wow64)
        for part in [PARTS[name] for name in args.parts.split(",")]:
            part_began = time.monotonic()
            part(g)
            print("TIME %s (all): %.1f s" % (part.__name__, time.monotonic() - part_began))
        g.registry([])
        session.close()
    print("TIME guest suite: %.1f s" % (time.monotonic() - began))
    return summary()


if __name__ == "__main__":
    sys.exit(main())
