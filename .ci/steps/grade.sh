# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The grader's suite: a class with hostile submissions, graded in its
# sandboxes, and its Gradescope scripts, run in Gradescope's layout.
# grade/setup.sh installs what the grader needs, as for a teacher.
source "$(dirname "$0")/../lib.sh"
as_root grade/setup.sh
bats grade/grade.bats
