#!/usr/bin/env python3
"""Static checks of a built setup.exe that this machine may not be able to
run: the image's kind and hardening flags, its imports, and its resources.
Usage: pe_check.py SETUP_EXE (i386|amd64). Prints one line per check and
'N passed, N failed'; exits non-zero on any failure."""
import os
import struct
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402  the one PASS/FAIL report

# Static imports are resolved before main, before the program can confine the
# DLL search to the system directory: only KnownDLLs may be among them, which
# the loader takes from the system directory whatever the search order.
# These are values of HKLM\System\CurrentControlSet\Control\Session
# Manager\KnownDLLs on every system in the manifest (Vista to 11); ntdll is
# mapped into every process before any search. comctl32, for one, is not a
# KnownDLL (side-by-side assemblies supply it).
KNOWN_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
              "ole32.dll", "msvcrt.dll", "ntdll.dll"}
# Entries of KnownDLLs that the system forwards to a DLL that is not one
# (advapi32's random-number entries live in cryptbase.dll from Windows 7 on):
# importing them statically has the loader search for that DLL before main.
FORWARDED_OUTSIDE_KNOWN_DLLS = {"SystemFunction036", "SystemFunction040", "SystemFunction041"}
SUPPORTED_OS = ["e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
                "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
                "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"]
# The stack protector (platform/stack_guard_win.cc): every guarded function
# ends by comparing its copy of the guard and, on a mismatch, calling one
# routine that ends the process with STATUS_STACK_BUFFER_OVERRUN. In the
# stripped image that routine is found as the target of direct calls (E8
# rel32) whose first bytes hold that status; the check counts its callers.
STACK_BUFFER_OVERRUN = struct.pack("<I", 0xC0000409)
MIN_GUARDED_CALLERS = 10


def guard_failure_callers(pe):
    """Direct calls of the routine that ends the process on a broken guard."""
    best = 0
    for section in pe.sections:
        if not section.Characteristics & 0x20000000:  # IMAGE_SCN_MEM_EXECUTE
            continue
        code = section.get_data()
        callers = {}
        for i in range(len(code) - 5):
            if code[i] == 0xE8:
                target = i + 5 + struct.unpack_from("<i", code, i + 1)[0]
                if 0 <= target < len(code):
                    callers[target] = callers.get(target, 0) + 1
        for target, count in callers.items():
            if STACK_BUFFER_OVERRUN in code[target:target + 48]:
                best = max(best, count)
    return best


def resource(pe, type_id, name_id):
    """(data bytes, language) of one resource, or (None, None)."""
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id != type_id:
            continue
        for n in t.directory.entries:
            if n.id != name_id:
                continue
            for lang in n.directory.entries:
                rva, size = lang.data.struct.OffsetToData, lang.data.struct.Size
                return pe.get_data(rva, size), lang.id
    return None, None


def resources_of_type(pe, type_id):
    for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if t.id == type_id:
            return {n.id: n for n in t.directory.entries}
    return {}


def read_sz_or_ord(data, off):
    """A dialog template's name-or-ordinal field: (value, next offset)."""
    first = struct.unpack_from("<H", data, off)[0]
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, off + 2)[0], off + 4
    end = off
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[off:end].decode("utf-16-le"), end + 2


def parse_dialogex(data):
    dlg_ver, signature, _help, exstyle, style, count, x, y, cx, cy = struct.unpack_from("<HHIIIHhhhh", data, 0)
    off = 26
    menu, off = read_sz_or_ord(data, off)
    klass, off = read_sz_or_ord(data, off)
    caption, off = read_sz_or_ord(data, off)
    point, weight, italic, charset = struct.unpack_from("<HHBB", data, off)
    off += 6
    face, off = read_sz_or_ord(data, off)
    controls = []
    for _ in range(count):
        off = (off + 3) & ~3
        _help, cexstyle, cstyle, cx_, cy_, ccx, ccy, cid = struct.unpack_from("<IIIhhhhi", data, off)
        off += 24
        cclass, off = read_sz_or_ord(data, off)
        ctext, off = read_sz_or_ord(data, off)
        extra = struct.unpack_from("<H", data, off)[0]
        off += 2 + extra
        controls.append((cid, cclass, ctext, (cx_, cy_, ccx, ccy), cstyle))
    return dict(ver=dlg_ver, sig=signature, exstyle=exstyle, style=style, rect=(x, y, cx, cy),
                menu=menu, klass=klass, caption=caption, font=(point, weight, italic, charset, face),
                controls=controls)


