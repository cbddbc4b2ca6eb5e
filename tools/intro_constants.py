#!/usr/bin/env python3
"""Reads the values that the intro, its tools and tests share from
intro_constants.h, the one place they are written.

As a program: intro_constants.py NAME prints the value of NAME (a string
without its quotes). As a module: read() returns every value by name,
numbers as int or float."""

import os
import re
import sys

HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "intro_constants.h")
DEFINITION = re.compile(r"^constexpr [\w\s*]+?\b(k\w+) = (.+);$")


def parse(literal):
    if literal.startswith('"') and literal.endswith('"'):
        return literal[1:-1]
    return float(literal) if "." in literal else int(literal)


def read(header=HEADER):
    with open(header) as f:
        return {match.group(1): parse(match.group(2))
                for match in (DEFINITION.match(line.strip()) for line in f) if match}


def main(arguments):
    values = read()
    if len(arguments) != 1 or arguments[0] not in values:
        print("usage: intro_constants.py NAME, NAME one of: " + " ".join(sorted(values)), file=sys.stderr)
        return 2
    print(values[arguments[0]])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
