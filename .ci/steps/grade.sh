# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The grader's suites: each bound of a program's, with a program that tries
# to break it, and the driver, with a stand-in for its sandbox; beside
# them, a class with hostile submissions, graded in its sandboxes, with its
# Gradescope scripts run in Gradescope's layout; then the students' own
# check.  grade/setup.sh installs what the grader needs, as for a teacher.
source "$(dirname "$0")/../lib.sh"
as_root grade/setup.sh
python3 -B -m unittest discover -s grade &
bats grade/grade.bats || class=$?
bats grade/check.bats || fail "the self-check's suite fails"
wait $! || fail "the grader's Python suites fail"
((!${class-0})) || fail "the class's suite fails"
