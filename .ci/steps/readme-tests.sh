#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The README's test command, as a newcomer types it, with warnings as
# errors: CMake takes CXXFLAGS when it first configures.
source "$(dirname "$0")/../lib.sh"

test_command=$(readme_command test)
echo "$test_command"
export CXXFLAGS=-Werror
eval "$test_command"
