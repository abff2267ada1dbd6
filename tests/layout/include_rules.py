#!/usr/bin/env python3
"""Checks every #include of the tree against the arrows of include_rules.txt:
each room of the tree may include only what its rules allow. Prints one line
per refused include (file, line, include, the rule's reason) and a closing
count; exits 1 when anything is refused, 2 when the rules cannot be read.

Usage: include_rules.py [SOURCE_DIR [RULES_FILE]]"""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from tree import files  # noqa: E402

SOURCES = (".c", ".cc", ".h", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s*(?:(<[^>\n]+>)|"([^"\n]+)"|(.*))')


def pattern_regex(pattern):
    """'*' within one part of a path, '**' across parts; nothing else is special."""
    out = []
    for i, piece in enumerate(pattern.split("**")):
        if i:
            out.append(".*")
        out.append("[^/]*".join(re.escape(part) for part in piece.split("*")))
    return re.compile("".join(out) + r"\Z")


class RulesError(Exception):
    pass


def read_rules(path):
    """[(room patterns, [(allow, regex, pattern, reason)])] in the file's order."""
    sets, rooms = {}, []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            word, _, rest = line.partition(" ")
            if word == "set":
                name, *members = rest.split()
                sets[name] = members
            elif word == "room":
                rooms.append(([pattern_regex(p) for p in rest.split()], []))
            elif word in "+-" and rooms:
                pattern, _, reason = rest.strip().partition(" ")
                names = sets.get(pattern[1:]) if pattern.startswith("@") else [pattern]
                if names is None:
                    raise RulesError("%s:%d: no set %s" % (path, number, pattern))
                if word == "-" and not reason.strip():
                    raise RulesError("%s:%d: a refusal says why" % (path, number))
                for name in names:
                    rooms[-1][1].append((word == "+", pattern_regex(name), pattern, reason.strip()))
            else:
                raise RulesError("%s:%d: not a rule: %s" % (path, number, line))
    return rooms


def source_files(root):
    return [n for n in files(root) if n.endswith(SOURCES)]


def resolve(root, including_file, quoted):
    """The tree's path of a quoted include, or the include as written."""
    including_folder = os.path.dirname(including_file)
    for candidate in (quoted, os.path.join(including_folder, quoted)):
        path = os.path.normpath(candidate).replace(os.sep, "/")
        if not path.startswith("../") and os.path.isfile(os.path.join(root, path)):
            return path
    return quoted


def check(root, rules, names):
    """The refusals, as printable lines."""
    refusals = []
    for name in names:
        room = next((r for patterns, r in rules if any(p.match(name) for p in patterns)), None)
        if room is None:
            refusals.append("%s: in no room of the rules: give its folder a room" % name)
            continue
        with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                angle, quoted, other = m.groups()
                if other is not None:
                    refusals.append("%s:%d: %s: an include the check cannot read" % (name, number, line.strip()))
                    continue
                target = resolve(root, name, quoted) if quoted else angle
                verdict = next((rule for rule in room if rule[1].match(target)), None)
                if verdict is None:
                    refusals.append("%s:%d: includes %s: not allowed in its room" % (name, number, target))
                elif not verdict[0]:
                    refusals.append("%s:%d: includes %s: refused by '- %s': %s" %
                                    (name, number, target, verdict[2], verdict[3]))
    return refusals


def main(argv):
    root = os.path.abspath(argv[1] if len(argv) > 1 else os.path.join(HERE, "..", ".."))
    rules_path = argv[2] if len(argv) > 2 else os.path.join(HERE, "include_rules.txt")
    try:
        rules = read_rules(rules_path)
    except (OSError, RulesError) as e:
        print("cannot read the rules: %s" % e)
        return 2
    names = source_files(root)
    refusals = check(root, rules, names)
    for line in refusals:
        print("FAIL " + line)
    print("%d files checked, %d refused" % (len(names), len(refusals)))
    return 1 if refusals else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
