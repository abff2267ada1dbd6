"""Fault cases under Wine at the system's limits: names and paths of the
longest lengths, names the code page cannot show, and a copy whose rename is
blocked."""
import os
import re
import shutil
import threading
import time

from faults_common import *  # noqa: F401,F403

NOT_EXACT = ("CSetupDlg::InstallPackage - The path of the program itself has no exact form in the system's code page. "
             "Quit installation...")


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

    # The user's own classes, which the unelevated half of an elevated
    # administrator may rewrite, name another program for opening programs
    # and a type of the machine's: an elevated run starts the installer
    # itself, or by the class the machine registers, never the user's
    # command. (The type's machine class opens it with a copy of the test
    # installer, which records itself and, unlike a console, shows nothing.)
    hijack = os.path.join(s.work, "hijacked")
    opener = os.path.join(s.work, "machine-opener.exe")
    shutil.copy(s.installer, opener)
    machine_command = '"%s" "%%1"' % wine.windows_path(opener)
    for ext, cls, machine in ((".exe", "exefile", None), (".pwinst", "Pathwarden.TestInstaller", machine_command)):
        s.fresh()
        if os.path.exists(hijack):
            os.remove(hijack)
        keys = []
        if machine:
            keys = ["HKLM\\Software\\Classes\\" + ext, "HKLM\\Software\\Classes\\" + cls]
            wine.run("reg", "add", keys[0], "/ve", "/d", cls, "/f")
            wine.run("reg", "add", keys[1] + "\\shell\\open\\command", "/ve", "/d", machine, "/f")
        keys.append("HKCU\\Software\\Classes\\" + cls)
        wine.run("reg", "add", keys[-1] + "\\shell\\open\\command", "/ve", "/d",
                 'cmd /c echo hijacked> "%s"' % wine.windows_path(hijack), "/f")
        try:
            pkg = s.package("[FL]\nversion=9\nfile=inst%s\n" % ext, installer="inst" + ext)
            s.run_setup(pkg, "the user's class for %s" % ext)
            started = s.started(True)
            opened_by = "machine-opener.exe" if machine else "inst" + ext
            check("the user's class for %s: the installer started, the user's command not" % ext,
                  len(started) == 1 and started[0].strip().lower().endswith(opened_by) and
                  not os.path.exists(hijack), (started, os.path.exists(hijack), log_lines(s.log)))
        finally:
            for key in keys:
                wine.run("reg", "delete", key, "/f", check_rc=False)
