#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Every shell session in the README and under doc/ runs as written, in
# bash, with the programs and the test helpers on PATH and SYSDEMOS naming
# the checkout, and prints what it shows; cram matches by pattern only the
# lines marked so.  The files run side by side.  Where this machine lacks
# what the lab's sessions need, the step says so and skips the lab.
source "$(dirname "$0")/../lib.sh"

native_build
export PATH="$PWD/build:$PWD/build/tests:$PATH" SYSDEMOS="$PWD"
mapfile -t files < <(grep -l '^    \$ ' README.md doc/*.md)
lacks=()
strace -o /dev/null true 2>/dev/null || lacks+=("strace that can trace")
unshare -rm true 2>/dev/null || lacks+=("a private mount namespace")
unshare -rfp --mount-proc true 2>/dev/null || lacks+=("a PID namespace")
if ((${#lacks[@]})); then
	printf 'skipped doc/lab.md: this machine has no %s\n' "${lacks[@]}"
	files=("${files[@]/doc\/lab.md/}")
fi
# A command started in the background, as each file's run is, inherits
# SIGINT ignored; a terminal's shell gives it at its default.
pids=() failed=0
for file in "${files[@]}"; do
	[[ -z $file ]] || { env --default-signal=INT cram3 --shell=bash --indent=4 "$file" & pids+=($!); }
done
for pid in "${pids[@]}"; do
	wait "$pid" || failed=1
done
((failed == 0))
((${#lacks[@]} == 0)) || exit "$skipped"
