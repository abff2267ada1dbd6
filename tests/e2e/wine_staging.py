#!/usr/bin/env python3
"""The private staging folder of elevated runs under Wine: made in the
system's temporary folder, earlier ones cleared except where an installer
still runs, and nobody else's entry of that name followed or touched; its
owner and access list as Wine reports them. Prints 'N passed, N failed'."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

from winetest import *  # noqa: F401,F403 (the shared test vocabulary)

INSTALL = "[FL]\nversion=9\nfile=inst.exe\n"
# Rights that change a folder: write data, append, write extended attributes
# and attributes, delete child, delete, write DAC, write owner, generic write,
# generic all; in SDDL as a hexadecimal mask or these letters.
CHANGE_MASK = 0x2 | 0x4 | 0x10 | 0x100 | 0x40 | 0x10000 | 0x40000 | 0x80000 | 0x40000000 | 0x10000000
CHANGE_LETTERS = ("FA", "FW", "GA", "GW", "WD", "WO", "SD", "DC")


def cleared(s, removed, in_use, not_ours):
    return ("CSetupDlg::InstallPackage - Earlier private folders in %s\\: %d removed, %d in use kept, "
            "%d not ours left alone." % (s.system_temp_win, removed, in_use, not_ours))


def staged(s):
    return sorted(n for n in os.listdir(s.system_temp) if n.startswith("pathwarden-"))


def run_and_find(s, pkg, name, extra_env=None):
    """One elevated run; returns its log lines and the folder it staged in."""
    before = len(log_lines(s.log) or [])
    s.run_setup(pkg, name, extra_env=extra_env)
    got = (log_lines(s.log) or [])[before:]
    m = [re.search(r" to .*\\(" + STAGED + r")\\inst\.exe$", l) for l in got if l.startswith("CopyFile from")]
    return got, (m[0].group(1) if m and m[0] else None)


def grants_change(ace_rights):
    if re.fullmatch(r"0x[0-9a-fA-F]+", ace_rights):
        return int(ace_rights, 16) & CHANGE_MASK != 0
    return any(ace_rights[i:i + 2] in CHANGE_LETTERS for i in range(0, len(ace_rights), 2))


def main():
    args = suite_arguments("setup", "installer", "helper", "unelevated", "holder", "wine")

    with Xvfb() as x:
        s = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display, args.unelevated,
                    holder=args.holder)
        # Whatever fails, leave no program running and nothing behind.
        try:
            s.wine.reg_clear()
            outside = tempfile.mkdtemp(prefix="outside ", dir=s.work)

            # 1. Earlier folders are removed once their installer has ended; one
            # whose installer still runs is kept. After every run at most one
            # folder whose installer has ended remains: the run's own.
            s.fresh()
            pkg = s.package(INSTALL)
            got, a = run_and_find(s, pkg, "installer left running", {"PATHWARDEN_LINGER": "60000"})
            check("installer left running: staged in the system's temporary folder", a and staged(s) == [a], staged(s))
            got, b = run_and_find(s, pkg, "next run")
            check("next run: the running one is kept", cleared(s, 0, 1, 0) in got and staged(s) == sorted([a, b]),
                  (got, staged(s)))
            check("next run: its installer ended", b and s.wait_gone(b))
            got, c = run_and_find(s, pkg, "third run")
            check("third run: the ended one removed, the running one kept",
                  cleared(s, 1, 1, 0) in got and staged(s) == sorted([a, c]), (got, staged(s)))
            s.stop_programs()
            got, d = run_and_find(s, pkg, "after the installer ended")
            check("after the installer ended: both earlier folders removed",
                  cleared(s, 2, 0, 0) in got and staged(s) == [d], (got, staged(s)))

            # 2. Entries of our name that are not ours: a link in place of a
            # folder, another account's folder (with a link inside), a link to a
            # folder that looks like ours, a name in capitals. None is followed,
            # entered or removed. Our own earlier folder, with a read-only file in
            # a subfolder, is removed.
            s.fresh()
            keep = os.path.join(outside, "keep.txt")
            with open(keep, "w") as f:
                f.write("precious")
            lookalike = os.path.join(s.work, "lookalike")
            os.makedirs(lookalike, exist_ok=True)
            with open(os.path.join(lookalike, "inst.exe"), "w") as f:
                f.write("not ours to remove")
            base = s.system_temp
            os.symlink(outside, os.path.join(base, "pathwarden-00000000000000a1"))
            theirs = os.path.join(base, "pathwarden-00000000000000a2")
            os.mkdir(theirs)
            os.symlink(outside, os.path.join(theirs, "link"))
            with open(os.path.join(theirs, "theirs.txt"), "w") as f:
                f.write("theirs")
            os.chown(theirs, 65534, 65534)
            os.symlink(lookalike, os.path.join(base, "pathwarden-00000000000000a3"))
            os.mkdir(os.path.join(base, "pathwarden-00000000000000A4"))
            # The running account's folder that others may change (Wine
            # reports a list from the Unix mode): owning it is not enough.
            open_to_all = os.path.join(base, "pathwarden-00000000000000a5")
            os.mkdir(open_to_all)
            with open(os.path.join(open_to_all, "theirs.txt"), "w") as f:
                f.write("anyone's")
            os.chmod(open_to_all, 0o777)
            ours = os.path.join(base, "pathwarden-00000000000000b1")
            os.makedirs(os.path.join(ours, "sub"))
            with open(os.path.join(ours, "sub", "old.exe"), "w") as f:
                f.write("x")
            os.chmod(os.path.join(ours, "sub", "old.exe"), 0o444)  # Wine shows it read-only
            # A link inside another folder of ours (Wine shows a link to a
            # folder as a reparse point): never entered. Wine cannot remove a
            # link to a folder (it takes it for the folder, then for a file),
            # so that folder stays, counted as in use.
            linked = os.path.join(base, "pathwarden-00000000000000b2")
            os.makedirs(os.path.join(linked, "sub"))
            os.symlink(outside, os.path.join(linked, "sub", "dirlink"))
            # Ours, with entries no path reaches: a name without an ANSI form
            # and a file deeper than the path limit. Each entry is opened
            # relative to its held parent, so both go.
            unreachable = os.path.join(base, "pathwarden-00000000000000b3")
            deep = os.path.join(unreachable, *(["d" * 100] * 3))
            os.makedirs(deep)
            for where in (unreachable, deep):
                with open(os.path.join(where, "\u0444\u0430\u0439\u043b.exe"), "w") as f:
                    f.write("x")
            pkg = s.package(INSTALL)
            got, own = run_and_find(s, pkg, "names of ours that are not ours")
            check("names of ours that are not ours: counted in the log", cleared(s, 2, 1, 4) in got, got)
            check("names of ours that are not ours: left as they were",
                  sorted(staged(s)) == sorted(["pathwarden-00000000000000a1", "pathwarden-00000000000000a2",
                                               "pathwarden-00000000000000a3", "pathwarden-00000000000000A4",
                                               "pathwarden-00000000000000a5", "pathwarden-00000000000000b2", own])
                  and os.path.islink(os.path.join(base, "pathwarden-00000000000000a1")), staged(s))
            check("names of ours that are not ours: nothing followed",
                  open(keep).read() == "precious" and os.path.exists(os.path.join(lookalike, "inst.exe")) and
                  open(os.path.join(theirs, "theirs.txt")).read() == "theirs" and
                  os.path.islink(os.path.join(theirs, "link")) and os.listdir(outside) == ["keep.txt"])
            check("names of ours that are not ours: our earlier folders removed",
                  not os.path.exists(ours) and not os.path.exists(unreachable))

            # 2b. Other users' folders of our names, as many as they like and
            # named to list first, do not keep a run from our earlier folder.
            s.fresh()
            pkg = s.package(INSTALL)
            got, earlier = run_and_find(s, pkg, "crowded: the earlier run")
            for i in range(2000):
                crowd = os.path.join(base, "pathwarden-%016x" % i)
                os.mkdir(crowd)
                os.chown(crowd, 65534, 65534)
            s.stop_programs()
            got, own = run_and_find(s, pkg, "crowded: the next run")
            check("crowded: our earlier folder removed, the others left alone",
                  cleared(s, 1, 0, 2000) in got and earlier and not os.path.exists(os.path.join(base, earlier)),
                  [l for l in got if "Earlier" in l])
            for i in range(2000):
                os.rmdir(os.path.join(base, "pathwarden-%016x" % i))

            # 3. An unelevated run copies to %TEMP% and clears nothing.
            s.fresh()
            os.makedirs(ours)
            pkg = s.package(INSTALL)
            s.run_setup(pkg, "unelevated run", unelevated=True)
            got = log_lines(s.log) or []
            check("unelevated run: copied to the user's temporary folder",
                  len(got) == 9 and got[5].endswith(" to %s\\inst.exe" % s.temp_win), got)
            check("unelevated run: the installer's token is not elevated", s.elevation_recorded() == "0",
                  s.elevation_recorded())
            check("unelevated run: no private folder made or removed", staged(s) == ["pathwarden-00000000000000b1"],
                  staged(s))
            s.stop_programs()

            # 4. The new folder's owner and access list as the system reports
            # them. Windows keeps what was asked (owner Administrators, a
            # protected list); Wine keeps no list of its own on files and reports
            # one made from the Unix owner and mode, which Wine sets from the list
            # it was given. What holds on both: nobody but the system, the
            # administrators and the owner may change the folder, and the log
            # names the owner when it is not the administrators.
            s.fresh()
            pkg = s.package(INSTALL)
            got, own = run_and_find(s, pkg, "owner and access list")
            folder_win = "%s\\%s" % (s.system_temp_win, own)
            said = s.wine.run(args.helper, "security", folder_win, check_rc=False).stdout.strip() if own else ""
            print("INFO the private folder as Wine reports it: " + said)
            owner = re.match(r"O:([^D]+)D:", said)
            aces = re.findall(r"\(A;[^;]*;([^;]*);;;([^)]*)\)", said)
            trusted = {"SY", "BA", owner.group(1) if owner else "?"}
            check("owner and access list: read back", owner and aces and "reparse-point" not in said, said)
            check("owner and access list: only the system, administrators and owner may change it",
                  aces and all(sid in trusted for rights, sid in aces if grants_change(rights)), aces)
            check("owner and access list: the log names an owner that is not the administrators",
                  owner and (owner.group(1) == "BA") == (s.owner_line(folder_win + "\\") not in got), (said, got))
            mode = os.stat(os.path.join(s.system_temp, own)).st_mode if own else 0o777
            check("owner and access list: no Unix write access for group or others", mode & 0o022 == 0, oct(mode))

        finally:
            s.stop_programs()
            s.fresh()
            shutil.rmtree(os.path.join(s.system_temp, "pathwarden-00000000000000A4"), ignore_errors=True)
            s.close()

    return summary()


if __name__ == "__main__":
    sys.exit(main())
