"""What the fault cases under Wine share: where copies may be staged, the
files found there, runs that may hang, and the lines a run adds."""
import os
import re
import subprocess

from winetest import *  # noqa: F401,F403 (the shared test vocabulary)

# What config.ini says for an install of the demo installer.
INSTALL = "[FL]\nversion=9\nfile=inst.exe\n"


# Elevated runs under Wine log one line more than unelevated ones: Wine keeps
# no owner of its own on files, so the private folder reads as the account's.
OWNER_LINE = 1
MODES = ((False, " (elevated)"), (True, " (unelevated)"))


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


def lines_after_run(s, name, config, installer="inst.exe"):
    """A fresh package with `config`, run once: (its folder, the log's lines)."""
    s.fresh()
    pkg = s.package(config, installer)
    s.run_setup(pkg, name)
    return pkg, log_lines(s.log) or []


def sound(name, got):
    check(name + ": the run's lines are whole and end with END",
          len(got) >= 9 and got[:3] == ["BANNER"] + HEAD and got[-1] == END
          and not any("UNEXPECTED" in l for l in got), got)
