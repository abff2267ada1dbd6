#!/usr/bin/env python3
"""Benchmarks of pathwarden-check: an export whose one key holds many values
and a --released-file of many lines (the time should grow with the values,
not with their square), and --log over a fleet's folder of logs (goals:
1,000 logs in under a second; with --scale also one 50 MB log in under 2 s,
and 50,000 logs of about 400 MB in under 10 s and 100 MB of memory). The
logs are written by the POSIX setup program itself, in four states, and
copied to each machine's folder in turns. Each size is run several times;
the tables give medians with min and max. With --compare, another build of
the tool (an older commit's, say) is run on the same exports, alternating.
Usage: check_bench.py --posix-build build/posix [--compare OTHER_CHECK] [--runs N] [--scale]"""
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


def measured(cmd):
    """Seconds and peak resident memory (MiB) of one run of `cmd`."""
    t = time.perf_counter()
    p = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(p.pid, 0)
    return time.perf_counter() - t, usage.ru_maxrss / 1024.0


def big_fleet(root, logs, machines, log_bytes):
    """`machines` folders, each with a log of about `log_bytes` (whole runs, in turns)."""
    folder = os.path.join(root, "share-%d" % machines)
    total = 0
    for i in range(machines):
        d = os.path.join(folder, "site%d" % (i % 10), "PC-%05d" % i)
        os.makedirs(d)
        data = bytearray()
        k = i
        while len(data) < log_bytes:
            data += logs[k % len(logs)]
            k += 1
        with open(os.path.join(d, "velsetup.log"), "wb") as f:
            f.write(data)
        total += len(data)
    return folder, total


def scale(tool, root, logs, runs):
    """The fleet-scale goals, each with its time and peak memory."""
    print("\n| --log at scale | input | median time (min to max) | peak memory | goal |")
    print("|---|---|---|---|---|")
    one = os.path.join(root, "one.log")
    with open(one, "wb") as f:
        size = 0
        k = 0
        while size < 50 << 20:
            size += f.write(logs[k % len(logs)])
            k += 1
    cases = [("one log", one, "%.0f MB" % (size / 1e6), 2.0, None)]
    folder, total = big_fleet(root, logs, 50000, 8000)
    cases.append(("50,000 logs", folder, "%.0f MB" % (total / 1e6), 10.0, 100.0))
    for name, path, size_text, seconds, mib in cases:
        for flags in ([], ["--json"], ["--jsonl"]):
            samples = [measured([tool, "--log"] + flags + [path]) for _ in range(runs)]
            t = statistics.median(s[0] for s in samples)
            m = max(s[1] for s in samples)
            met = t < seconds and (mib is None or m < mib)
            print("| %s %s | %s | %s | %.0f MiB | under %g s%s: %s |" % (
                name, " ".join(flags), size_text, fmt([s[0] for s in samples]), m, seconds,
                " and %g MiB" % mib if mib else "", "met" if met else "missed"))
        shutil.rmtree(path, ignore_errors=True) if os.path.isdir(path) else os.remove(path)


def released(tool, compare, root, pkg, runs):
    """--released-file of many versions: linear, not quadratic."""
    print("\n| Versions in --released-file | this build | compared build |")
    print("|---|---|---|")
    for count in (10000, 40000, 160000):
        path = os.path.join(root, "released.txt")
        with open(path, "w") as f:
            f.write("".join("1.%d\n" % i for i in range(count)))
        ours = [timed([tool, "--released-file", path, pkg]) for _ in range(runs)]
        theirs = [timed([compare, "--released-file", path, pkg]) for _ in range(runs)] if compare else []
        print("| %d | %s | %s |" % (count, fmt(ours), fmt(theirs) if theirs else ""))


def fmt(samples):
    return "%.3f s (%.3f to %.3f)" % (statistics.median(samples), min(samples), max(samples))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--posix-build", default="build/posix")
    ap.add_argument("--compare", help="another pathwarden-check to run on the same files")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--sizes", default="10000,40000,80000,320000")
    ap.add_argument("--scale", action="store_true", help="also the 50 MB log and the 50,000 logs")
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
        released(tool, args.compare, root, pkg, args.runs)
        logs = real_logs(args.posix_build, root)
        print("\n| Logs summarised (--log FOLDER) | runs | median (min to max) | goal |")
        print("|---|---|---|---|")
        for machines in (1000, 5000):
            folder = fleet(root, logs, machines)
            samples = [timed([tool, "--log", folder]) for _ in range(args.runs)]
            print("| %d | %d | %s | %s |" % (machines, sum(1 + i % 3 for i in range(machines)), fmt(samples),
                                             "under 1 s: %s" % ("met" if statistics.median(samples) < 1 else "missed")
                                             if machines == 1000 else ""))
            shutil.rmtree(folder, ignore_errors=True)
        if args.scale:
            scale(tool, root, logs, args.runs)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
