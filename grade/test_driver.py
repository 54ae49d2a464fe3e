# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The driver, with a stand-in for the sandbox: a script that plays the
compiler and bats as a submission's files say.  Run from the checkout:
python3 -B -m unittest discover -s grade"""

import contextlib
import importlib.machinery
import importlib.util
import io
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.dont_write_bytecode = True
import bounds  # noqa: E402
import domains  # noqa: E402
import sandbox  # noqa: E402
import suites  # noqa: E402

# The stand-in: for a build, a source that starts with "error" is what the
# compiler prints, failing, and any other is the program built; for bats,
# the program says what each case does: "pass", "hang", or what it prints,
# failing; a suite's cases run as bats would, from its --filter.
STAND_IN = r'''
import os, re, sys, time
folder, command = sys.argv[1], sys.argv[2:]
if command[0] in ("g++", "gcc"):
    text = open(os.path.join(folder, command[-1])).read()
    if text.startswith("error"):
        sys.exit(print(text, end="") or 1)
    open(os.path.join(folder, command[-2]), "w").write(text)
elif command[0] == "bats":
    pattern = command[command.index("--filter") + 1][2:-2]
    sentences = [re.sub(r"\\(.)", r"\1", s) for s in re.split(r"(?<!\\)\|", pattern)]
    does = open(os.path.join(folder, os.path.basename(command[-1]).split("-")[0].split(".")[0])).read()
    print("1..%d" % len(sentences), flush=True)
    for number, sentence in enumerate(sentences, 1):
        print("begin %d %s" % (number, sentence), flush=True)
        if does == "hang":
            time.sleep(3600)
        print("ok %d %s" % (number, sentence) if does == "pass" else "not ok %d %s\n# %s" % (number, sentence, does), flush=True)
'''


def stand_in(grader, folder, writable, command, env=()):
    """Starts the stand-in as sandbox.start would the sandbox."""
    output, output_end = os.pipe()
    report, report_end = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    process = subprocess.Popen([sys.executable, "-c", STAND_IN, folder, *command], stdout=output_end,
                               stderr=output_end, stdin=subprocess.DEVNULL)
    os.close(output_end)
    report_end.close()
    return process, output, report


def script(*lines, pause=0):
    """A launch of a suite's run that prints lines, bytes each, then waits
    pause seconds."""
    def launch(sentences):
        output, output_end = os.pipe()
        report, report_end = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        text = b"".join(line + b"\n" for line in lines)
        process = subprocess.Popen([sys.executable, "-c", "import sys, time; sys.stdout.buffer.write(sys.stdin.buffer.read()); "
                                    f"sys.stdout.flush(); time.sleep({pause})"], stdin=subprocess.PIPE, stdout=output_end)
        os.close(output_end)
        report_end.close()
        threading.Thread(target=process.communicate, args=(text,)).start()
        return process, output, report
    return launch


def run_suite(launch, sentences, seconds=5):
    """Runs a suite's cases with launch; returns each case's (passed,
    output), and how many runs, the first included, came one after another
    at most: a run's own time, whatever the machine's load."""
    results, threads, depth, local = {}, [], [1], threading.local()

    def beside(function):
        after = getattr(local, "runs", 1) + 1
        depth[0] = max(depth[0], after)

        def body():
            local.runs = after
            function()

        thread = threading.Thread(target=body)
        thread.start()
        threads.append(thread)

    suites.run(launch, sentences, seconds, domains.Domains(), beside,
               lambda sentence, passed, output: results.__setitem__(sentence, (passed, output)))
    while threads:
        threads.pop().join()
    return [results[sentence] for sentence in sentences], depth[0]


class Suites(unittest.TestCase):
    def test_forged(self):
        """A line a program printed stays one line of its case's output,
        though it holds a carriage return, and counts for nothing."""
        forged = b"# \rok 2 two\x0bok 2 two\x1cok 2 two" + "\x85ok 2 two\u2028ok 2 two".encode()
        cases, _ = run_suite(script(b"begin 1 one", b"not ok 1 one", forged, b"begin 2 two"), ["one", "two"])
        self.assertEqual(cases, [(False, forged[2:] + b"\n"), (False, b"the suite ended before this case reported\n")])

    def test_twice(self):
        """A case reported twice fails."""
        cases, _ = run_suite(script(b"begin 1 one", b"ok 1 one", b"ok 1 one"), ["one"])
        self.assertEqual(cases, [(False, b"bats reported this case twice, so one report was forged\n")])

    def test_flood(self):
        """What a case prints is kept to its bound, saying how much was cut."""
        flood = [b"# flood"] * (bounds.KEPT_KIB << 8) + [b"# " + b"x" * (bounds.KEPT_KIB << 11)]
        cases, _ = run_suite(script(b"begin 1 one", b"not ok 1 one", *flood, b"begin 2 two", b"ok 2 two"), ["one", "two"])
        self.assertEqual(cases[1], (True, b""))
        kept, note = cases[0][1].rsplit(b"\n[", 1)
        self.assertEqual(len(kept), bounds.KEPT_KIB << 10)
        self.assertRegex(note, rb"^[0-9]+ bytes more, cut\]\n$")

    def test_hang_then_pass(self):
        """A case that runs past its time fails, saying so, and not one
        before it, and the cases after it run in new sandboxes."""
        runs = []

        def launch(sentences):
            runs.append(sentences)
            if len(runs) == 1:  # no word on the first case, and the second hangs
                return script(b"begin 1 one", b"begin 2 two", pause=60)(sentences)
            return script(*[b"%s %d %s" % (word, n, s.encode()) for n, s in enumerate(sentences, 1) for word in (b"begin", b"ok")])(sentences)

        cases, runs_in_turn = run_suite(launch, ["one", "two", "three", "four"], 1)
        self.assertEqual(cases, [(False, b"bats gave no result for this case\n"), (False, b"ran past its 1 seconds, and was ended\n"),
                                 (True, b""), (True, b"")])
        self.assertEqual((sorted(runs[1:]), runs_in_turn), ([["four"], ["three"]], 2))

    def test_hang_everywhere(self):
        """A program that hangs on every case costs a few times a case's
        time, not that time for each case."""
        def launch(sentences):
            return script(b"begin 1 %s" % sentences[0].encode(), pause=60)(sentences)

        sentences = [f"case {n}" for n in range(16)]
        cases, runs_in_turn = run_suite(launch, sentences, 1)
        self.assertEqual(cases, [(False, b"ran past its 1 seconds, and was ended\n")] * 16)
        self.assertLessEqual(runs_in_turn, 5)  # one a case would be 16


def load_grader():
    loader = importlib.machinery.SourceFileLoader("grader", os.path.join(os.path.dirname(os.path.abspath(__file__)), "grade"))
    grader = importlib.util.module_from_spec(importlib.util.spec_from_loader("grader", loader))
    loader.exec_module(grader)
    return grader


class Driver(unittest.TestCase):
    """The whole driver, with the stand-in for each sandbox."""

    def setUp(self):
        self.grader = load_grader()
        self.start, sandbox.start = sandbox.start, stand_in
        self.grader.prepare = lambda work: os.mkdir(os.path.join(work, "grader")) or os.path.join(work, "grader")
        self.folder = tempfile.TemporaryDirectory()
        self.class_ = self.folder.name

    def tearDown(self):
        sandbox.start = self.start
        self.folder.cleanup()
        if hasattr(self.grader, "KEEPER"):  # which removes the grading's work folder
            self.grader.KEEPER.stdin.close()
            self.grader.KEEPER.wait()

    def submission(self, name, dirview="pass", spawnwait="pass", spawnlinger="pass"):
        folder = os.path.join(os.fsencode(self.class_), name)
        os.mkdir(folder)
        for program, does in (("dirview", dirview), ("spawnwait", spawnwait), ("spawnlinger", spawnlinger)):
            with open(os.path.join(folder, program.encode() + b".c"), "w") as source:
                source.write(does)
        return folder

    def grade(self, *arguments):
        said = io.StringIO()
        with contextlib.redirect_stderr(said):
            status = self.grader.main(["--out", os.path.join(self.class_, "marks"), *arguments])
        return status, said.getvalue()

    def test_names(self):
        """Folders named as the grader's own files, or not in UTF-8, or with
        a blank or a leading dash, are graded like any other, in the order
        given."""
        names = [b"lock", b"cases", b"grader", b"-x", b"a b", b"caf\xe9", b"0"]
        folders = [self.submission(name) for name in names]
        status, _ = self.grade("--jobs", "3", "--", *map(os.fsdecode, folders))
        with open(os.path.join(self.class_, "marks", "grades.csv"), "rb") as table:
            rows = table.read().decode("utf-8").splitlines()
        cases = self.grader.cases([])
        each = [sum(len(s) for suite, s in cases.items() if suite.split("-")[0] == p) for p in bounds.PROGRAMS]
        passed = ",".join([str(sum(each))] * 2 + [f"{n}/{n}" for n in each])
        self.assertEqual(status, 0)
        self.assertEqual(rows[1:], [f"{name},{passed}" for name in ["lock", "cases", "grader", "-x", "a b", "caf\\xe9", "0"]])

    def test_build_error(self):
        """A build's error is shown whole, to its bound."""
        error = "error: " + "".join(f"line {n}\n" for n in range(2000))
        folder = self.submission(b"ada", spawnwait=error)
        _, _ = self.grade(os.fsdecode(folder))
        with open(os.path.join(self.class_, "marks", "ada", "report.txt")) as report:
            self.assertIn("    line 1999\n", report.read())

    def test_shown(self):
        """What a program printed is shown, never sent raw, in the report
        and in results.json, and a failed case says where the lab or a
        manual page shows what it checks."""
        folder = self.submission(b"ada", dirview="\x1b[2J\x1b[32mpassed every case")
        self.grade("--leave-out", "^(?!dirview: an empty directory)", os.fsdecode(folder))
        marks = os.path.join(self.class_, "marks", "ada")
        with open(os.path.join(marks, "report.txt"), "rb") as report:
            text = report.read()
        with open(os.path.join(marks, "results.json")) as results:
            output = json.load(results)["tests"][0]["output"]
        self.assertNotIn(b"\x1b", text)
        self.assertIn(b"\\x1b[2J\\x1b[32mpassed every case\n          see dirview(1), DESCRIPTION\n", text)
        self.assertIn("\\x1b[2J", output)

    def test_taught(self):
        """A failure shows where the expected and actual lines first differ,
        not both whole, names a crash's signal, and cuts a long line, saying
        how much: a sorted listing of 1000 entries fails in under 4 KiB."""
        expected = "\n".join(f"  entry{n:04}" for n in range(1000))
        actual = "\n".join(f"  entry{n:04}" for n in sorted(range(1000), key=str))
        folder = self.submission(b"ada", dirview=f"expected (1000 lines):\n{expected}\nactual (1000 lines):\n{actual}\n"
                                 f"status : 139\n{'x' * 5000}")
        self.grade("--leave-out", "^(?!dirview: an empty directory)", os.fsdecode(folder))
        with open(os.path.join(self.class_, "marks", "ada", "report.txt")) as report:
            text = report.read()
        self.assertLess(len(text), 4096)
        self.assertIn("expected (1000 lines) and actual (1000 lines) first differ at line 3:\n", text)
        self.assertIn("status : 139 (128 + 11: the program was ended by SIGSEGV, Segmentation fault)\n", text)
        self.assertIn(f"{'x' * 200}[4800 characters more]\n", text)

    def test_where(self):
        """Each case names the section of the lab, or of a manual page, that
        shows what it checks, and the section is there."""
        root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        with open(os.path.join(root, "doc", "lab.md")) as lab:
            sections = {f'the lab, "{title}"' for title in re.findall("^#+ (.*)$", lab.read(), re.MULTILINE)}
        for program in bounds.PROGRAMS:
            with open(os.path.join(root, program, program + ".1")) as page:
                sections |= {f"{program}(1), {title}" for title in re.findall("^[.]Sh (.*)$", page.read(), re.MULTILINE)}
        for suite, cases in self.grader.cases([]).items():
            for sentence, where in cases.items():
                self.assertIn(where, sections, f"{suite}: {sentence}")

    def test_progress(self):
        """A line tells of each submission as it is graded, with its score,
        and a closing one of the class."""
        folders = [self.submission(b"ada"), self.submission(b"ben", dirview="wrong")]
        _, said = self.grade("--leave-out", "^(?!dirview: an empty directory)", *map(os.fsdecode, folders))
        lines = said.splitlines()
        self.assertEqual(sorted(lines[:2]), ["graded ada: 1 of 1 cases passed", "graded ben: 0 of 1 cases passed"])
        self.assertRegex(lines[2], "^graded 2 submissions in 0 min [0-9]+ s; the marks are in ")


