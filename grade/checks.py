# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The checks made before any grading: the options, the folders, the tools
and --out.  Each refusal is a line that says why, and exit status 2."""

import os
import re
import shutil
import tempfile

import reports

USAGE = "usage: grade/grade --out DIR [--leave-out REGEX]... [--jobs N] SUBMISSION..."
# What the suites run on, the students' check as the grader; what the
# grader's sandbox adds; and the suites' bats libraries.
SUITE_TOOLS = ("g++", "gcc", "bats", "strace", "script", "perl", "prlimit")
SANDBOX_TOOLS = ("bwrap", "choom")
LIBRARIES = ("bats-support", "bats-assert")


class Refused(Exception):
    pass


def options(arguments):
    """--out, the patterns of --leave-out, --jobs and the folders, from the
    command line; a word after --, or one that does not start with --, is a
    folder, whatever it holds."""
    out, leave_out, jobs, folders, ended = None, [], os.cpu_count() or 1, [], False
    words = iter(arguments)
    for word in words:
        if ended or not word.startswith("--"):
            folders.append(word)
            continue
        if word == "--":
            ended = True
            continue
        if word == "--help":
            print(USAGE)
            raise SystemExit(0)
        option, equals, value = word.partition("=")
        if option not in ("--out", "--leave-out", "--jobs"):
            raise Refused(f"no option {shown(option)}; {USAGE}")
        if not equals:
            value = next(words, None)
            if value is None:
                raise Refused(f"{option} needs a value; {USAGE}")
        if option == "--out":
            out = value
        elif option == "--jobs":
            if not re.fullmatch("[0-9]+", value) or int(value) < 1:
                raise Refused(f"--jobs takes how many submissions to grade at once, 1 or more, not '{shown(value)}'")
            jobs = int(value)
        else:
            try:
                leave_out.append(re.compile(value))
            except re.error as error:
                raise Refused(f"--leave-out '{shown(value)}' is no regular expression: {error}") from None
    if out is None or not folders:
        raise Refused(USAGE)
    return out, leave_out, jobs, folders


def names(folders, out):
    """The name of each folder's submission: the folder's own name, each
    told apart from the others and from grades.csv; each folder readable,
    and none holding out."""
    named, marks = {}, os.path.realpath(out)
    for folder in folders:
        if not os.path.isdir(folder):
            raise Refused(f"no such folder: {shown(folder)}" if not os.path.exists(folder) else f"not a folder: {shown(folder)}")
        if not os.access(folder, os.R_OK | os.X_OK):
            raise Refused(f"the folder {shown(folder)} cannot be read")
        path = os.path.realpath(folder)
        name = os.path.basename(path)
        if name == "grades.csv":
            raise Refused(f"a submission may not be named grades.csv, as the table of grades is: rename {shown(folder)}")
        if name in named:
            raise Refused(f"two submissions named {shown(name)}: {shown(named[name])} and {shown(folder)}")
        if os.path.commonpath([path, marks]) == path:
            raise Refused(f"--out {shown(out)} is inside the submission {shown(folder)}")
        named[name] = folder
    return [(folder, os.fsencode(name)) for name, folder in named.items()]


def missing(needed):
    """Which of the tools needed, and of the suites' libraries, are not here."""
    return ([tool for tool in needed if not shutil.which(tool)] +
            [library for library in LIBRARIES if not os.path.isfile(f"/usr/lib/bats/{library}/load.bash")])


def tools(needed=SUITE_TOOLS + SANDBOX_TOOLS):
    if lacking := missing(needed):
        raise Refused(f"{lacking[0]} is missing: grade/setup.sh, as root, installs what grading needs")


def writable(out):
    """Makes the folder out, where the marks go, and tries a file in it."""
    try:
        os.makedirs(out, exist_ok=True)
        fd, probe = tempfile.mkstemp(dir=out)
        os.close(fd)
        os.remove(probe)
    except OSError as error:
        raise Refused(f"no marks can be written into {shown(out)}: {error.strerror}") from None


def shown(text):
    """text, a name or a path, bytes or not, as text to show on a line."""
    return reports.shown(os.fsencode(text), lines=False)
