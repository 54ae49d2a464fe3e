#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# clang-tidy over every source, with the checks in .clang-tidy.
source "$(dirname "$0")/../lib.sh"

needs clang-tidy
cmake -B build-tidy -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# CMake's Makefile generator writes each $ of a path as make's $$ into the
# compilation database too; clang-tidy takes a copy without them.
database=$(mktemp -d)
trap 'rm -rf "$database"' EXIT
sed 's/\$\$/$/g' build-tidy/compile_commands.json >"$database/compile_commands.json"
mapfile -t sources < <(git ls-files '*.cpp')
clang-tidy --quiet -p "$database" "${sources[@]}"
