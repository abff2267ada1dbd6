"""The machinery under the Wine suites and the test guest: an X display, a
watch for visible windows, Wine in the build's prefix, a look at what a
prefix's processes are doing, and the limits every wait keeps.

A run of setup.exe that does not end within RUN_LIMIT seconds is reported as
a hang, as is the suite itself once past PATHWARDEN_HANG_SECONDS."""
import argparse
import ctypes
import os
import signal
import subprocess
import threading
import time

# One run of setup.exe takes a second or two under Wine; a Wine command
# (reg, winepath) less.
RUN_LIMIT = 60
# A fresh Wine session (server, services, desktop) takes seconds here, and up
# to 80 s in the emulated test guest beside other guests.
SESSION_LIMIT = 240


# The programs tests/CMakeLists.txt gives the suites, by option name.
PROGRAMS = {
    "setup": "the setup.exe under test",
    "installer": "the test installer the package carries",
    "helper": "the program that holds files open and makes links for a case",
    "holder": "the program that holds Wine's desktop open",
    "wine": "the wine runner",
    "unelevated": "the launcher that runs a program unelevated",
}


def suite_arguments(*programs, parser=None):
    """The command line: --NAME, required, for each of `programs`, and
    whatever else `parser` was given."""
    ap = parser or argparse.ArgumentParser()
    for name in programs:
        ap.add_argument("--" + name, required=True, help=PROGRAMS[name])
    return ap.parse_args()


class Hang(Exception):
    pass


# The sessions open now: a hang of the whole suite records the last one's state.
active = []


def _on_alarm(signum, frame):
    reason = "the suite did not end within %s s" % os.environ.get("PATHWARDEN_HANG_SECONDS")
    if active:
        active[-1].record_state(reason)
    raise Hang(reason)


if os.environ.get("PATHWARDEN_HANG_SECONDS"):
    signal.signal(signal.SIGALRM, _on_alarm)
    signal.alarm(int(os.environ["PATHWARDEN_HANG_SECONDS"]))


def die_with_parent():
    """In a child before exec: end it when the test runner ends, however."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Xvfb:
    """An X server on a free display, for the dialog manager and xdotool."""

    def __enter__(self):
        for display in range(90, 200):
            if os.path.exists("/tmp/.X%d-lock" % display):
                continue
            self.proc = subprocess.Popen(["Xvfb", ":%d" % display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                         preexec_fn=die_with_parent)
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
    def __init__(self, runner, display, limit=RUN_LIMIT):
        """`limit`: the seconds one Wine command may take; the emulated test
        guest, many times slower, gives its own."""
        self.runner = runner
        self.env = dict(os.environ, DISPLAY=display)
        self.limit = limit

    def run(self, *args, check_rc=True, extra_env=None):
        env = dict(self.env, **(extra_env or {}))
        p = subprocess.run([self.runner] + list(args), env=env, capture_output=True, text=True, timeout=self.limit)
        if check_rc and p.returncode != 0:
            raise RuntimeError("%s failed with exit code %s: %s %s" % (args, p.returncode, p.stdout, p.stderr))
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


def prefix_processes(prefix):
    """(pid, command line) of every Unix process of the Wine prefix `prefix`,
    its server included."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            env = open("/proc/%s/environ" % pid, "rb").read().split(b"\0")
            cmd = open("/proc/%s/cmdline" % pid, "rb").read().replace(b"\0", b" ")
        except OSError:
            continue
        if any(e.startswith(b"WINEPREFIX=") and os.path.realpath(e[11:]) == os.fsencode(prefix) for e in env):
            found.append((int(pid), cmd.decode("utf-8", "replace").strip()))
    return found


def _read(path):
    try:
        return open(path).read().strip()
    except OSError as e:
        return "(%s)" % e.strerror


def thread_waits(pid):
    """One line per thread of a Unix process: its state, the kernel function
    it sleeps in and the system call it is in."""
    lines = []
    try:
        tids = sorted(os.listdir("/proc/%d/task" % pid), key=int)
    except OSError:
        return ["  (gone)"]
    for tid in tids:
        task = "/proc/%d/task/%s/" % (pid, tid)
        stat = _read(task + "stat")
        state = stat[stat.rfind(")") + 2:].split(" ")[0] if ")" in stat else "?"
        lines.append("  thread %s (%s): state %s, wchan %s, syscall %s" % (
            tid, _read(task + "comm"), state, _read(task + "wchan"), _read(task + "syscall").split(" ")[0]))
    return lines
