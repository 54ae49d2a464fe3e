#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The install tree holds the programs and their manual pages, nothing else;
# each page lints clean under mandoc, and each program needs libc alone.
source "$(dirname "$0")/../lib.sh"
build_in build
cmake --install build --prefix "$PWD/build/installed" >/dev/null
diff <({ printf 'bin/%s\n' "${programs[@]}" && printf 'share/man/man1/%s.1\n' "${programs[@]}"; } | sort) \
	<(find build/installed ! -type d -printf '%P\n' | sort)
mandoc -Tlint -Wwarning build/installed/share/man/man1/*.1
libc_alone build
