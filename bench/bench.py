#!/usr/bin/env python3
"""Benchmarks of setup against their floors, run side by side: the two
commands alternate, after a warm-up, and the table gives medians with min and
max, the ratio of the medians, and the goal. Prints a Markdown table.
Usage: bench.py --posix-build build/posix --win64-build build/win64
                --win32-build build/win32 [--quick]"""
import argparse
import os
import platform
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))

MIB = 1 << 20
rows = []


def timed(cmd, env=None, before=None):
    """Seconds one run of `cmd` takes (after `before`, which is not timed)."""
    if before:
        before()
    t = time.perf_counter()
    subprocess.run(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - t


def side_by_side(a, b, runs, warmup=2):
    """Alternates a() and b(); returns their lists of seconds."""
    for _ in range(warmup):
        a()
        b()
    ta, tb = [], []
    for _ in range(runs):
        ta.append(a())
        tb.append(b())
    return ta, tb


def stats(samples):
    return statistics.median(samples), min(samples), max(samples)


def fmt(seconds):
    return "%.1f ms" % (seconds * 1000) if seconds < 10 else "%.2f s" % seconds


def add(name, ta, tb, floor_name, goal):
    ma, la, ha = stats(ta)
    mb, lb, hb = stats(tb)
    ratio = ma / mb
    met = "met" if ratio <= goal else "missed"
    rows.append((name, "%s (%s to %s)" % (fmt(ma), fmt(la), fmt(ha)), floor_name,
                 "%s (%s to %s)" % (fmt(mb), fmt(lb), fmt(hb)), "%.2f" % ratio, "at most %.2f: %s" % (goal, met)))


def write_package(root, installer_bytes, config):
    pkg = os.path.join(root, "pkg")
    os.makedirs(pkg, exist_ok=True)
    with open(os.path.join(pkg, "config.ini"), "w") as f:
        f.write(config)
    with open(os.path.join(pkg, "inst.exe"), "wb") as f:
        f.write(installer_bytes)
    os.chmod(os.path.join(pkg, "inst.exe"), 0o755)
    return pkg


def registry_export(path, padding_mb=0):
    """The up-to-date machine's export, padded with unrelated keys."""
    text = "Windows Registry Editor Version 5.00\r\n\r\n"
    pad = []
    size = 0
    i = 0
    while size < padding_mb * MIB:
        block = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Key%d]\r\n\"Name\"=\"%s\"\r\n\r\n" % (i, "v" * 200)
        pad.append(block)
        size += len(block) * 2
        i += 1
    text += "".join(pad)
    text += ("[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Veltrano\\Ferrolink]\r\n\"Version\"=\"AP9.9.9\"\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrano\\Veltrano Driver Installation]\r\n\"Version\"=\"9.9.9\"\r\n")
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    return os.path.getsize(path)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--posix-build", default="build/posix")
    ap.add_argument("--win64-build", default="build/win64")
    ap.add_argument("--win32-build", default="build/win32")
    ap.add_argument("--quick", action="store_true", help="fewer runs and no 1 GiB copy")
    ap.add_argument("--before", help="another build's POSIX setup: its 256 MiB install is measured in the same "
                    "run, alternating with this one's and cp's")
    args = ap.parse_args()
    runs = 5 if args.quick else 21
    root = tempfile.mkdtemp(prefix="pathwarden-bench-", dir=os.environ.get("BENCH_DIR", "/var/tmp"))
    setup_src = os.path.join(args.posix_build, "setup")
    floor = os.path.join(args.posix_build, "bench_floor_thread")
    installer = open(os.path.join(args.posix_build, "tests", "posix_test_installer"), "rb").read()

    # 1. The decision, up to date, against a program that starts one thread.
    up_to_date = "[FL]\nversion=1.0.0\nfile=inst.exe\n[driver]\nversion=1.0.0\n"
    pkg = write_package(root, installer, up_to_date)
    shutil.copy(setup_src, os.path.join(pkg, "setup"))
    tmp = os.path.join(root, "tmp")
    os.makedirs(tmp, exist_ok=True)
    reg = os.path.join(root, "registry.reg")
    registry_export(reg)
    # Unelevated, as the figures always were: root counts as elevated and
    # would stage in the system's temporary folder.
    env = dict(os.environ, TMPDIR=tmp, VELSETUP_REGISTRY=reg, VELSETUP_ELEVATED="0")
    env.pop("PATHWARDEN_RECORD", None)
    setup = [os.path.join(pkg, "setup")]
    clear_log = lambda: os.path.exists(os.path.join(tmp, "velsetup.log")) and os.remove(os.path.join(tmp, "velsetup.log"))
    ta, tb = side_by_side(lambda: timed(setup, env, clear_log), lambda: timed([floor]), runs * 3)
    add("decision only, up to date (POSIX)", ta, tb, "one thread started and joined", 1.5)
    decision = statistics.median(ta)

    # 5. Peak resident memory of that run.
    # (Measured by a small parent: a child's peak counts what it had at fork.)
    maxrss = os.path.join(args.posix_build, "bench_maxrss")
    peak_kib = int(subprocess.run([maxrss] + setup, env=env, capture_output=True, text=True).stdout.strip())
    floor_kib = int(subprocess.run([maxrss, floor], capture_output=True, text=True).stdout.strip())
    rss_note = "%.2f MiB (goal: under 4 MiB: %s; the one-thread floor: %.2f MiB)" % (
        peak_kib / 1024.0, "met" if peak_kib < 4096 else "missed", floor_kib / 1024.0)

    # 4. Growth: a 100 MB log, 10 and 100 MB registry exports, a 10 MB config.ini.
    log = os.path.join(tmp, "velsetup.log")
    growth = []

    def with_log():
        with open(log, "wb") as f:
            f.truncate(100 * 1000 * 1000)
    samples = [timed(setup, env, with_log) for _ in range(max(3, runs // 3))]
    growth.append(("100 MB log present", statistics.median(samples), ""))
    os.remove(log)
    for mb in (10, 100):
        big = os.path.join(root, "registry-%d.reg" % mb)
        size = registry_export(big, mb)
        env_big = dict(env, VELSETUP_REGISTRY=big)
        samples = [timed(setup, env_big, clear_log) for _ in range(max(3, runs // 3))]
        t = statistics.median(samples)
        # Four keys are opened (the second client key is not): four reads.
        growth.append(("registry export of %d MB" % mb, t, "%.0f MB/s per read of the export"
                       % (4 * size / 1e6 / max(t - decision, 1e-6))))
        os.remove(big)
    big_config = "[x]\n" + ";" * (10 * 1000 * 1000) + "\n" + up_to_date
    with open(os.path.join(pkg, "config.ini"), "w") as f:
        f.write(big_config)
    samples = [timed(setup, env, clear_log) for _ in range(max(3, runs // 3))]
    growth.append(("10 MB config.ini, keys at its end", statistics.median(samples),
                   "%.0f MB/s per read" % (2 * 10 / max(statistics.median(samples) - decision, 1e-6))))
    with open(os.path.join(pkg, "config.ini"), "w") as f:
        f.write(up_to_date)

    # 2. Install of a 256 MiB and a 1 GiB installer against cp.
    older = "[FL]\nversion=99.9.9.9\nfile=inst.exe\n[driver]\nversion=1.0.0\n"
    for size_mib in ((256,) if args.quick else (256, 1024)):
        big_pkg = os.path.join(root, "big%d" % size_mib)
        os.makedirs(big_pkg, exist_ok=True)
        shutil.copy(setup_src, os.path.join(big_pkg, "setup"))
        with open(os.path.join(big_pkg, "config.ini"), "w") as f:
            f.write(older)
        src = os.path.join(big_pkg, "inst.exe")
        with open(src, "wb") as f:
            f.write(installer)
            f.write(os.urandom(MIB) * size_mib)
        os.chmod(src, 0o755)
        target = os.path.join(tmp, "inst.exe")
        cp_target = os.path.join(tmp, "cp-target")

        def rm(path):
            return lambda: os.path.exists(path) and os.remove(path)
        ta, tb = side_by_side(lambda: timed([os.path.join(big_pkg, "setup")], env, rm(target)),
                              lambda: timed(["cp", src, cp_target], None, rm(cp_target)), max(3, runs // 4), 1)
        add("install of a %d MiB installer (POSIX)" % size_mib, ta, tb, "cp of the same file", 1.05)
        if args.before and size_mib == 256:
            # The same install by another build, this build and cp, in turn.
            before = os.path.join(big_pkg, "setup-before")
            shutil.copy(args.before, before)
            samples = {"this": [], "before": [], "cp": []}
            steps = (("this", lambda: timed([os.path.join(big_pkg, "setup")], env, rm(target))),
                     ("before", lambda: timed([before], env, rm(target))),
                     ("cp", lambda: timed(["cp", src, cp_target], None, rm(cp_target))))
            for round_ in range(max(3, runs // 4) + 1):
                for name, step in steps:
                    t = step()
                    if round_:  # the first round warms up
                        samples[name].append(t)
            add("install of 256 MiB, this build, side by side with --before", samples["this"], samples["cp"],
                "cp of the same file", 1.05)
            add("install of 256 MiB, the --before build", samples["before"], samples["cp"], "cp of the same file",
                1.05)
            os.remove(before)
        for p in (target, cp_target, src):
            if os.path.exists(p):
                os.remove(p)

    # 3. Under Wine: setup.exe up to date against a hidden dialog ended from a thread.
    wine_row = None
    wine_runner = os.path.join(os.path.dirname(__file__), "..", "cmake", "wine-run.sh")
    setup_exe = os.path.join(args.win64_build, "setup.exe")
    floor_exe = os.path.join(args.win64_build, "bench_floor_dialog.exe")
    if shutil.which("wine") and os.path.exists(setup_exe) and os.path.exists(floor_exe):
        from winetest import Wine, Xvfb
        with Xvfb() as x:
            wine = Wine(wine_runner, x.display)
            wine.run("wineserver", "-k", check_rc=False)
            wine.run("wineserver", "-w", check_rc=False)
            wine.run("cmd", "/c", "exit")
            for view in ("/reg:32", "/reg:64"):
                wine.run("reg", "delete", r"HKLM\SOFTWARE\Veltrano", "/f", view, check_rc=False)
            wine.run("reg", "add", r"HKLM\SOFTWARE\Veltrano\Ferrolink", "/v", "Version", "/d", "AP9.9.9", "/f",
                     "/reg:32")
            wpkg = os.path.join(root, "winpkg")
            os.makedirs(wpkg)
            shutil.copy(setup_exe, wpkg)
            with open(os.path.join(wpkg, "config.ini"), "w") as f:
                f.write(up_to_date)
            wenv = dict(wine.env)
            ta, tb = side_by_side(lambda: timed([wine_runner, os.path.join(wpkg, "setup.exe")], wenv),
                                  lambda: timed([wine_runner, floor_exe], wenv), max(5, runs // 2))
            add("decision only, up to date (win64 under Wine)", ta, tb, "hidden dialog ended from a thread", 1.5)
            for view in ("/reg:32", "/reg:64"):
                wine.run("reg", "delete", r"HKLM\SOFTWARE\Veltrano", "/f", view, check_rc=False)
            wine.run("wineserver", "-k", check_rc=False)
    else:
        wine_row = "Wine benchmark skipped: wine or the win64 build is missing"

    shutil.rmtree(root, ignore_errors=True)

    cpu = ""
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    print("Machine: %s, %d cores, %s; Linux %s; %d runs each after a warm-up, alternating.\n"
          % (cpu, os.cpu_count(), "%.0f GiB" % (os.sysconf("SC_PAGE_SIZE") * os.sysconf("SC_PHYS_PAGES") / 2**30),
             platform.release(), runs))
    print("| Benchmark | setup: median (min to max) | Floor | floor: median (min to max) | Ratio | Goal |")
    print("|---|---|---|---|---|---|")
    for r in rows:
        print("| " + " | ".join(r) + " |")
    if wine_row:
        print("\n" + wine_row)
    print("\n| Cost as the work grows (POSIX, up to date) | median | |")
    print("|---|---|---|")
    print("| nothing extra | %s | |" % fmt(decision))
    for name, t, note in growth:
        print("| %s | %s | %s |" % (name, fmt(t), note))
    exe32 = os.path.join(args.win32_build, "setup.exe")
    print("\n| Footprint | |")
    print("|---|---|")
    print("| peak resident memory of the POSIX run | %s |" % rss_note)
    if os.path.exists(exe32):
        size = os.path.getsize(exe32)
        print("| stripped i686 setup.exe | %d bytes = %.1f KiB (goal: under 100 KiB: %s) |"
              % (size, size / 1024, "met" if size < 100 * 1024 else "missed"))
        dump = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe32], capture_output=True, text=True).stdout
        dlls = re.findall(r"DLL Name: (\S+)", dump)
        print("| imports of setup.exe | %s |" % ", ".join(dlls))


if __name__ == "__main__":
    main()
