#!/usr/bin/env python3
"""The packager's zip: made by CPack from the build tree, it holds one folder
with setup.exe (the very file the build made), config.ini and the guides.
Usage: package_check.py BUILD_DIR VERSION. Prints 'N passed, N failed'."""
import os
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402  the one PASS/FAIL report


def main(build, version):
    with tempfile.TemporaryDirectory(prefix="pathwarden-package-") as out:
        check_package(build, version, out, check)
    return summary()


def check_package(build, version, out, check):
    p = subprocess.run(["cpack", "-G", "ZIP", "-B", out, "--config", os.path.join(build, "CPackConfig.cmake")],
                       capture_output=True, text=True)
    check("cpack succeeds", p.returncode == 0, p.stdout + p.stderr)
    path = os.path.join(out, "pathwarden-setup-%s.zip" % version)
    check("zip named after the version", os.path.exists(path), os.listdir(out))
    if os.path.exists(path):
        z = zipfile.ZipFile(path)
        top = "pathwarden-setup-%s/" % version
        names = sorted(n for n in z.namelist() if not n.endswith("/"))  # files; folder entries are optional
        want = sorted(top + n for n in ("setup.exe", "config.ini", "README.txt", "guide.md",
                                        "tools/pathwarden-check.exe"))
        check("one folder with setup.exe, config.ini, the guides and the check tool", names == want, names)
        if top + "setup.exe" in names:
            check("setup.exe is the built file", z.read(top + "setup.exe") ==
                  open(os.path.join(build, "setup.exe"), "rb").read())
        if top + "tools/pathwarden-check.exe" in names:
            check("tools/pathwarden-check.exe is the built file", z.read(top + "tools/pathwarden-check.exe") ==
                  open(os.path.join(build, "pathwarden-check.exe"), "rb").read())
        if top + "config.ini" in names:
            ini = z.read(top + "config.ini").decode()
            check("config.ini template has the three keys",
                  all(k in ini for k in ("[FL]", "[driver]", "\nversion=", "\nfile=")), ini)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
