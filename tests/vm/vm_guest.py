"""The test guest's way of running setup.exe (tests/vm/vm_cases.py): the
registry state written in one batch, a watched run with the log's bytes and
its local time window, and the log checked byte for byte."""
import os
import re
import subprocess
import time

from winetest import RULE, STAGED, WindowWatch, check, known_wine_cause

# Emulated, a run takes seconds rather than milliseconds: generous bounds.
# Wine commands get the same: the first after the session restarts in
# another locale took over 60 s on a busy host.
RUN_LIMIT = 240
START_LIMIT = 120


class Guest:
    def __init__(self, args, session):
        self.args, self.s, self.wine = args, session, session.wine
        self.wow64 = args.guest == "64"
        self.regfile = os.path.join(session.work, "state.bat")
        self.regfile_win = session.wine.windows_path(self.regfile)

    def registry(self, records):
        """Replaces the Veltrano keys by `records` (key, value, view), each
        view named explicitly (`wine reg` may be the 32-bit or the 64-bit
        reg.exe; its import ignores the view), in one batch file. A 32-bit
        Windows has one view."""
        def flag(view):
            return " /reg:%d" % view if self.wow64 else ""
        lines = ['reg delete "HKLM\\SOFTWARE\\Veltrano" /f%s >nul 2>nul' % flag(v) for v in (32, 64)]
        lines += ['reg add "%s" /v Version /d "%s" /f%s >nul' % (key, value, flag(view)) for key, value, view in records]
        with open(self.regfile, "w", newline="\r\n") as f:
            f.write("@echo off\n" + "\n".join(lines) + "\n")
        # The batch's exit code is its last command's: a record's, or a
        # delete that finds nothing.
        self.wine.run("cmd", "/c", self.regfile_win, check_rc=bool(records))

    def run(self, pkg, name, exe="setup.exe", extra_env=None, unelevated=False):
        """One run of setup.exe, watched for visible windows; the log's bytes
        and the run's local start and end times. A run that meets a known
        Wine cause is repeated once, and says so."""
        raw, window = self.run_once(pkg, name, exe, extra_env, unelevated)
        cause = known_wine_cause(raw.decode("latin-1"))
        if cause:
            print("INFO %s: %s; run again, once" % (name, cause))
            os.remove(self.s.log)
            raw, window = self.run_once(pkg, name + " (again)", exe, extra_env, unelevated)
        return raw, window

    def run_once(self, pkg, name, exe, extra_env, unelevated=False):
        if os.path.exists(self.s.log):
            os.remove(self.s.log)
        watch = WindowWatch(self.s.display)
        watch.start()
        began, wall = time.monotonic(), time.time()
        p = self.s.start_setup(pkg, exe, extra_env, unelevated)
        said = b""
        try:
            said = p.communicate(timeout=RUN_LIMIT)[0] or b""
        except subprocess.TimeoutExpired:
            self.s.record_state("%s: no end within %d s" % (name, RUN_LIMIT))
            p.kill()
            p.communicate()
        finally:
            time.sleep(0.5)
            watch.stop()
        elapsed = time.monotonic() - began
        print("TIME %s: %.1f s" % (name, elapsed))
        check(name + ": exit code 0", p.returncode == 0, p.returncode)
        check(name + ": no window became visible", not watch.seen, watch.seen)
        if unelevated:
            check(name + ": setup ran unelevated", b"TokenElevation=0" in said, said)
        raw = open(self.s.log, "rb").read() if os.path.exists(self.s.log) else b""
        return raw, (wall - 2, time.time() + 2)

    def started(self):
        """The paths the stand-in installer recorded, once it has recorded one."""
        deadline = time.monotonic() + START_LIMIT
        while time.monotonic() < deadline and not os.path.exists(self.s.record):
            time.sleep(0.2)
        time.sleep(1)
        return open(self.s.record).read().splitlines() if os.path.exists(self.s.record) else []


def exact_log(name, raw, lines, window, encoding="latin-1"):
    """The whole file, byte for byte: a CR LF, the rule, the banner, the rule,
    then one stamped line per entry of `lines` (texts, or byte patterns), all
    in CR LF, every time stamp the local time of the run."""
    day, clock = rb"\d{4}/\d{2}/\d{2}", rb"\d{2}:\d{2}:\d{2}"
    rule = RULE.encode()
    # Escaped as bytes: in code page 932 a character's second byte may be a
    # backslash.
    pattern = (rb"\r\n" + rule + rb"\r\n" + day + rb"\t" + clock + rb"\tPathwarden Installer\r\n" + rule + rb"\r\n" +
               b"".join(day + b" " + clock + b"\t " + (x if isinstance(x, bytes) else re.escape(x.encode(encoding))) +
                        b"\r\n" for x in lines))
    m = re.fullmatch(pattern, raw)
    if not m:
        check(name + ": the log's exact bytes", False,
              "expected %r\ngot %r" % (lines, raw.decode(encoding, errors="replace")))
        return None
    found = re.findall(rb"^(" + day + rb")[ \t](" + clock + rb")\t", raw, re.M)
    stamps = [time.mktime(time.strptime((d + b" " + c).decode(), "%Y/%m/%d %H:%M:%S")) for d, c in found]
    check(name + ": the log's exact bytes, stamped with the run's local time",
          len(stamps) == len(lines) + 1 and all(window[0] <= t <= window[1] for t in stamps),
          "%s outside %s" % (stamps, window))
    return m


def staged_lines(src, base_win, encoding="latin-1"):
    """What an elevated run logs before the finish lines when it copies, as
    byte patterns; the staging folder is captured. Wine keeps no owner of its
    own on files, so a line says the folder is the running account's."""
    folder = re.escape(base_win.encode(encoding)) + rb"\\(?P<folder>" + STAGED.encode() + rb")\\"
    return [b"CSetupDlg::InstallPackage - The system did not make the administrators the owner of <" + folder +
            b">: it belongs to the running account\\.",
            b"CopyFile from " + re.escape(src.encode(encoding)) + b" to " + re.escape(base_win.encode(encoding)) +
            rb"\\(?P=folder)\\inst\.exe"]
