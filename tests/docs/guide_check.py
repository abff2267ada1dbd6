#!/usr/bin/env python3
"""The shipped guide against the program's sources: every fixed log text the
program writes has its one home in logic/log_texts.h (no other source spells
one) and appears in docs/guide.md exactly, in code spans, with each
variable part written as an italic placeholder between them (`text <`*n*`>`),
so that nothing in the guide's log texts can be mistaken for log text; every
refusal reason of an installer name appears too; the guide sends its reader
to nothing the zip lacks; packaging/config.ini names every refused device.

Usage: guide_check.py SOURCE_DIR. Prints 'N passed, N failed'."""
import glob
import os
import re
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from checks import check, summary  # noqa: E402  the one PASS/FAIL report

LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
CONVERSION = re.compile(r"%[-+ #0]*\d*(?:l|ll|h)?[diuxsc]")
PLACEHOLDER = r"\*[^*`\n]+\*"


def strip_comments(text):
    """The source without // comments (quotes inside strings respected)."""
    out = []
    for line in text.split("\n"):
        in_string = False
        i = 0
        while i < len(line):
            c = line[i]
            if in_string and c == "\\":
                i += 2
                continue
            if c == '"':
                in_string = not in_string
            elif not in_string and line.startswith("//", i):
                line = line[:i]
                break
            i += 1
        out.append(line)
    return "\n".join(out)


def unescape(text):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m.group(1), m.group(1)), text)


TEXTS_FILE = os.path.join("logic", "log_texts.h")
CONSTANT = re.compile(r'inline constexpr char (k\w+)\[\] =\s*((?:"(?:[^"\\\n]|\\.)*"\s*)+);')
# Parts of lines rather than lines: checked through the texts that hold them.
PARTS = ("kStopPrefix", "kQuitSuffix")


def constants(source_dir):
    """The texts of logic/log_texts.h by name, adjacent literals joined."""
    code = strip_comments(open(os.path.join(source_dir, TEXTS_FILE), encoding="utf-8").read())
    return {m.group(1): "".join(unescape(l.group(1)) for l in LITERAL.finditer(m.group(2)))
            for m in CONSTANT.finditer(code)}


def log_texts(source_dir):
    """The lines the program logs, variable parts as conversions."""
    return sorted(text for name, text in constants(source_dir).items()
                  if name not in PARTS and (text.startswith("CSetupDlg::") or text.startswith("CopyFile ")))


def refusal_reasons(source_dir):
    return sorted(text for name, text in constants(source_dir).items()
                  if name.startswith("kName") and name != "kNameRefused")


def stray_texts(source_dir):
    """Log texts written as literals outside logic/log_texts.h, which is
    their one home."""
    stray = []
    for folder in ("logic", "shell", "platform", os.path.join("tools", "check")):
        for path in sorted(glob.glob(os.path.join(source_dir, folder, "*.cc")) +
                           glob.glob(os.path.join(source_dir, folder, "*.h"))):
            if os.path.relpath(path, source_dir) == TEXTS_FILE:
                continue
            code = strip_comments(open(path, encoding="utf-8").read())
            for m in LITERAL.finditer(code):
                if m.group(1).startswith("CSetupDlg::") or m.group(1).startswith("CopyFile from"):
                    stray.append("%s: \"%s\"" % (os.path.relpath(path, source_dir), m.group(1)))
    return stray


def devices(source_dir):
    code = open(os.path.join(source_dir, "logic", "install.cc"), encoding="utf-8").read()
    m = re.search(r"for \(const char\* device : \{([^}]*)\}", code)
    return re.findall(r'"([^"]+)"', m.group(1)) if m else []


def guide_pattern(text):
    """The text as the guide writes it: fixed parts in code spans, each
    conversion an italic placeholder."""
    parts = CONVERSION.split(text)
    pattern = ""
    for i, part in enumerate(parts):
        if i:
            pattern += PLACEHOLDER
        if part:
            pattern += "`" + re.escape(part) + "`"
    return pattern


def main():
    source_dir = sys.argv[1]
    guide = open(os.path.join(source_dir, "docs", "guide.md"), encoding="utf-8").read()
    config = open(os.path.join(source_dir, "packaging", "config.ini"), encoding="utf-8").read()
    texts = log_texts(source_dir)
    check("%d log texts found in %s" % (len(texts), TEXTS_FILE), len(texts) >= 20, "too few: the scan is broken")
    for text in texts:
        check("log text in the guide as written: %r" % text, re.search(guide_pattern(text), guide),
              "looked for " + guide_pattern(text))
    reasons = refusal_reasons(source_dir)
    check("%d refusal reasons found in %s" % (len(reasons), TEXTS_FILE), len(reasons) >= 5, "too few")
    for reason in reasons:
        check("refusal reason in the guide: `%s`" % reason, "`%s`" % reason in guide)
    stray = stray_texts(source_dir)
    check("no log text spelled outside %s" % TEXTS_FILE, not stray, stray)
    for word in ("README", "scripts/", "testing.md"):
        lines = [line for line in guide.split("\n") if word in line]
        check("the guide does not send its reader to %s, which the zip does not hold" % word, not lines, lines)
    found_devices = devices(source_dir)
    check("device names found in logic/install.cc", found_devices, "none")
    for device in found_devices + ["COM1", "COM9", "LPT1", "LPT9"]:
        check("packaging/config.ini names the refused device %s" % device, device in config)
    return summary()


if __name__ == "__main__":
    sys.exit(main())
