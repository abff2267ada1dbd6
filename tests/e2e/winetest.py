"""The Wine suites' session: one Wine session on one display, its package
folders and temporary directory, the installer's record, and watched runs of
setup.exe. Whatever happens, the session's folders are removed and its Wine
processes and X server ended.

Importing this module with * gives a suite the whole shared vocabulary: the
Wine machinery (wine_host), the log's lines (wine_log) and the one PASS/FAIL
report (tests/support/checks.py)."""
import atexit
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402,F401  the one PASS/FAIL report
from wine_host import *  # noqa: E402,F401,F403
from wine_host import (RUN_LIMIT, SESSION_LIMIT, Hang, WindowWatch, active, die_with_parent,  # noqa: E402
                       prefix_processes, suite_arguments, thread_waits)
from wine_log import DECOY_CONFIG, STAGED, known_wine_cause  # noqa: E402
from wine_log import *  # noqa: E402,F401,F403


class Session:
    """One Wine session on one display: package folders, the temporary
    directory, the installer's record, and runs of setup.exe."""

    def __init__(self, setup, installer, wine, display, unelevated=None, holder=None):
        self.setup, self.installer, self.wine, self.display = setup, installer, wine, display
        # The launcher that runs a program with the limited token (tests/e2e/unelevated.c).
        self.unelevated = unelevated
        # The program that keeps Wine's desktop open between runs
        # (tests/e2e/desktop_holder.c), and its process while it runs.
        self.holder, self.holding = holder, None
        self.holder_env = {}
        # Wine's desktop process picks its display when the session starts:
        # begin a session of our own on this display.
        wine.run("wineserver", "-k", check_rc=False)
        wine.run("wineserver", "-w", check_rc=False)
        # The prefix's own folder: drive C's parent.
        self.prefix = os.path.realpath(os.path.join(wine.unix_path("C:\\"), ".."))
        active.append(self)
        self.hold_desktop()
        self.temp_win = wine.run("cmd", "/c", "echo %TEMP%").stdout.strip()
        self.temp = wine.unix_path(self.temp_win)
        self.log = os.path.join(self.temp, "velsetup.log")
        # Where elevated runs stage their copies: the system's temporary folder.
        self.system_temp_win = wine.run("cmd", "/c", "echo %SystemRoot%").stdout.strip() + "\\Temp"
        self.system_temp = wine.unix_path(self.system_temp_win)
        self.work = tempfile.mkdtemp(prefix="pathwarden-e2e-")
        self.closed = False
        atexit.register(self.close)
        self.record = os.path.join(self.work, "record.txt")
        self.record_win = wine.windows_path(self.record)

    def package(self, config, installer="inst.exe", folder="pkg "):
        """A package folder (its name has a space, as in "Program Files")."""
        pkg = tempfile.mkdtemp(prefix=folder, dir=self.work)
        shutil.copy(self.setup, os.path.join(pkg, "setup.exe"))
        if installer:
            shutil.copy(self.installer, os.path.join(pkg, installer))
        if config is not None:
            data = config if isinstance(config, bytes) else config.replace("\n", "\r\n").encode("latin-1")
            with open(os.path.join(pkg, "config.ini"), "wb") as f:
                f.write(data)
        return pkg

    def deep_package(self, config, length=280):
        """A package folder whose Windows path has `length` characters or more,
        so that setup.exe's own path is past 260: (its path, its Windows path)."""
        root = self.package(config)
        deep, deep_win = root, self.wine.windows_path(root)
        while len(deep_win) < length:
            deep, deep_win = os.path.join(deep, "d" * 60), deep_win + "\\" + "d" * 60
            os.mkdir(deep)
        for f in ("setup.exe", "inst.exe", "config.ini"):
            shutil.copy(os.path.join(root, f), os.path.join(deep, f))
        return deep, deep_win

    def decoy_folder(self):
        """A folder holding DECOY_CONFIG and evil.exe (the stand-in installer):
        what setup must never read or start."""
        decoy = os.path.join(self.work, "decoy")
        os.makedirs(decoy, exist_ok=True)
        with open(os.path.join(decoy, "config.ini"), "w") as f:
            f.write(DECOY_CONFIG)
        shutil.copy(self.installer, os.path.join(decoy, "evil.exe"))
        return decoy

    def fresh(self):
        for folder in (self.temp, self.system_temp):
            for name in os.listdir(folder):
                path = os.path.join(folder, name)
                if (name in ("velsetup.log", "inst.exe", "sub") or name.startswith("pathwarden-")
                        or re.fullmatch(r"velsetup-[0-9a-f]{16}\.log", name)):
                    if os.path.isdir(path) and not os.path.islink(path):
                        shutil.rmtree(path, ignore_errors=True)
                    else:
                        if not os.path.islink(path):
                            os.chmod(path, 0o644)
                        os.remove(path)
        for path in (self.record, self.record + ".acl", self.record + ".elevated", self.record + ".cwd"):
            if os.path.exists(path):
                os.remove(path)

    def start_setup(self, pkg, exe="setup.exe", extra_env=None, unelevated=False, out=subprocess.PIPE,
                    err=subprocess.PIPE):
        env = dict(self.wine.env, PATHWARDEN_RECORD=self.record_win, **(extra_env or {}))
        launcher = [self.unelevated] if unelevated else []
        return subprocess.Popen([self.wine.runner] + launcher + [os.path.join(pkg, exe)], env=env,
                                stdout=out, stderr=err)

    def staging(self, unelevated):
        """The folder an elevated or unelevated run copies into, as a pattern
        of its Windows path ending with the separator."""
        if unelevated:
            return re.escape(self.temp_win + "\\")
        return re.escape(self.system_temp_win + "\\") + STAGED + r"\\"

    def local_path(self, windows_path):
        """The Unix path of a file in the user's or the system's temporary
        folder, worked out here: asking Wine (winepath) while many programs
        run is one more thing that can fail by chance."""
        for base_win, base in ((self.system_temp_win, self.system_temp), (self.temp_win, self.temp)):
            if windows_path.lower().startswith(base_win.lower() + "\\"):
                return os.path.join(base, *windows_path[len(base_win) + 1:].split("\\"))
        return self.wine.unix_path(windows_path)

    def owner_line(self, folder_win):
        """What an elevated run logs under Wine, which keeps no owner of its own
        on files: the folder reads as the running account's."""
        return ("CSetupDlg::InstallPackage - The system did not make the administrators the owner of <%s>: "
                "it belongs to the running account." % folder_win)

    def wait_gone(self, marker, timeout=30):
        """Waits until no process of this Wine prefix runs a program whose
        command line holds `marker`; False on timeout."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not any(marker in cmd for _, cmd in prefix_processes(self.prefix)):
                return True
            time.sleep(0.1)
        return False

    def hold_desktop(self, extra_env=None):
        """Starts the desktop holder (if the session has one) and waits until
        Wine's desktop is there; with `extra_env`, in that environment (a
        locale), after ending every program of the prefix."""
        if extra_env is not None:
            self.holder_env = extra_env
            self.stop_programs(hold=False)
        if not self.holder:
            return
        env = dict(self.wine.env, **self.holder_env)
        self.holding = subprocess.Popen([self.wine.runner, self.holder], env=env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, preexec_fn=die_with_parent)
        said = [b""]
        reader = threading.Thread(target=lambda: said.__setitem__(0, self.holding.stdout.readline()), daemon=True)
        reader.start()
        reader.join(SESSION_LIMIT)
        if b"holding" not in said[0]:
            self.record_state("the desktop holder did not start within %d s: %r" % (SESSION_LIMIT, said[0]))
            raise RuntimeError("the desktop holder did not start: %r" % said[0])

    def release_desktop(self):
        """Ends the desktop holder: its standard input closes."""
        if not self.holding:
            return
        holding, self.holding = self.holding, None
        try:
            holding.stdin.close()
            holding.wait(timeout=30)
        except (OSError, subprocess.TimeoutExpired):
            holding.kill()
            holding.wait()

    def record_state(self, reason, log=None):
        """Prints, before anything is killed, what every process of the
        prefix is doing: the Unix processes and their threads' waits, the
        Windows processes and every thread's stack as Wine's debugger sees
        them, and the last lines of the log."""
        out = ["STATE %s" % reason]
        for pid, cmd in prefix_processes(self.prefix):
            out.append("process %d: %s" % (pid, cmd))
            out += thread_waits(pid)
        for command in ("info process", "bt all"):
            try:
                p = subprocess.run([self.wine.runner, "winedbg", "--command", command], env=self.wine.env,
                                   capture_output=True, text=True, errors="replace", timeout=RUN_LIMIT)
                out.append("winedbg %s:\n%s%s" % (command, p.stdout, p.stderr[-2000:]))
            except subprocess.TimeoutExpired:
                out.append("winedbg %s: no answer within %d s" % (command, RUN_LIMIT))
        path = log or self.log
        if os.path.exists(path):
            tail = open(path, "rb").read()[-3000:].decode("latin-1").replace("\r\n", "\n").rstrip("\n").split("\n")
            out.append("last lines of %s:\n  %s" % (path, "\n  ".join(tail[-20:])))
        print("\n".join(out).replace("\n", "\n    "))
        sys.stdout.flush()

    def wait_run(self, p, name, limit=RUN_LIMIT):
        """Waits for a started run; one that overstays `limit` seconds is
        recorded, killed, and reported as a failed check. Its exit code, or
        None after a hang."""
        try:
            return p.wait(timeout=limit)
        except subprocess.TimeoutExpired:
            self.record_state("%s: no end within %d s" % (name, limit))
            p.kill()
            p.wait()
            check(name + ": ended", False, "it hangs: no end within %d s; recorded above, killed" % limit)
            return None

    def run_once(self, pkg, name, exe, extra_env, unelevated):
        """One watched run: the process (with .said and .error_text), how long
        it took, the windows seen, and the log lines it added."""
        # Some cases make the log a folder or a link: only a file is read.
        before = os.path.getsize(self.log) if os.path.isfile(self.log) else 0
        watch = WindowWatch(self.display)
        watch.start()
        began = time.monotonic()
        try:
            # Output to files, not pipes: an installer left running inherits
            # them, and a pipe would stay open until it ends.
            with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
                p = self.start_setup(pkg, exe, extra_env, unelevated, out, err)
                if self.wait_run(p, name) is None:
                    raise Hang(name)
                out.seek(0)
                err.seek(0)
                p.said, p.error_text = out.read(), err.read()
            elapsed = time.monotonic() - began
        finally:
            time.sleep(0.2)
            watch.stop()
        added = b""
        if os.path.isfile(self.log):
            with open(self.log, "rb") as f:
                f.seek(before)
                added = f.read()
        return p, elapsed, watch.seen, before, added

    def run_setup(self, pkg, name, exe="setup.exe", extra_env=None, unelevated=False):
        p, elapsed, seen, before, added = self.run_once(pkg, name, exe, extra_env, unelevated)
        cause = known_wine_cause(added.decode("latin-1"))
        if cause:
            # The failed run's lines go, so that the log reads as one run.
            print("INFO %s: %s; run again, once" % (name, cause))
            sys.stdout.flush()
            with open(self.log, "r+b") as f:
                f.truncate(before)
            p, elapsed, seen, before, added = self.run_once(pkg, name + " (again)", exe, extra_env, unelevated)
        check(name + ": exit code 0", p.returncode == 0, p.returncode)
        check(name + ": ended within 30 s", elapsed < 30, "%.1f s" % elapsed)
        check(name + ": no window became visible", not seen, seen)
        if unelevated:
            check(name + ": setup ran unelevated", b"TokenElevation=0" in p.said, p.said)
        return p

    def _recorded(self, suffix):
        """What the started installer wrote beside its record; "" if nothing within 20 s."""
        path = self.record + suffix
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline and not (os.path.exists(path) and os.path.getsize(path)):
            time.sleep(0.05)
        return open(path).read() if os.path.exists(path) else ""

    def start_folder_recorded(self):
        """The folder the started installer was started in; "" if none."""
        return self._recorded(".cwd")

    def elevation_recorded(self):
        """"1" or "0" as the started installer found its token; "" if none."""
        return self._recorded(".elevated")

    def started(self, expect, count=1):
        deadline = time.monotonic() + (20 if expect else 1)
        while time.monotonic() < deadline:
            if os.path.exists(self.record) and len(open(self.record).read().splitlines()) >= count:
                break
            time.sleep(0.05)
        return open(self.record).read().splitlines() if os.path.exists(self.record) else []

    def stop_programs(self, hold=True):
        """Ends every program of this prefix (installers left running), then
        holds the desktop again."""
        self.release_desktop()
        self.wine.run("wineserver", "-k", check_rc=False)
        self.wine.run("wineserver", "-w", check_rc=False)
        if hold:
            self.hold_desktop()

    def close(self):
        """Removes the session's folders and ends its Wine processes; once."""
        if self.closed:
            return
        self.closed = True
        if self in active:
            active.remove(self)
        self.release_desktop()
        shutil.rmtree(self.work, ignore_errors=True)
        self.wine.run("wineserver", "-k", check_rc=False)
