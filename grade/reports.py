# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""Writes the grader's reports from what its sandboxes left in WORK.

usage: python3 grade/reports.py WORK OUT COMPILER NAME...

WORK holds cases/SUITE, the sentences of the cases graded, and for each
submission NAME: PROGRAM.command and PROGRAM.build (the build's command
and what the compiler said), bin/PROGRAM if it built, SUITE.tap (what bats
printed, in TAP) and SUITE.status (the sandbox's exit status, where it
failed).  Into OUT go NAME/report.txt, NAME/results.json (Gradescope's
autograder format), NAME/junit.xml and grades.csv, a row per NAME in order.
"""

import csv
import json
import os
import re
import sys
from xml.sax.saxutils import escape, quoteattr

PROGRAMS = ("dirview", "spawnwait", "spawnlinger")
LIMIT = 64 << 10  # characters of output kept for one case
NOT_XML = re.compile("[^\t\n\r\u0020-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")


def read(path):
    try:
        with open(path, "rb") as file:
            return file.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return None


def results(tap):
    """The cases that bats reported: sentence -> (passed, output)."""
    found, case = {}, None
    for line in tap.splitlines():
        match = re.match(r"(not )?ok \d+ (.*)$", line)
        if match:
            sentence, _, why = match[2].partition(" # ")
            twice = "reported twice, so forged: " if sentence in found else ""
            case = found[sentence] = [not match[1] and not why and not twice, twice + why + "\n" if twice or why else ""]
        elif case and line.startswith("#"):
            case[1] += line[2:] + "\n"
    return found


def grade(work, name):
    """A submission's programs, each with its build and its cases."""
    folder, graded = os.path.join(work, name), []
    for program in PROGRAMS:
        command = read(os.path.join(folder, program + ".command"))
        build = read(os.path.join(folder, program + ".build")) or ""
        built = os.path.exists(os.path.join(folder, "bin", program))
        cases = []
        for suite in sorted(os.listdir(os.path.join(work, "cases"))):
            if suite.split("-")[0] != program:
                continue
            tap = read(os.path.join(folder, suite + ".tap")) or ""
            status = read(os.path.join(folder, suite + ".status"))
            found = results(tap)
            for sentence in read(os.path.join(work, "cases", suite)).splitlines():
                if sentence in found:
                    passed, output = found[sentence]
                elif not command:
                    passed, output = False, build
                elif not built:
                    passed, output = False, f"{program} did not build\n"
                else:
                    passed, output = False, f"the suite {(status or 'ended').strip()} before this case reported\n"
                cases.append((suite, sentence, passed, output[:LIMIT]))
        graded.append((program, command, build, cases))
    return graded


def write(out, name, compiler, graded):
    folder = os.path.join(out, name)
    os.makedirs(folder, exist_ok=True)
    every = [case for _, _, _, cases in graded for case in cases]
    passed = sum(case[2] for case in every)
    builds = ""
    with open(os.path.join(folder, "report.txt"), "w", encoding="utf-8") as report:
        report.write(f"{name}: {passed} of {len(every)} cases passed\n")
        report.write(f"built by {compiler}\n")
        for program, command, build, cases in graded:
            report.write(f"\n{program}: {sum(c[2] for c in cases)}/{len(cases)}\n")
            report.write(f"  built with: {command}" if command else "")
            if build:
                report.write("  the build said:\n" + indent(build, 4))
                builds += f"{program}: {command or ''}{build}"
            for _, sentence, ok, output in cases:
                report.write(f"  {'passed' if ok else 'FAILED'}  {sentence}\n")
                report.write("" if ok else indent(output, 10))
    tests = [{"name": f"{suite}: {sentence}", "score": int(ok), "max_score": 1,
              "status": "passed" if ok else "failed", "output": output}
             for suite, sentence, ok, output in every]
    with open(os.path.join(folder, "results.json"), "w", encoding="utf-8") as file:
        json.dump({"score": passed, "output": builds, "tests": tests}, file, indent=1)
    with open(os.path.join(folder, "junit.xml"), "w", encoding="utf-8") as file:
        file.write('<?xml version="1.0" encoding="UTF-8"?>\n')
        file.write(f"<testsuites name={xml_attr(name)} tests=\"{len(every)}\" failures=\"{len(every) - passed}\">\n")
        for program, _, _, cases in graded:
            failures = sum(not c[2] for c in cases)
            file.write(f'<testsuite name="{program}" tests="{len(cases)}" failures="{failures}">\n')
            for _, sentence, ok, output in cases:
                file.write(f'<testcase classname="{program}" name={xml_attr(sentence)}>')
                if not ok:
                    file.write(f'<failure message="failed">{escape(NOT_XML.sub("?", output))}</failure>')
                file.write("</testcase>\n")
            file.write("</testsuite>\n")
        file.write("</testsuites>\n")
    return [name, passed, len(every)] + [f"{sum(c[2] for c in cases)}/{len(cases)}" for _, _, _, cases in graded]


def indent(text, width):
    return "".join(" " * width + line + "\n" for line in text.splitlines())


def xml_attr(text):
    return quoteattr(NOT_XML.sub("?", text))


def main(work, out, compiler, *names):
    rows = [write(out, name, compiler, grade(work, name)) for name in names]
    with open(os.path.join(out, "grades.csv"), "w", encoding="utf-8", newline="") as file:
        table = csv.writer(file, lineterminator="\n")
        table.writerow(["submission", "passed", "total", *PROGRAMS])
        table.writerows(rows)


if __name__ == "__main__":
    main(*sys.argv[1:])
