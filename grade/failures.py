# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""What a failed case says, made short enough to read: where bats-assert's
expected and actual lines first differ, with a few lines of context, in
place of both whole; a crash's status named by its signal; each line cut
to WIDTH characters; bats's empty lines left out.  Every line shown is one that bats printed; each cut
says how much it left out."""

import re
import signal

WIDTH = 200  # characters of a line shown
SHOWN = 5  # lines of expected and of actual shown, from the first that differs
CONTEXT = 2  # lines alike shown before it

LINES = re.compile(r"(expected|actual) \((\d+) lines\):")
STATUS = re.compile(r"(status : )(\d+)")


def taught(text):
    """text, what a failed case printed, made short and plain."""
    lines, shown, at = text.split("\n"), [], 0
    while at < len(lines):
        expected = LINES.fullmatch(lines[at])
        ends = at + 1 + int(expected[2]) if expected and expected[1] == "expected" else None
        actual = LINES.fullmatch(lines[ends]) if ends is not None and ends < len(lines) else None
        if actual and actual[1] == "actual" and int(expected[2]) + int(actual[2]) > 2 * SHOWN:
            shown += difference(lines[at + 1:ends], lines[ends + 1:ends + 1 + int(actual[2])])
            at = ends + 1 + int(actual[2])
            continue
        if lines[at] != "#":  # bats's empty line around what bats-assert says
            shown.append(crash(lines[at]))
        at += 1
    return "\n".join(line if len(line) <= WIDTH else f"{line[:WIDTH]}[{len(line) - WIDTH} characters more]"
                     for line in shown)


def difference(expected, actual):
    """bats-assert's two listings, each line behind two blanks, as the
    lines around the first that differs."""
    first = next((n for n, (e, a) in enumerate(zip(expected, actual)) if e != a), min(len(expected), len(actual)))
    said = [f"expected ({len(expected)} lines) and actual ({len(actual)} lines) first differ at line {first + 1}:"]
    said += [f"  {line[2:]}" for line in expected[max(0, first - CONTEXT):first]]
    for name, lines in (("expected", expected), ("actual", actual)):
        said.append(f"{name}, from line {first + 1}:")
        said += [f"  {line[2:]}" for line in lines[first:first + SHOWN]]
        if len(lines) > first + SHOWN:
            said.append(f"  [{len(lines) - first - SHOWN} lines more]")
    return said


def crash(line):
    """A status line of bats-assert's, with the signal that a status above
    128 stands for, as a shell reports a process that a signal ended."""
    status = STATUS.fullmatch(line)
    if not status or not 128 < int(status[2]) < 128 + signal.NSIG:
        return line
    number = int(status[2]) - 128
    try:
        name = signal.Signals(number).name
    except ValueError:
        return line
    return f"{line} (128 + {number}: the program was ended by {name}, {signal.strsignal(number)})"
