#!/usr/bin/env python3
"""The shipped guide against the program's sources: every fixed log text the
program writes appears in docs/guide.md exactly, in code spans, with each
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


def log_texts(source_dir):
    """The messages the program logs, variable parts as conversions: adjacent
    literals joined, `"..." + name + "..."` read as one text with %s."""
    texts = set()
    for path in glob.glob(os.path.join(source_dir, "logic", "*.cc")) + glob.glob(
            os.path.join(source_dir, "shell", "*.cc")):
        code = strip_comments(open(path, encoding="utf-8").read())
        code = re.sub(r'"\s*\+\s*[\w*.>()-]+\s*\+\s*"', "%s", code)
        code = re.sub(r'"\s*\n\s*"', "", code)
        for m in LITERAL.finditer(code):
            text = unescape(m.group(1))
            if text.startswith("CSetupDlg::") or text.startswith("CopyFile "):
                texts.add(text)
    return sorted(texts)


def refusal_reasons(source_dir):
    code = strip_comments(open(os.path.join(source_dir, "logic", "install.cc"), encoding="utf-8").read())
    return sorted(unescape(m.group(1)) for m in re.finditer(r'return\s+"((?:[^"\\\n]|\\.)*)"\s*;', code))


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
    check("%d log texts found in the sources" % len(texts), len(texts) >= 20, "too few: the scan is broken")
    for text in texts:
        check("log text in the guide as written: %r" % text, re.search(guide_pattern(text), guide),
              "looked for " + guide_pattern(text))
    reasons = refusal_reasons(source_dir)
    check("%d refusal reasons found in logic/install.cc" % len(reasons), len(reasons) >= 5, "too few")
    for reason in reasons:
        check("refusal reason in the guide: `%s`" % reason, "`%s`" % reason in guide)
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
