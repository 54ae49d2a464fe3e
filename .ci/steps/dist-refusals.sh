#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# dist refuses a tree that differs from the commit checked out, naming the
# changed file, and leaves no archive.
source "$(dirname "$0")/../lib.sh"

archive=$(release_archive)
log=$(mktemp)
trap 'git checkout -q README.md; rm -f "$log"' EXIT
echo >>README.md
if cmake --build build --target dist >"$log" 2>&1; then
	echo "dist archived a tree with a changed file" >&2
	exit 1
fi
grep ' M README.md' "$log"
[[ ! -e $archive ]]
