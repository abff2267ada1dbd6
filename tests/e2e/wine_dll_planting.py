#!/usr/bin/env python3
"""A DLL planted beside setup.exe under Wine: a canary uxtheme.dll that leaves
a marker when loaded, with Wine told to prefer a native uxtheme.dll as Windows
would. A hidden-dialog program without the hardening must load it (else the
test proves nothing); setup.exe, through its dialog, install and shell open,
must not; nor must a test build that behaves as on Vista (no
SetDefaultDllDirectories) and preloads from the system directory; the same
build without the preloading must load it. Prints 'N passed, N failed'."""
import argparse
import os
import shutil
import sys

from winetest import *  # noqa: F401,F403 (the shared test vocabulary)


def main():
    ap = argparse.ArgumentParser()
    for option in ("--canary", "--control", "--as-on-vista", "--as-on-vista-unprotected"):
        ap.add_argument(option, required=True)
    args = suite_arguments("setup", "installer", "holder", "wine", parser=ap)

    with Xvfb() as x:
        s = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display, holder=args.holder)
        # No records: every run below finds the machine older than the package
        # (the demo, say, may have left its records in this prefix).
        s.wine.reg_clear()
        native_first = {"WINEDLLOVERRIDES": "mscoree,mshtml=;uxtheme=n,b"}

        def planted_run(name, program, installs):
            s.fresh()
            s.setup = program  # copied into the package as setup.exe
            pkg = s.package("[FL]\nversion=9\nfile=inst.exe\n")
            shutil.copy(args.canary, os.path.join(pkg, "uxtheme.dll"))
            s.run_setup(pkg, name, extra_env=native_first)
            if installs:
                check(name + ": installed and opened the installer", len(s.started(True)) == 1, s.started(False))
            return os.path.exists(os.path.join(pkg, "uxtheme.dll.loaded"))

        check("control: a hidden dialog without the hardening loads the planted uxtheme.dll",
              planted_run("control", args.control, False))
        check("setup.exe: the planted uxtheme.dll is not loaded", not planted_run("setup.exe", args.setup, True))
        check("as on Vista, preloading: the planted uxtheme.dll is not loaded",
              not planted_run("as on Vista, preloading", args.as_on_vista, True))
        check("as on Vista, without the preloading: the planted uxtheme.dll is loaded",
              planted_run("as on Vista, without the preloading", args.as_on_vista_unprotected, True))
        s.close()

    return summary()


if __name__ == "__main__":
    sys.exit(main())
