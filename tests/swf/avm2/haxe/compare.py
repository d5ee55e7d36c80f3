#!/usr/bin/env python3
"""Compares a movie's trace output with the expected lines.

Numbers are compared by value, everything else exactly: the Haxe interpreter prints floats with
up to 18 significant digits and its own names for NaN and the infinities ("nan", "infinity",
"neg_infinity"), ActionScript prints the shortest form that reads back ("NaN", "Infinity",
"1e+21"), and both are right.

Usage: compare.py ACTUAL EXPECTED [--max-shown N]
Exit status: 0 when they agree, 1 when they differ, 2 when a file cannot be read.
"""

import math
import re
import sys

# A number is a decimal literal (sign, digits, fraction, exponent) or one of the spellings of NaN
# and the infinities that either side prints. The word forms must stand alone, so "info" or
# "nano" stay text.
_NUMBER = re.compile(
    r"(?<![A-Za-z0-9_])(?:[-+]?(?:NaN|nan|Infinity|infinity|inf)|neg_infinity)(?![A-Za-z0-9_])"
    r"|[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?"
)

_WORDS = {
    "nan": math.nan,
    "infinity": math.inf,
    "inf": math.inf,
    "neg_infinity": -math.inf,
}


def _value(token):
    sign = 1.0
    body = token
    if body[0] in "+-":
        sign = -1.0 if body[0] == "-" else 1.0
        body = body[1:]
    word = _WORDS.get(body.lower())
    if word is not None:
        return sign * word
    return sign * float(body)


def tokens(line):
    """Splits a line into text and number tokens: ("t", text) or ("n", (text, value))."""
    out = []
    pos = 0
    for m in _NUMBER.finditer(line):
        if m.start() > pos:
            out.append(("t", line[pos:m.start()]))
        out.append(("n", (m.group(0), _value(m.group(0)))))
        pos = m.end()
    if pos < len(line):
        out.append(("t", line[pos:]))
    return out


def _zero_led(text):
    digits = text.lstrip("+-")
    return digits.isdigit() and len(digits) > 1 and digits[0] == "0"


def _exact_only(actual, expected):
    """Digit runs that no number printer produces are text in disguise (hex digests, big decimal
    strings, zero-padded fields) and must be equal character for character: one with a leading
    zero on either side, or an expected run longer than 18 digits (the interpreter prints
    exponents from there on; ActionScript only from 22 digits, so the actual side may be long)."""
    digits = expected.lstrip("+-")
    return _zero_led(actual) or _zero_led(expected) or (digits.isdigit() and len(digits) > 18)


def _same_number(a, b):
    (ta, va), (tb, vb) = a, b
    if ta == tb:
        return True
    if _exact_only(ta, tb):
        return False
    # A decimal literal too big for a double ("41e4649" inside a hex digest) reads as infinity;
    # only the words stand for infinity here.
    if (math.isinf(va) and ta[-1].isdigit()) or (math.isinf(vb) and tb[-1].isdigit()):
        return False
    if math.isnan(va) or math.isnan(vb):
        return math.isnan(va) and math.isnan(vb)
    return va == vb


def lines_match(actual, expected):
    if actual == expected:
        return True
    ta, te = tokens(actual), tokens(expected)
    if len(ta) != len(te):
        return False
    for (ka, va), (ke, ve) in zip(ta, te):
        if ka != ke:
            return False
        if ka == "t" and va != ve:
            return False
        if ka == "n" and not _same_number(va, ve):  # actual first, expected second
            return False
    return True


def compare(actual_lines, expected_lines, max_shown=10):
    """Returns (number of differing lines, report lines)."""
    report = []
    differing = 0
    n = max(len(actual_lines), len(expected_lines))
    for i in range(n):
        a = actual_lines[i] if i < len(actual_lines) else None
        e = expected_lines[i] if i < len(expected_lines) else None
        if a is not None and e is not None and lines_match(a, e):
            continue
        differing += 1
        if differing <= max_shown:
            report.append("line %d:" % (i + 1))
            report.append("  expected: %s" % ("<missing>" if e is None else e))
            report.append("  actual:   %s" % ("<missing>" if a is None else a))
    return differing, report


def read_lines(path):
    with open(path, "rb") as f:
        text = f.read().decode("utf-8", errors="replace")
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return [l[:-1] if l.endswith("\r") else l for l in lines]


def main(argv):
    args = [a for a in argv[1:]]
    max_shown = 10
    if "--max-shown" in args:
        i = args.index("--max-shown")
        try:
            max_shown = int(args[i + 1])
        except (IndexError, ValueError):
            print("compare.py: --max-shown needs a number", file=sys.stderr)
            return 2
        del args[i:i + 2]
    if len(args) != 2:
        print("usage: compare.py ACTUAL EXPECTED [--max-shown N]", file=sys.stderr)
        return 2
    try:
        actual = read_lines(args[0])
        expected = read_lines(args[1])
    except OSError as e:
        print("compare.py: %s" % e, file=sys.stderr)
        return 2
    differing, report = compare(actual, expected, max_shown)
    for line in report:
        print(line)
    if differing:
        print("DIFFER: %d of %d lines differ (%d actual, %d expected)"
              % (differing, max(len(actual), len(expected)), len(actual), len(expected)))
        return 1
    print("MATCH: %d lines" % len(expected))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