class Refusals(unittest.TestCase):
    def test_refusals(self):
        """What the grader cannot grade it refuses at once, in a line, with
        exit status 2."""
        with tempfile.TemporaryDirectory() as folder:
            os.mkdir(os.path.join(folder, "ada"))
            open(os.path.join(folder, "ada", "grades"), "w").close()
            for arguments, said in [
                (["--jobs", "0", "ada"], "grade: --jobs takes how many submissions to grade at once, 1 or more, not '0'"),
                (["--jobs", "many", "ada"], "grade: --jobs takes how many submissions to grade at once, 1 or more, not 'many'"),
                (["--leave-out", "[", "ada"], "grade: --leave-out '[' is no regular expression: unterminated character set at position 0"),
                (["--bogus", "ada"], f"grade: no option --bogus; {self.usage()}"),
                (["ada", "--out"], f"grade: --out needs a value; {self.usage()}"),
                (["-x"], "grade: no such folder: -x"),
                (["ada", "ada/."], "grade: two submissions named ada: ada and ada/."),
                (["ada/grades"], "grade: not a folder: ada/grades"),
                (["--out", "ada/marks", "ada"], "grade: --out ada/marks is inside the submission ada"),
                (["--leave-out", "", "ada"], "grade: --leave-out leaves no case to grade"),
                (["--out", "/proc/marks", "ada"], "grade: no marks can be written into /proc/marks: No such file or directory"),
            ]:
                arguments = arguments if "--out" in arguments else ["--out", "marks", *arguments]
                grade = subprocess.run([sys.executable, "-B", os.path.join(os.path.dirname(os.path.abspath(__file__)), "grade"), *arguments],
                                       cwd=folder, capture_output=True, text=True, timeout=60)
                self.assertEqual((grade.returncode, grade.stdout, grade.stderr), (2, "", said + "\n"), arguments)
            self.assertFalse(os.path.exists(os.path.join(folder, "marks")) or os.path.exists(os.path.join(folder, "ada", "marks")))

    @staticmethod
    def usage():
        return "usage: grade/grade --out DIR [--leave-out REGEX]... [--jobs N] SUBMISSION..."