def main(path, machine):
    pe = pefile.PE(path)
    want_machine = {"i386": 0x14C, "amd64": 0x8664}[machine]
    check("machine is " + machine, pe.FILE_HEADER.Machine == want_machine, hex(pe.FILE_HEADER.Machine))
    check("GUI subsystem", pe.OPTIONAL_HEADER.Subsystem == 2, str(pe.OPTIONAL_HEADER.Subsystem))
    dll = pe.OPTIONAL_HEADER.DllCharacteristics
    check("ASLR (dynamic base)", bool(dll & 0x40), hex(dll))
    check("DEP (NX compatible)", bool(dll & 0x100), hex(dll))
    check("relocations present for ASLR", pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size > 0)

    imports = sorted(e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT)
    others = [d for d in imports if d not in KNOWN_DLLS]
    check("imports only KnownDLLs " + ",".join(imports), not others, "also " + ",".join(others))
    delay = getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])
    check("no delay-loaded DLLs", not delay)
    # DLL loading is confined to the system directory at start-up through
    # calls looked up at run time (so that older systems still start): their
    # names are in the image, and none of them is a static import.
    imported = {i.name.decode() for e in pe.DIRECTORY_ENTRY_IMPORT for i in e.imports if i.name}
    raw = open(path, "rb").read()
    forwarded = sorted(imported & FORWARDED_OUTSIDE_KNOWN_DLLS)
    check("no static import forwarded outside the KnownDLLs", not forwarded, ",".join(forwarded))
    for name in ("SetDefaultDllDirectories", "SetDllDirectoryA", "SetSearchPathMode"):
        check("looks up %s at run time" % name, name.encode() + b"\0" in raw and name not in imported)
    callers = guard_failure_callers(pe)
    check("stack protector: the guard's failure routine (STATUS_STACK_BUFFER_OVERRUN) is called from at least %d "
          "places" % MIN_GUARDED_CALLERS, callers >= MIN_GUARDED_CALLERS, "%d calls" % callers)
    check("no runtime DLL of the compiler needed",
          not [d for d in imports if d.startswith(("libgcc", "libstdc++", "libwinpthread"))])

    data, lang = resource(pe, 5, 102)  # RT_DIALOG
    check("dialog 102 present", data is not None)
    if data is not None:
        d = parse_dialogex(data)
        check("dialog 102 is US English", lang == 1033, str(lang))
        check("dialog 102 is an extended template", d["ver"] == 1 and d["sig"] == 0xFFFF)
        check("dialog style 0x80C800C0", d["style"] == 0x80C800C0, hex(d["style"]))
        check("dialog extended style 0x00040000", d["exstyle"] == 0x00040000, hex(d["exstyle"]))
        check("dialog at 0,0 size 320x200", d["rect"] == (0, 0, 320, 200), str(d["rect"]))
        check("dialog caption 'setup'", d["caption"] == "setup", repr(d["caption"]))
        check("dialog font", d["font"] == (8, 0, 0, 1, "MS Sans Serif"), repr(d["font"]))
        want = [(1, 0x80, "OK", (260, 7, 50, 14), 0x50010001),
                (2, 0x80, "Cancel", (260, 23, 50, 14), 0x50010000),
                (-1, 0x82, "TODO: Place dialog controls here.", (50, 90, 200, 8), 0x50020000)]
        check("dialog controls", d["controls"] == want, repr(d["controls"]))

    group, _ = resource(pe, 14, 130)  # RT_GROUP_ICON
    check("icon group 130 present", group is not None)
    if group is not None:
        _r, _t, count = struct.unpack_from("<HHH", group, 0)
        entries = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)]
        shapes = sorted((e[0], e[1], e[5]) for e in entries)
        check("icon group 130 has 32x32 at 4, 8 and 32 bpp", shapes == [(32, 32, 4), (32, 32, 8), (32, 32, 32)],
              repr(shapes))
        icons = resources_of_type(pe, 3)  # RT_ICON
        check("every icon image present", all(e[7] in icons for e in entries))

    ver, _ = resource(pe, 16, 1)
    check("version block present", ver is not None)
    if ver is not None:
        fixed = ver.find(struct.pack("<I", 0xFEEF04BD))
        (_sig, _sv, fvms, fvls, pvms, pvls, mask, flags, fos, ftype, fsub) = struct.unpack_from(
            "<IIIIIIIIIII", ver, fixed)
        check("file and product version 1.0.0.1", (fvms, fvls, pvms, pvls) == (0x10000, 0x1, 0x10000, 0x1))
        check("version flags, OS, type", (mask, flags, fos, ftype, fsub) == (0x3F, 0, 4, 1, 0),
              repr((mask, flags, fos, ftype, fsub)))
        text = ver.decode("utf-16-le", errors="replace")
        for key, value in [("FileDescription", "Pathwarden Setup"), ("FileVersion", "1, 0, 0, 1"),
                           ("InternalName", "Pathwarden Setup"), ("OriginalFilename", "setup.exe"),
                           ("ProductName", "Pathwarden Setup"), ("ProductVersion", "1, 0, 0, 1")]:
            check("version string " + key, (key + "\0" in text) and (value + "\0" in text))
        check("translation 0409 04B0", "040904b0" in text.lower() and struct.pack("<HH", 0x409, 1200) in ver)

    manifest, _ = resource(pe, 24, 1)
    check("manifest present", manifest is not None)
    if manifest is not None:
        m = manifest.decode("utf-8")
        check("manifest asks for asInvoker", 'level="asInvoker"' in m)
        check("manifest lists Vista to 11", all(g in m for g in SUPPORTED_OS))
        if ver is not None:
            check("manifest version is the file version", 'version="%d.%d.%d.%d"' % (
                fvms >> 16, fvms & 0xFFFF, fvls >> 16, fvls & 0xFFFF) in m)

    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
