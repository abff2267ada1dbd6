#!/usr/bin/env python3
"""The include check against planted includes: a copy of the tree's sources
in a temporary folder, one include added to one file at a time. Each
forbidden arrow must fail the check and be named in its output; the clean
copy and the allowed includes must pass. The folder is removed afterwards.

Usage: include_rules_test.py [SOURCE_DIR]. Prints 'N passed, N failed'."""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from checks import check, summary  # noqa: E402
from include_rules import source_files  # noqa: E402

CHECKER = os.path.join(HERE, "include_rules.py")
RULES = os.path.join(HERE, "include_rules.txt")

# (case, file, line added at its end, what the output must say; None: allowed)
CASES = [
    ("logic includes <windows.h>", "logic/version.cc", "#include <windows.h>",
     "includes <windows.h>: refused by '- <windows.h>'"),
    ("logic includes <windows.h> with spaces after the hash", "logic/probes.cc", "#  include  <windows.h>",
     "includes <windows.h>: refused by '- <windows.h>'"),
    ("logic includes the POSIX stand-in's internals", "logic/config.cc", '#include "platform/posix_internal.h"',
     "includes platform/posix_internal.h: refused by '- platform/*_internal.h'"),
    ("logic reaches the internals by a relative path", "logic/config.cc", '#include "../platform/posix_internal.h"',
     "includes platform/posix_internal.h: refused by '- platform/*_internal.h'"),
    ("logic includes an implementation file", "logic/text.cc", '#include "platform/files_win.cc"',
     "includes platform/files_win.cc: refused by '- platform/**.cc'"),
    ("logic includes a POSIX system header", "logic/log.h", "#include <unistd.h>",
     "includes <unistd.h>: not allowed in its room"),
    ("logic includes a header the tree does not have", "logic/version.cc", '#include "posix_internal.h"',
     "includes posix_internal.h: not allowed in its room"),
    ("the check tool includes the shell", "tools/check/report.cc", '#include "shell/setup_dlg.h"',
     "includes shell/setup_dlg.h: refused by '- shell/**'"),
    ("the platform includes the logic", "platform/registry_posix.cc", '#include "logic/log.h"',
     "includes logic/log.h: refused by '- logic/**'"),
    ("a boundary header includes the logic", "platform/files.h", '#include "logic/log.h"',
     "includes logic/log.h: refused by '- logic/**'"),
    ("a boundary header includes a reader", "platform/registry.h", '#include "formats/registry_export.h"',
     "includes formats/registry_export.h: refused by '- formats/**'"),
    ("a boundary header includes <windows.h>", "platform/system.h", "#include <windows.h>",
     "includes <windows.h>: refused by '- <windows.h>'"),
    ("portable code among the boundary's implementations", "platform/reader.cc", "#include <string>",
     "in no room of the rules"),
    ("a reader includes the platform", "formats/registry_export.cc", '#include "platform/code_page.h"',
     "includes platform/code_page.h: refused by '- platform/**'"),
    ("a reader includes the logic", "formats/ini_file.cc", '#include "logic/text.h"',
     "includes logic/text.h: refused by '- logic/**'"),
    ("a reader includes <windows.h>", "formats/text_encoding.cc", "#include <windows.h>",
     "includes <windows.h>: refused by '- <windows.h>'"),
    ("logic includes a reader", "logic/config.cc", '#include "formats/ini_file.h"',
     "includes formats/ini_file.h: refused by '- formats/**'"),
    ("the shell includes a reader", "shell/setup_app.cc", '#include "formats/ini_file.h"',
     "includes formats/ini_file.h: refused by '- formats/**'"),
    ("the POSIX stand-in includes the shell", "platform/files_posix.cc", '#include "shell/setup_window_posix.h"',
     "includes shell/setup_window_posix.h: refused by '- shell/**'"),
    ("the Windows implementation includes the POSIX internals", "platform/files_win.cc",
     '#include "platform/posix_internal.h"', "refused by '- platform/*_internal.h'"),
    ("a portable reader includes a system header", "formats/ini_file.cc", "#include <unistd.h>",
     "includes <unistd.h>: not allowed in its room"),
    ("setup includes a test header", "shell/setup_app.cc", '#include "tests/support/test_support.h"',
     "refused by '- tests/**'"),
    ("a computed include", "logic/version.cc", "#include HEADER_NAME", "an include the check cannot read"),
    ("a file in a folder without a room", "newfolder/new.cc", "#include <string>", "in no room of the rules"),
    ("tests include the shell", "tests/logic/version_test.cc", '#include "shell/setup_dlg.h"', None),
    ("an include in a comment", "logic/version.cc", "// #include <windows.h>", None),
    ("the Windows implementation includes <windows.h>", "platform/log_file_win.cc", "#include <windows.h>", None),
    ("logic includes ASCII folding", "logic/version.cc", '#include "formats/ascii.h"', None),
    ("the check tool includes a reader", "tools/check/report.cc", '#include "formats/ini_file.h"', None),
    ("the POSIX stand-in includes a reader", "platform/files_posix.cc", '#include "formats/text_encoding.h"', None),
]


def run(root):
    return subprocess.run([sys.executable, CHECKER, root, RULES], capture_output=True, text=True, timeout=120,
                          check=False)


def main(source):
    work = tempfile.mkdtemp(prefix="pathwarden-include-rules-")
    try:
        root = os.path.join(work, "tree")
        for name in source_files(source):
            os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
            shutil.copyfile(os.path.join(source, name), os.path.join(root, name))
        p = run(root)
        check("the copy of the tree as it is passes", p.returncode == 0, p.stdout + p.stderr)
        for case, name, line, says in CASES:
            path = os.path.join(root, name)
            before = open(path, "rb").read() if os.path.exists(path) else None
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "ab") as f:
                f.write(("\n" + line + "\n").encode())
            p = run(root)
            if says is None:
                check("allowed: %s (%s: %s)" % (case, name, line), p.returncode == 0, p.stdout + p.stderr)
            else:
                check("refused: %s (%s: %s)" % (case, name, line),
                      p.returncode == 1 and any(out.startswith("FAIL " + name) and says in out
                                                for out in p.stdout.splitlines()), p.stdout + p.stderr)
            if before is None:
                os.remove(path)
            else:
                with open(path, "wb") as f:
                    f.write(before)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return summary()


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", ".."))))
