#!/usr/bin/env python3
"""Benchmarks of pathwarden-check: an export whose one key holds many values
(the time should grow with the values, not with their square). Each size is
run several times; the table gives medians with min and max, and the time
per thousand values. With --compare, another build of the tool (an older
commit's, say) is run on the same files, alternating with this one.
Usage: check_bench.py --posix-build build/posix [--compare OTHER_CHECK] [--runs N]"""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile
import time


def export_with_values(path, count):
    """An export whose client key holds `count` values, Version among them last."""
    lines = ["Windows Registry Editor Version 5.00", "",
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink]"]
    lines += ['"Value%d"="%d"' % (i, i) for i in range(count)]
    lines += ['"Version"="AP9.9.9"', ""]
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le"))


def timed(cmd):
    t = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - t


def fmt(samples):
    return "%.3f s (%.3f to %.3f)" % (statistics.median(samples), min(samples), max(samples))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--posix-build", default="build/posix")
    ap.add_argument("--compare", help="another pathwarden-check to run on the same files")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--sizes", default="10000,40000,80000,320000")
    args = ap.parse_args()
    tool = os.path.join(args.posix_build, "pathwarden-check")
    root = tempfile.mkdtemp(prefix="pathwarden-check-bench-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
    try:
        pkg = os.path.join(root, "pkg")
        os.makedirs(pkg)
        with open(os.path.join(pkg, "config.ini"), "w") as f:
            f.write("[FL]\nversion=2.1.0\nfile=inst.exe\n[driver]\nversion=3.0.0\n")
        with open(os.path.join(pkg, "inst.exe"), "wb") as f:
            f.write(b"MZ")
        header = "| Values in one key | this build: median (min to max) | per 1,000 values |"
        rule = "|---|---|---|"
        if args.compare:
            header += " compared build | per 1,000 values |"
            rule += "---|---|"
        print(header)
        print(rule)
        for count in (int(s) for s in args.sizes.split(",")):
            reg = os.path.join(root, "export.reg")
            export_with_values(reg, count)
            ours, theirs = [], []
            for _ in range(args.runs):
                ours.append(timed([tool, "--registry", reg, pkg]))
                if args.compare:
                    theirs.append(timed([args.compare, "--registry", reg, pkg]))
            row = "| %d | %s | %.1f ms |" % (count, fmt(ours), 1e6 * statistics.median(ours) / count)
            if args.compare:
                row += " %s | %.1f ms |" % (fmt(theirs), 1e6 * statistics.median(theirs) / count)
            print(row)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
