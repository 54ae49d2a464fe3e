# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Every file carries its license notice, in the REUSE convention, and the
# shell lints clean under shellcheck: CI's, the benches', the suites' and
# the grader's, each read as bash; .shellcheckrc says what is left out.
source "$(dirname "$0")/../lib.sh"
reuse lint
git ls-files .ci bench tests doc grade | grep -E '(^\.ci/run|^grade/run_autograder|\.sh|\.bash|\.bats)$' | xargs -d '\n' shellcheck -x -s bash
