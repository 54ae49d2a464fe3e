#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Every shell session in the README and under doc/ runs as written, in
# bash, with the programs and test helpers on PATH and SYSDEMOS naming the
# checkout, and prints what it shows (cram matches by pattern only the
# lines marked so); the files run side by side.  Where this machine lacks
# what the lab and its companions need, the step says so and skips them.
source "$(dirname "$0")/../lib.sh"

native_build
export PATH="$PWD/build:$PWD/build/tests:$PATH" SYSDEMOS="$PWD"
lacks=() skip=none
strace -o /dev/null true 2>/dev/null || lacks+=("strace that can trace")
unshare -rm true 2>/dev/null || lacks+=("a private mount namespace")
unshare -rfp true 2>/dev/null || lacks+=("a PID namespace")
if ((${#lacks[@]})); then
	printf 'skipped the sessions under doc/: this machine has no %s\n' "${lacks[@]}"
	skip=doc/
fi
# Each file runs in a session of its own, with SIGINT at its default, as
# under a terminal's login shell; a runner may give CI neither.
grep -l '^    \$ ' README.md doc/*.md | grep -v "^$skip" |
	xargs -d '\n' -P0 -n1 setsid -w env --default-signal=INT cram3 --shell=bash --indent=4
((${#lacks[@]} == 0)) || exit "$skipped"
