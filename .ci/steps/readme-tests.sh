#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The README's test command, as a newcomer types it, in a build folder
# configured first with warnings as errors, which the command keeps.
source "$(dirname "$0")/../lib.sh"
needs "${suites[@]}"

test_command=$(readme_command test)
echo "$test_command"
cmake -B build "$werror" >/dev/null
eval "$test_command"
