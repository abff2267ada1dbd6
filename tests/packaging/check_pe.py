#!/usr/bin/env python3
"""Static checks of the built pathwarden-check.exe: a console program for the
given machine, relocatable and no-execute, importing KnownDLLs only.
Usage: check_pe.py EXE (i386|amd64). Prints one line per check and
'N passed, N failed'; exits non-zero on any failure."""
import os
import sys

import pefile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402  the one PASS/FAIL report
from pe_check import KNOWN_DLLS  # noqa: E402  the one list of KnownDLLs


def main(path, machine):
    pe = pefile.PE(path)
    want_machine = {"i386": 0x14C, "amd64": 0x8664}[machine]
    check("machine is " + machine, pe.FILE_HEADER.Machine == want_machine, hex(pe.FILE_HEADER.Machine))
    check("console subsystem", pe.OPTIONAL_HEADER.Subsystem == 3, pe.OPTIONAL_HEADER.Subsystem)
    dll = pe.OPTIONAL_HEADER.DllCharacteristics
    check("ASLR (dynamic base)", dll & 0x40, hex(dll))
    check("DEP (NX compatible)", dll & 0x100, hex(dll))
    check("relocations present for ASLR", pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size > 0)
    imports = sorted(e.dll.decode().lower() for e in pe.DIRECTORY_ENTRY_IMPORT)
    others = [d for d in imports if d not in KNOWN_DLLS]
    check("imports only KnownDLLs " + ",".join(imports), not others, "also " + ",".join(others))
    check("no delay-loaded DLLs", not getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []))
    check("no symbols left in the file", pe.FILE_HEADER.PointerToSymbolTable == 0)
    return summary()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
