#!/usr/bin/env python3
"""Benchmarks of pathwarden-check: an export whose one key holds many values
(the time should grow with the values, not with their square), and --log
over a fleet's folder of logs (goal: 1,000 logs in under a second). The
logs are written by the POSIX setup program itself, in four states, and
copied to each machine's folder in turns. Each size is run several times;
the tables give medians with min and max. With --compare, another build of
the tool (an older commit's, say) is run on the same exports, alternating.
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


def real_logs(posix_build, root):
    """The logs of real runs of setup: installed, up to date, copy failed, open failed."""
    states = [("", True, {}), ("AP9.9.9", True, {}), ("", False, {}), ("", True, {"VELSETUP_SHELL_RESULT": "31"})]
    logs = []
    for i, (client, installer, extra) in enumerate(states):
        pkg = os.path.join(root, "run%d" % i)
        tmp = os.path.join(pkg, "tmp")
        os.makedirs(tmp)
        shutil.copy(os.path.join(posix_build, "setup"), pkg)
        with open(os.path.join(pkg, "config.ini"), "w") as f:
            f.write("[FL]\nversion=2.1.0\nfile=inst.sh\n[driver]\nversion=1\n")
        if installer:
            with open(os.path.join(pkg, "inst.sh"), "w") as f:
                f.write("#!/bin/sh\nexit 0\n")
            os.chmod(os.path.join(pkg, "inst.sh"), 0o755)
        reg = os.path.join(pkg, "registry.reg")
        with open(reg, "w") as f:
            f.write("Windows Registry Editor Version 5.00\r\n\r\n")
            if client:
                f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink]\r\n"
                        "\"Version\"=\"%s\"\r\n\r\n" % client)
                f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrano\\Veltrano Driver Installation]\r\n"
                        "\"Version\"=\"9.9.9\"\r\n")
        env = dict(os.environ, TMPDIR=tmp, VELSETUP_REGISTRY=reg, **extra)
        subprocess.run([os.path.join(pkg, "setup")], env=env, check=True)
        logs.append(open(os.path.join(tmp, "velsetup.log"), "rb").read())
    return logs


def fleet(root, logs, machines):
    """A folder with one folder per machine, each with a log of one to three runs."""
    folder = os.path.join(root, "fleet-%d" % machines)
    for i in range(machines):
        os.makedirs(os.path.join(folder, "PC-%05d" % i))
        with open(os.path.join(folder, "PC-%05d" % i, "velsetup.log"), "wb") as f:
            for k in range(1 + i % 3):
                f.write(logs[(i + k) % len(logs)])
    return folder


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
        logs = real_logs(args.posix_build, root)
        print("\n| Logs summarised (--log FOLDER) | runs | median (min to max) | goal |")
        print("|---|---|---|---|")
        for machines in (1000, 5000):
            folder = fleet(root, logs, machines)
            samples = [timed([tool, "--log", folder]) for _ in range(args.runs)]
            print("| %d | %d | %s | %s |" % (machines, sum(1 + i % 3 for i in range(machines)), fmt(samples),
                                             "under 1 s: %s" % ("met" if statistics.median(samples) < 1 else "missed")
                                             if machines == 1000 else ""))
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
