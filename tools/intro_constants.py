#!/usr/bin/env python3
"""Reads the values that the intro, its tools and tests share from the
constants header, the one place they are written: a build's own,
BUILD_DIR/intro_constants.h, which holds the piece that build plays, or
without a build folder the bundled piece's, intro_constants.h.in.

As a program: intro_constants.py [--build BUILD_DIR] NAME prints the value of
NAME (a string without its quotes). As a module: read(build_dir) returns
every value by name, numbers as int or float."""

import os
import re
import sys

BUNDLED_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "intro_constants.h.in")
BUILD_HEADER = "intro_constants.h"
DEFINITION = re.compile(r"^constexpr [\w\s*]+?\b(k\w+) = (.+);$")


def parse(literal):
    if literal.startswith('"') and literal.endswith('"'):
        return literal[1:-1]
    return float(literal) if "." in literal else int(literal)


def header_path(build_dir=None):
    """The constants header of the build in build_dir, or the bundled one."""
    return os.path.join(build_dir, BUILD_HEADER) if build_dir else BUNDLED_HEADER


def read(build_dir=None):
    with open(header_path(build_dir)) as f:
        return {match.group(1): parse(match.group(2))
                for match in (DEFINITION.match(line.strip()) for line in f) if match}


def main(arguments):
    build_dir = None
    if arguments[:1] == ["--build"] and len(arguments) >= 2:
        build_dir, arguments = arguments[1], arguments[2:]
    values = read(build_dir)
    if len(arguments) != 1 or arguments[0] not in values:
        print("usage: intro_constants.py [--build BUILD_DIR] NAME, NAME one of: " + " ".join(sorted(values)),
              file=sys.stderr)
        return 2
    print(values[arguments[0]])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
