"""The files of a source tree, as paths relative to its top with "/": what a
fresh clone would have plus new files git does not ignore; outside a checkout
of its own (a copy of the tree), every file but those of .git and build."""
import os
import subprocess


def files(top):
    listing = subprocess.run(["git", "-C", top, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                             capture_output=True, timeout=120, check=False)
    # A copy inside another checkout (under its build folder) is not that checkout.
    prefix = subprocess.run(["git", "-C", top, "rev-parse", "--show-prefix"], capture_output=True, text=True,
                            timeout=120, check=False)
    if listing.returncode == 0 and prefix.returncode == 0 and not prefix.stdout.strip():
        names = [n for n in listing.stdout.decode().split("\0") if n]
    else:
        names = []
        for folder, dirs, found in os.walk(top):
            dirs[:] = [d for d in dirs if d not in (".git", "build", "__pycache__")]
            names += [os.path.relpath(os.path.join(folder, f), top).replace(os.sep, "/") for f in found]
    return sorted(n for n in names if os.path.isfile(os.path.join(top, n)))
