#!/usr/bin/env python3
"""Rewrites a zip so that the same contents always give the same bytes:
entries sorted by name, one fixed time for all of them, fixed permissions
(files 0644, folders 0755), no extra fields, no comment, deflate level 9.

The time is SOURCE_DATE_EPOCH when set, else the time of the last commit of
the source folder given with --source, else 1980-01-01 00:00 (the earliest a
zip can hold). Zip times carry no zone: they are written as UTC.

Usage: deterministic_zip.py [--source DIR] ZIP [ZIP...]"""
import argparse
import os
import subprocess
import sys
import time
import zipfile

DOS_EPOCH = 315532800  # 1980-01-01 00:00 UTC
DOS_LAST = 4354819198  # 2107-12-31 23:59:58 UTC


def fixed_time(source):
    text = os.environ.get("SOURCE_DATE_EPOCH", "").strip()
    if not text and source:
        try:
            p = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                               capture_output=True, text=True, timeout=60, check=False)
            text = p.stdout.strip() if p.returncode == 0 else ""
        except OSError:
            text = ""
    seconds = int(text) if text.isdigit() else DOS_EPOCH
    seconds = min(max(seconds, DOS_EPOCH), DOS_LAST)
    return time.gmtime(seconds - seconds % 2)[:6]  # zip times count in 2 seconds


def rewrite(path, date_time):
    with zipfile.ZipFile(path) as old:
        entries = [(info.filename, old.read(info)) for info in old.infolist()]
    names = [name for name, _ in entries]
    if len(set(names)) != len(names):
        sys.exit("%s: duplicate entries" % path)
    temporary = path + ".tmp"
    with zipfile.ZipFile(temporary, "w") as new:
        for name, data in sorted(entries):
            info = zipfile.ZipInfo(name, date_time)
            info.create_system = 3  # Unix, so that the permissions below mean something
            if name.endswith("/"):
                info.external_attr = (0o40755 << 16) | 0x10
                info.compress_type = zipfile.ZIP_STORED
            else:
                info.external_attr = 0o100644 << 16
                info.compress_type = zipfile.ZIP_DEFLATED
            new.writestr(info, data, compresslevel=9)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source")
    parser.add_argument("zips", nargs="+")
    args = parser.parse_args()
    date_time = fixed_time(args.source)
    for path in args.zips:
        rewrite(path, date_time)
    return 0


if __name__ == "__main__":
    sys.exit(main())
