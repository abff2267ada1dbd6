#!/usr/bin/env python3
"""Two clean builds of the win32 preset, from copies of the sources in two
different folders, made at different times (and with a different umask and
time zone), must give the same setup.exe and the same zip, byte for byte.
When they do not, says which file differs, where, and which intermediate
files differed too.

Usage: reproducible_check.py SOURCE_DIR WORK_DIR VERSION
WORK_DIR is made for the run and removed afterwards, whatever happens.
Prints one line per check and 'N passed, N failed'."""
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402  the one PASS/FAIL report
from tree import files as source_files  # noqa: E402  the files a fresh clone would have


def copy_sources(source, names, target):
    for name in names:
        os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
        shutil.copy(os.path.join(source, name), os.path.join(target, name))  # new times, not the originals'


def build(tree, env, log):
    for args in (["cmake", "--preset", "win32"], ["cmake", "--build", "--preset", "win32", "--target", "package"]):
        p = subprocess.run(["nice"] + args, cwd=tree, env=env, capture_output=True, text=True, timeout=1200,
                           check=False)
        log.append(p.stdout + p.stderr)
        if p.returncode != 0:
            return False
    return True


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def where_in_pe(path, offset):
    """Names the header field or section that holds a file offset."""
    pe = pefile.PE(path, fast_load=True)
    fields = [("TimeDateStamp", pe.FILE_HEADER.get_field_absolute_offset("TimeDateStamp"), 4),
              ("CheckSum", pe.OPTIONAL_HEADER.get_field_absolute_offset("CheckSum"), 4)]
    for name, start, size in fields:
        if start <= offset < start + size:
            return "the header's " + name
    for s in pe.sections:
        if s.PointerToRawData <= offset < s.PointerToRawData + s.SizeOfRawData:
            return "section " + s.Name.rstrip(b"\0").decode(errors="replace")
    return "the headers" if offset < pe.OPTIONAL_HEADER.SizeOfHeaders else "past the sections"


def first_difference(a, b):
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            return i
    return min(len(a), len(b)) if len(a) != len(b) else None


def explain(path_a, path_b):
    a, b = open(path_a, "rb").read(), open(path_b, "rb").read()
    at = first_difference(a, b)
    count = sum(1 for x, y in zip(a, b) if x != y) + abs(len(a) - len(b))
    text = "%s vs %s: %d bytes differ, the first at offset %s" % (path_a, path_b, count, at)
    if path_a.endswith(".exe") and at is not None:
        text += " (%s)" % where_in_pe(path_a, at)
    if path_a.endswith(".zip"):
        za, zb = zipfile.ZipFile(path_a), zipfile.ZipFile(path_b)
        if za.namelist() != zb.namelist():
            text += "; entries or their order differ: %s vs %s" % (za.namelist(), zb.namelist())
        for ia, ib in zip(za.infolist(), zb.infolist()):
            for field in ("filename", "date_time", "external_attr", "create_system", "extra", "compress_type",
                          "CRC"):
                if getattr(ia, field) != getattr(ib, field):
                    text += "; %s: %s %r vs %r" % (ia.filename, field, getattr(ia, field), getattr(ib, field))
    return text


def differing_intermediates(build_a, build_b):
    """Objects, resources and generated files of the two builds that differ."""
    differ = []
    for root, _, files in os.walk(build_a):
        for f in files:
            if not f.endswith((".obj", ".res", ".ico", ".h", ".manifest", ".a")):
                continue
            pa = os.path.join(root, f)
            pb = os.path.join(build_b, os.path.relpath(pa, build_a))
            if os.path.exists(pb) and open(pa, "rb").read() != open(pb, "rb").read():
                differ.append(os.path.relpath(pa, build_a))
    return sorted(differ)


def main(source, work, version):
    if os.path.exists(work):
        shutil.rmtree(work)
    try:
        names = source_files(source)
        # Different folders, of different lengths.
        trees = [os.path.join(work, "one", "src"), os.path.join(work, "second build", "sources", "pathwarden")]
        logs = []
        for n, (tree, umask, tz) in enumerate(zip(trees, (0o022, 0o002), ("UTC", "Asia/Tokyo"))):
            if n:
                time.sleep(2.5)  # zip times count in 2 seconds: the second build is seen as later
            old_umask = os.umask(umask)
            try:
                copy_sources(source, names, tree)
                env = dict(os.environ, TZ=tz)
                # A packager's plain build: without SOURCE_DATE_EPOCH, which
                # the linker would otherwise take for the image's time.
                for var in ("SOURCE_DATE_EPOCH", "MAKEFLAGS", "MFLAGS", "CMAKE_BUILD_PARALLEL_LEVEL"):
                    env.pop(var, None)
                ok = build(tree, env, logs)
            finally:
                os.umask(old_umask)
            check("build in %s" % tree, ok, logs[-1][-3000:] if logs else "")
            if not ok:
                return 1
        outputs = [os.path.join(t, "build", "win32") for t in trees]
        products = ["setup.exe", "pathwarden-setup-%s.zip" % version]
        same = True
        for product in products:
            pa, pb = (os.path.join(o, product) for o in outputs)
            equal = open(pa, "rb").read() == open(pb, "rb").read()
            same = same and equal
            check("%s is the same in both builds (sha256 %s, %s)" % (product, sha256(pa), sha256(pb)), equal,
                  explain(pa, pb))
        # A release pipeline's SOURCE_DATE_EPOCH sets the zip's times.
        epoch = 1796738869
        again = os.path.join(work, products[1])
        shutil.copy(os.path.join(outputs[0], products[1]), again)
        p = subprocess.run([sys.executable, os.path.join(source, "cmake", "deterministic_zip.py"), again],
                           env=dict(os.environ, SOURCE_DATE_EPOCH=str(epoch)), capture_output=True, text=True,
                           timeout=120, check=False)
        stamp = time.gmtime(epoch - 1)[:6]  # zip times count in 2 seconds
        infos = zipfile.ZipFile(again).infolist() if p.returncode == 0 else []
        check("zip entries carry SOURCE_DATE_EPOCH's time", infos and all(i.date_time == stamp for i in infos),
              p.stderr + str([(i.filename, i.date_time) for i in infos]))
        if not same:
            print("intermediate files that differ: %s" % differing_intermediates(*outputs))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3]))
