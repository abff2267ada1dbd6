"""The test scripts' one way to report: a PASS or FAIL line per check (a
failure with its detail, later lines of it indented), then 'N passed, N
failed'; ctest reads the exit code. Imported by path:

    sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
    from checks import check, summary
"""
import sys

results = []


def check(name, ok, detail=""):
    results.append(bool(ok))
    print(("PASS " if ok else "FAIL ") + name + ("" if ok else ": " + str(detail).replace("\n", "\n    ")))
    # Flushed: a suite that hangs or is killed still shows how far it got.
    sys.stdout.flush()
    return bool(ok)


def summary():
    """Prints the closing count; the exit code: 0 only if every check passed
    (a run that checked nothing has not passed)."""
    passed = sum(results)
    print("%d passed, %d failed" % (passed, len(results) - passed))
    return 0 if passed == len(results) and results else 1
