#!/usr/bin/env python3
"""Writes the velsetup.log files of tests/tools/logs/ with the win64
setup.exe under Wine, one run per state, as a customer's machine writes them
(elevated, as Wine runs programs; CR LF line ends). The log explainer's tests
read these files; run this again when a log line changes:

  cmake --build --preset win64 --target setup demo_installer
  python3 tests/tools/make_wine_logs.py --setup build/win64/setup.exe \
      --installer build/win64/demo_installer.exe --wine cmake/wine-run.sh --out tests/tools/logs

Machine-specific parts of the paths (the session's folders) are replaced by
fixed ones, so the files do not change from one writing to the next but in
their times."""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "e2e"))
from winetest import FERROLINK, INSTALLATION, Session, Wine, Xvfb, suite_arguments  # noqa: E402

CONFIG = "[FL]\nversion=2.1.0\nfile=%s\n[driver]\nversion=3.0.0\n"

# name: (client record, driver record, installer name in config.ini, installer present)
STATES = {
    "started": ("AP2.0.5", "3.0.0", "inst.exe", True),
    "up_to_date": ("AP2.1.0", "3.0.0", "inst.exe", True),
    "copy_failed": ("AP2.0.5", "3.0.0", "missing.exe", True),
    "name_refused": ("AP2.0.5", "3.0.0", "..\\inst.exe", True),
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    args = suite_arguments("setup", "installer", "wine", parser=ap)
    with Xvfb() as x:
        session = Session(args.setup, args.installer, Wine(args.wine, x.display), x.display)
        try:
            for name, (client, driver, file_name, present) in STATES.items():
                session.wine.reg_clear()
                session.wine.reg_set(FERROLINK, client, 32)
                session.wine.reg_set(INSTALLATION, driver, 64)
                session.fresh()
                pkg = session.package(CONFIG % file_name, installer="inst.exe" if present else "absent.exe")
                session.run_setup(pkg, name)
                session.wait_gone("inst.exe", timeout=30)
                data = open(session.log, "rb").read()
                pkg_win = session.wine.windows_path(pkg).rstrip("\\").encode()
                data = data.replace(pkg_win, b"C:\\Packages\\Client 2.1.0")
                data = re.sub(rb"pathwarden-[0-9a-f]{16}", b"pathwarden-0123456789abcdef", data)
                data = data.replace(session.temp_win.encode(), b"C:\\users\\user\\Temp")
                data = data.replace(session.system_temp_win.encode(), b"C:\\windows\\Temp")
                with open(os.path.join(args.out, name + ".log"), "wb") as f:
                    f.write(data)
                print("wrote %s.log (%d bytes)" % (name, len(data)))
        finally:
            session.close()


if __name__ == "__main__":
    main()
