#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The install tree holds the programs and their manual pages, nothing else;
# each page lints clean under mandoc, and each program needs libc alone.
source "$(dirname "$0")/../lib.sh"
native_build
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install build --prefix "$prefix" >/dev/null
pages=("${programs[@]/#/share/man/man1/}")
diff <(printf '%s\n' "${programs[@]/#/bin/}" "${pages[@]/%/.1}" | sort) \
	<(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort)
mandoc -Tlint -Wwarning "$prefix"/share/man/man1/*.1
libc_alone build
