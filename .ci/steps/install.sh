#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The install tree holds the programs and their manual pages, nothing else,
# and each page renders without a warning.
source "$(dirname "$0")/../lib.sh"

needs groff
native_build
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix"
expected=$(for program in "${programs[@]}"; do
	echo "bin/$program"
	echo "share/man/man1/$program.1"
done | sort)
diff <(echo "$expected") <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
for page in "$prefix"/share/man/man1/*.1; do
	warnings=$(groff -ww -z -mdoc "$page" 2>&1)
	[[ -z $warnings ]] || { echo "$page: $warnings" >&2; exit 1; }
done
