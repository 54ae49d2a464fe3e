# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The reports: for each submission NAME, OUT/NAME/report.txt, OUT/NAME/
results.json (Gradescope's autograder format) and OUT/NAME/junit.xml; and
OUT/grades.csv, a row per submission graded, in the order given.

What a program or a compiler printed is shown, never sent raw: a control
character, a byte that is not UTF-8, or a character that turns text
around, reads as its escape, \\x1b say, so that a report is safe to cat
at a terminal; what a failed case printed is made short to read
(failures.py).  A graded submission is a list of programs, each
(program, command, what the build said, cases), and each case (suite,
sentence, passed, output); what was printed is bytes.
"""

import csv
import json
import os
import re
import tempfile
from xml.sax.saxutils import escape, quoteattr

import bounds
import failures

# C0 and C1 controls but the newline and the tab, the characters that turn
# text around or hide it, line and paragraph separators, and the bytes that
# are not UTF-8 (as surrogateescape reads them).
UNSAFE = re.compile("[\x00-\x08\x0b-\x1f\x7f-\x9f\u200b-\u200f\u2028-\u202e\u2066-\u2069\ufeff\ufffe\uffff\udc80-\udcff]")


def shown(data, lines=True):
    """data, bytes, as text to show: each unsafe character as its escape,
    newlines too unless lines."""
    text = UNSAFE.sub(lambda match: escaped(match[0]), data.decode("utf-8", "surrogateescape"))
    return text if lines else text.replace("\n", "\\n")


def failure(output):
    """What a failed case printed, bytes, as text to show, made to teach."""
    return UNSAFE.sub(lambda match: escaped(match[0]), failures.taught(output.decode("utf-8", "surrogateescape")))


def escaped(character):
    code = ord(character)
    return f"\\x{code - 0xdc00:02x}" if 0xdc80 <= code <= 0xdcff else f"\\x{code:02x}" if code < 0x100 else f"\\u{code:04x}"


def write(out, name, compiler, graded):
    """Writes the reports of the submission name into out/name; returns
    its row of grades.csv."""
    folder = os.path.join(out, os.fsdecode(name))
    os.makedirs(folder, exist_ok=True)
    title = shown(name, lines=False)
    every = [case for _, _, _, cases in graded for case in cases]
    passed = sum(case[2] for case in every)
    builds = ""
    with open(os.path.join(folder, "report.txt"), "w", encoding="utf-8") as report:
        report.write(f"{title}: {passed} of {len(every)} cases passed\n")
        report.write(f"built by {compiler}\n")
        for program, command, build, cases in graded:
            report.write(f"\n{program}: {sum(c[2] for c in cases)}/{len(cases)}\n")
            report.write(f"  built with: {command}\n" if command else "")
            if build:
                report.write("  the build said:\n" + indent(shown(build), 4))
                builds += f"{program}: {command or ''}\n{shown(build)}"
            for _, sentence, ok, output in cases:
                report.write(f"  {'passed' if ok else 'FAILED'}  {sentence}\n")
                report.write("" if ok else indent(failure(output), 10))
    tests = [{"name": f"{suite}: {sentence}", "score": int(ok), "max_score": 1,
              "status": "passed" if ok else "failed", "output": "" if ok else failure(output)}
             for suite, sentence, ok, output in every]
    with open(os.path.join(folder, "results.json"), "w", encoding="utf-8") as file:
        json.dump({"score": passed, "output": builds, "tests": tests}, file, indent=1)
    with open(os.path.join(folder, "junit.xml"), "w", encoding="utf-8") as file:
        file.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        file.write(f"<testsuites name={quoteattr(title)} tests=\"{len(every)}\" failures=\"{len(every) - passed}\">\n")
        for program, _, _, cases in graded:
            failures = sum(not c[2] for c in cases)
            file.write(f'<testsuite name="{program}" tests="{len(cases)}" failures="{failures}">\n')
            for _, sentence, ok, output in cases:
                file.write(f'<testcase classname="{program}" name={quoteattr(sentence)}>')
                if not ok:
                    file.write(f'<failure message="failed">{escape(failure(output))}</failure>')
                file.write("</testcase>\n")
            file.write("</testsuite>\n")
        file.write("</testsuites>\n")
    return [title, passed, len(every)] + [f"{sum(c[2] for c in cases)}/{len(cases)}" for _, _, _, cases in graded]


def indent(text, width):
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    return "".join(" " * width + line + "\n" for line in lines)


def table(out, rows):
    """Writes out/grades.csv anew, whole or not at all: a row for each
    submission graded so far."""
    fd, new = tempfile.mkstemp(prefix=".grades.", dir=out)
    with open(fd, "w", encoding="utf-8", newline="") as file:
        table = csv.writer(file, lineterminator="\n")
        table.writerow(["submission", "passed", "total", *bounds.PROGRAMS])
        table.writerows(rows)
    os.chmod(new, 0o644)
    os.replace(new, os.path.join(out, "grades.csv"))
