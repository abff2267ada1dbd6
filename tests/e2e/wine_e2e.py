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

RULE = "=" * 71
STAMP = re.compile(r"^\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\t (.*)$")
BANNER = re.compile(r"^\d{4}/\d{2}/\d{2}\t\d{2}:\d{2}:\d{2}\tPathwarden Installer$")
FERROLINK = r"HKLM\SOFTWARE\Veltrano\Ferrolink"
PATHWARDEN = r"HKLM\SOFTWARE\Veltrano\Pathwarden"
INSTALLATION = r"HKLM\SOFTWARE\Veltrano\Veltrano Driver Installation"
MSM = r"HKLM\SOFTWARE\Veltrano\Veltrano Driver MSM"
START = "CSetupDlg::InstallPackage START"
LATEST = "CSetupDlg::InstallPackage - Local FL or driver is already the latest. Quit installation..."
FINISH = ["CSetupDlg::OnFinish START", "CSetupDlg::OnFinish END", "CSetupDlg::InstallPackage END"]

results = []


def check(name, ok, detail=""):
    results.append(bool(ok))
    print(("PASS " if ok else "FAIL ") + name + ("" if ok else "\n    " + str(detail).replace("\n", "\n    ")))
    sys.stdout.flush()


def versions(local_fl, config_fl, local_driver, config_driver):
    return ["CSetupDlg::InstallPackage nLocalFLVersion=<%d>, nConfigFLVersion=<%d>" % (local_fl, config_fl),
            "CSetupDlg::InstallPackage nLocalDriverVersion=<%d>, nConfigDriverVersion=<%d>"
            % (local_driver, config_driver)]


class Xvfb:
    """An X server on a free display, for the dialog manager and xdotool."""

    def __enter__(self):
        for display in range(90, 200):
            if os.path.exists("/tmp/.X%d-lock" % display):
                continue
            self.proc = subprocess.Popen(["Xvfb", ":%d" % display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            for _ in range(100):
                if os.path.exists("/tmp/.X11-unix/X%d" % display):
                    self.display = ":%d" % display
                    return self
                if self.proc.poll() is not None:
                    break
                time.sleep(0.05)
            self.proc.kill()
        raise RuntimeError("no X display could be started")

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait()


class WindowWatch(threading.Thread):
    """Polls for visible windows while a run is under way."""

    def __init__(self, display):
        super().__init__(daemon=True)
        self.display = display
        self.seen = set()
        self.running = True
        # Windows that were visible before the run (the X server's own) are
        # not the program's.
        self.baseline = set(self.visible())

    def visible(self):
        env = dict(os.environ, DISPLAY=self.display)
        return subprocess.run(["xdotool", "search", "--onlyvisible", "--name", ""], env=env,
                              capture_output=True, text=True).stdout.split()

    def run(self):
        env = dict(os.environ, DISPLAY=self.display)
        while self.running:
            for wid in self.visible():
                if wid in self.baseline:
                    continue
                name = subprocess.run(["xdotool", "getwindowname", wid], env=env, capture_output=True,
                                      text=True).stdout.strip()
                self.seen.add(name or wid)
            time.sleep(0.02)

    def stop(self):
        self.running = False
        self.join()


class Wine:
    def __init__(self, runner, display):
        self.runner = runner
        self.env = dict(os.environ, DISPLAY=display)

    def run(self, *args, check_rc=True, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        p = subprocess.run([self.runner] + list(args), env=env, capture_output=True, text=True)
        if check_rc and p.returncode != 0:
            raise RuntimeError("%s failed: %s %s" % (args, p.stdout, p.stderr))
        return p

    def unix_path(self, windows_path):
        return self.run("winepath", "-u", windows_path).stdout.strip()

    def windows_path(self, unix_path):
        return self.run("winepath", "-w", unix_path).stdout.strip()

    def reg_clear(self):
        for view in ("/reg:32", "/reg:64"):
            self.run("reg", "delete", r"HKLM\SOFTWARE\Veltrano", "/f", view, check_rc=False)

    def reg_set(self, key, value, view):
        self.run("reg", "add", key, "/v", "Version", "/d", value, "/f", "/reg:%d" % view)


def log_lines(path):
    """The log's message texts, banners as 'BANNER'; None if there is no log."""
    if not os.path.exists(path):
        return None
    raw = open(path, "rb").read().decode("latin-1")
    lines = []
    for line in raw.split("\r\n"):
        if line in ("", RULE):
            continue
        if BANNER.match(line):
            lines.append("BANNER")
            continue
        m = STAMP.match(line)
        lines.append(m.group(1) if m else "UNEXPECTED: " + repr(line))
    return lines


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--setup", required=True)
    ap.add_argument("--installer", required=True)
    ap.add_argument("--wine", required=True)
    args = ap.parse_args()

    with Xvfb() as x:
        wine = Wine(args.wine, x.display)
        # Wine's desktop process picks its display when the session starts:
        # begin a session of our own on this display, and end it afterwards.
        wine.run("wineserver", "-k", check_rc=False)
        wine.run("wineserver", "-w", check_rc=False)
        temp_win = wine.run("cmd", "/c", "echo %TEMP%").stdout.strip()
        temp = wine.unix_path(temp_win)
        log = os.path.join(temp, "velsetup.log")
        work = tempfile.mkdtemp(prefix="pathwarden-e2e-")
        record = os.path.join(work, "record.txt")
        record_win = wine.windows_path(record)

        def package(config, installer="inst.exe"):
            pkg = tempfile.mkdtemp(prefix="pkg ", dir=work)  # a space in the path, as in "Program Files"
            shutil.copy(args.setup, os.path.join(pkg, "setup.exe"))
            if installer:
                shutil.copy(args.installer, os.path.join(pkg, installer))
            if config is not None:
                with open(os.path.join(pkg, "config.ini"), "w", newline="\r\n") as f:
                    f.write(config)
            return pkg

        def fresh():
            for name in os.listdir(temp):
                path = os.path.join(temp, name)
                if name in ("velsetup.log", "inst.exe"):
                    os.remove(path)
                elif name.startswith("pathwarden-"):
                    shutil.rmtree(path, ignore_errors=True)
            for path in (record, record + ".acl"):
                if os.path.exists(path):
                    os.remove(path)

        def run_setup(pkg, name):
            watch = WindowWatch(x.display)
            watch.start()
            began = time.monotonic()
            try:
                p = wine.run(os.path.join(pkg, "setup.exe"), check_rc=False,
                             extra_env={"PATHWARDEN_RECORD": record_win})
                elapsed = time.monotonic() - began
            finally:
                time.sleep(0.2)
                watch.stop()
            check(name + ": exit code 0", p.returncode == 0, p.returncode)
            check(name + ": ended within 30 s", elapsed < 30, "%.1f s" % elapsed)
            check(name + ": no window became visible", not watch.seen, watch.seen)

        def started(expect):
            deadline = time.monotonic() + (10 if expect else 1)
            while time.monotonic() < deadline:
                if os.path.exists(record) and open(record).read():
                    break
                time.sleep(0.05)
            return open(record).read().splitlines() if os.path.exists(record) else []

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
            run_setup(pkg, name)
            got = log_lines(log) or []
            check(name + ": versions read", got[3:5] == versions(fl, 0, driver, 0), got[3:5])

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
        shutil.rmtree(work, ignore_errors=True)
        wine.run("wineserver", "-k", check_rc=False)

    passed = sum(results)
    print("%d passed, %d failed" % (passed, len(results) - passed))
    return 0 if passed == len(results) and results else 1


if __name__ == "__main__":
    sys.exit(main())
