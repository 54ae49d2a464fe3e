# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The suites: a suite's cases run against a submission's programs in a
sandbox, and what bats says of each, read here alone.

bats runs the cases asked for, in the suite's order, and says of each, in
its extended TAP, "begin N SENTENCE" when it starts and "ok N SENTENCE" or
"not ok N SENTENCE" when it ends, a line each; whatever a program printed
reaches the stream only in the lines bats writes after those, each behind
"# ".  Lines end at a newline alone, as bats writes them.  A case passes
only on bats's "ok" for the case it began last, once: reported twice, it
fails.  Past CASE_SECONDS without a word from bats, the case running fails,
the sandbox ends, and the cases after it run in two new sandboxes, side by
side, so that a program that hangs on every case costs a few times that.
"""

import os
import re
import selectors
import socket
import subprocess
import sys
import time

import bounds
import sandbox

BEGIN = re.compile(rb"begin (\d+) (.*)")
RESULT = re.compile(rb"(not )?ok (\d+) (.*)")
PLAN = re.compile(rb"1\.\.\d+|suite .*")  # bats's count of the cases, and the suite's path


class Tap:
    """What bats said of the cases of sentences, in that order."""

    def __init__(self, sentences):
        self.sentences = [sentence.encode() for sentence in sentences]
        self.begun = 0  # the number of the case begun last; 0 before any
        self.passed = {}  # number: whether the case passed
        self.skipped = set()  # the numbers of the cases bats skipped
        self.output = {}  # number (0 for none): [what was printed, bytes cut]
        self.line = b""
        self.broken = False  # whether self.line was cut short

    def feed(self, data):
        """Reads data from the stream; returns the numbers of the cases
        that began or ended in it."""
        events = []
        *lines, self.line = (self.line + data).split(b"\n")
        for line in lines:
            if self.broken:
                self.broken = False
                self.keep(line + b"\n")
            elif self.take(line):
                events.append(self.begun)
        if len(self.line) > bounds.KEPT_KIB << 10:
            self.keep(self.line)
            self.line, self.broken = b"", True
        return events

    def take(self, line):
        """Takes line for what bats says, if it is; else keeps it."""
        begin = BEGIN.fullmatch(line)
        if begin and self.begun < len(self.sentences) and int(begin[1]) == self.begun + 1 \
                and begin[2] == self.sentences[self.begun]:
            self.begun += 1
            return True
        result = RESULT.fullmatch(line)
        if result and self.begun and int(result[2]) == self.begun:
            sentence, rest = self.sentences[self.begun - 1], result[3]
            if rest == sentence or rest.startswith(sentence + b" # "):
                if self.begun in self.passed:
                    self.passed[self.begun] = False
                    self.keep(b"bats reported this case twice, so one report was forged\n")
                else:
                    self.passed[self.begun] = not result[1] and rest == sentence
                    if not result[1] and rest.startswith(sentence + b" # skip"):
                        self.skipped.add(self.begun)
                    self.keep(rest[len(sentence) + 3:] + b"\n" if rest != sentence else b"")
                return True
        if not PLAN.fullmatch(line):
            self.keep(line[2:] + b"\n" if line.startswith(b"# ") else line + b"\n")
        return False

    def keep(self, text, case=None):
        kept = self.output.setdefault(self.begun if case is None else case, [b"", 0])
        room = max(0, (bounds.KEPT_KIB << 10) - len(kept[0]))
        kept[0] += text[:room]
        kept[1] += len(text) - len(text[:room])


def run(launch, sentences, seconds, domains, beside, record, heard=None):
    """Runs the cases of sentences in a sandbox that launch(sentences)
    starts, calling record(sentence, passed, output) for each, and, as bats
    first reports each, heard(sentence, "passed", "FAILED" or "skipped");
    the cases after one that runs past seconds are run by beside(function),
    in two halves.  Returns the CPU time the sandbox's processes took."""
    process, stream, report = launch(sentences)
    tap, told, hung, told_of = Tap(sentences), [], False, set()
    ours = object()  # this run, to the domains

    def announcements(wait=False):
        """Takes the domains announced so far, or until the sandbox has
        ended if wait; returns whether more may come."""
        while True:
            try:
                message, rights, _, _ = report.recvmsg(1 << 12, socket.CMSG_SPACE(4), 0 if wait else socket.MSG_DONTWAIT)
            except BlockingIOError:
                return True
            if not message and not rights:
                return False
            if rights and rights[0][:2] == (socket.SOL_SOCKET, socket.SCM_RIGHTS):
                domain = int.from_bytes(rights[0][2][:4], sys.byteorder)
                domains.add(domain, ours, int(message) if message.strip().isdigit() else 0)
            else:
                told.append(message)

    watch = selectors.DefaultSelector()
    watch.register(stream, selectors.EVENT_READ)
    watch.register(report, selectors.EVENT_READ)
    deadline = time.monotonic() + seconds
    try:
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                hung = True
                break
            ready = [key.fd for key, _ in watch.select(left)]
            if report.fileno() in ready and not announcements():
                watch.unregister(report)
            if stream in ready:
                data = os.read(stream, 1 << 16)
                if not data:
                    tap.feed(b"\n" if tap.line else b"")  # a last line that no newline ended
                    break
                for case in tap.feed(data):
                    deadline = time.monotonic() + seconds
                    if case in tap.passed and heard and case not in told_of:
                        told_of.add(case)
                        heard(sentences[case - 1], "passed" if tap.passed[case] else "skipped" if case in tap.skipped else "FAILED")
                    if case in tap.passed:
                        announcements()  # every one made before bats's word on the case
                        for why in domains.close(ours, case):
                            tap.keep(why.encode() + b"\n", case)
        if hung:
            process.kill()
        try:
            process.wait(seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
        announcements(wait=True)
        for why in domains.close(ours):
            tap.keep(why.encode() + b"\n")
    finally:
        watch.close()
        os.close(stream)
        report.close()
        domains.close(ours)

    for number, sentence in enumerate(sentences, 1):
        output, cut = tap.output.get(number, [b"", 0])
        if number == 1 and 0 in tap.output:
            output, cut = tap.output[0][0] + output, tap.output[0][1] + cut
        if number in tap.passed:
            why = b""
        elif hung and number > tap.begun > 0:
            continue  # to run again
        elif hung and number == tap.begun:
            why = f"ran past its {seconds} seconds, and was ended\n".encode()
        elif hung and not tap.begun:
            why = f"the suite's setup ran past its {seconds} seconds, and was ended\n".encode()
        elif number < tap.begun:
            why = b"bats gave no result for this case\n"
        else:
            why = b"the suite ended before this case reported\n"
        record(sentence, tap.passed.get(number, False), sandbox.noted(output, cut) + why)
    rest = sentences[tap.begun:] if hung and tap.begun else []
    for half in (rest[:len(rest) // 2], rest[len(rest) // 2:]):
        if half:
            beside(lambda half=half: run(launch, half, seconds, domains, beside, record, heard))
    return sandbox.cpu(b"".join(told))
