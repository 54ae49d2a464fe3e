# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The sessions of a page of the docs, what each needs, and which run on a
machine where some of what they need holds.

A session is a block of lines indented by four blanks, blank lines within
it, and one at least starting '$ '.  It needs what its commands call on:
`unshare -r` user namespaces, `sudo` sudo, each tool below by its name.
A line `<!-- needs: CONDITION, ... -->` before it adds to that, and a
condition there may start `no `: a form meant for a machine without it.
"""

import re

# The conditions a session may need, the only ones a needs line may name.
TOOLS = ("ps", "pgrep", "script", "perl", "g++", "strace",
         "dirview", "spawnwait", "spawnlinger", "subreaper", "nofork")
CONDITIONS = ("user namespaces", "sudo") + TOOLS

NEEDS_LINE = re.compile(r"<!-- needs: (.*) -->")


class Session:
    """A session: its first and last line, counted from 1, what its
    commands are, what it needs, and the section it is in."""

    def __init__(self, start, end, commands, needs, part, section):
        self.start, self.end = start, end
        self.commands, self.needs = commands, needs
        self.part, self.section = part, section

    def unmet(self, holds):
        """What the session needs that does not hold, where holds tells
        of each condition whether it holds."""
        return [need for need in self.needs
                if holds[need.removeprefix("no ")] == need.startswith("no ")]

    def alternative(self):
        """Whether it is the form for a machine without user namespaces."""
        return "no user namespaces" in self.needs


def implied(commands):
    """What the commands call on, in the order of CONDITIONS."""
    said = " ".join(commands)
    words = set(re.split(r"[\s|;&()\"'$<>]+", said))
    return [condition for condition in CONDITIONS
            if condition in words
            or condition == "user namespaces" and "unshare -r" in said]


def read(lines, name):
    """The sessions of the page of lines, named name in what it says.  A
    needs line that names a condition not known is a ValueError."""
    found, block, needs, fenced = [], None, [], False
    part = section = ""

    def end(last):
        nonlocal block, needs
        start, commands = block
        if commands:
            wanted = list(dict.fromkeys(needs + implied(commands)))
            found.append(Session(start, last, commands, wanted, part, section))
        block, needs = None, []

    for number, line in enumerate(lines, 1):
        if line.startswith("```"):
            fenced = not fenced
        if not fenced and line.startswith("    "):
            block = block or (number, [])
            if line.startswith("    $ "):
                block[1].append(line[6:])
            continue
        if not fenced and line == "" and block:
            continue
        if block:
            end(number - 1)
        if match := NEEDS_LINE.fullmatch(line):
            needs = [need.strip() for need in match[1].split(",")]
            for need in needs:
                if need.removeprefix("no ") not in CONDITIONS:
                    raise ValueError(f"{name}:{number}: no condition is named {need.removeprefix('no ')!r}")
        elif not fenced and line.startswith("## "):
            part, section = line[3:], ""
        elif not fenced and re.match(r"###+ ", line):
            section = line.split(" ", 1)[1]
    if block:
        end(len(lines))
    return found


def blanked(lines, sessions, holds):
    """The page of lines with each session that does not run blanked out,
    line for line, and what each left out needs, a line each."""
    out, left_out = list(lines), []
    for session in sessions:
        if unmet := session.unmet(holds):
            out[session.start - 1:session.end] = [""] * (session.end - session.start + 1)
            left_out += [(session.start, need) for need in unmet]
    return out, left_out


def verdict(sessions, holds):
    """What of one section's sessions runs: as written, in the form beside
    it, in part, or nothing; None where it has no session but forms."""
    plain = [s for s in sessions if not s.alternative()]
    if not plain:
        return None
    runs = sum(not s.unmet(holds) for s in plain)
    lacks = list(dict.fromkeys(need for s in plain for need in s.unmet(holds)))
    if not lacks:
        return "runs as written"
    if lacks == ["user namespaces"]:
        forms = [s for s in sessions if s.alternative() and not s.unmet(holds)]
        if forms:
            sudo = any("sudo" in s.needs for s in forms)
            return "runs in the form beside it, " + ("with sudo" if sudo else "without user namespaces")
        if any(s.alternative() and s.unmet(holds) == ["sudo"] for s in sessions):
            lacks = ["user namespaces or sudo"]
    if runs:
        return "runs in part: read the sessions that need " + ", ".join(lacks)
    return "cannot run here, read it: it needs " + ", ".join(lacks)


def report(sessions, holds):
    """The lines that say of each section what of it runs, under its part."""
    sections = {}
    for session in sessions:
        if session.section:
            sections.setdefault((session.part, session.section), []).append(session)
    lines, part = [], None
    for (in_part, section), those in sections.items():
        if said := verdict(those, holds):
            if in_part != part:
                lines += ["", in_part]
                part = in_part
            lines.append(f"  {section:<40} {said}")
    return lines
