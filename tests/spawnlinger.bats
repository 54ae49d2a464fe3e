#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

load test_helper

teardown() {
	[ -z "${child-}" ] || kill -KILL "$child" 2>/dev/null || true
}

# "state ppid pgrp" of process $1, from its /proc entry.
state_of() {
	local stat state ppid pgrp
	stat=$(<"/proc/$1/stat") || return
	# The fields after the parenthesised command name: state, ppid, pgrp, ...
	read -r state ppid pgrp _ <<<"${stat##*) }"
	echo "$state $ppid $pgrp"
}

# The id of the child that process $1 forks, waiting up to two seconds.
child_of() {
	local tries children
	for ((tries = 0; tries < 20; tries++)); do
		children=$(<"/proc/$1/task/$1/children")
		[ -n "$children" ] && echo "${children%% *}" && return
		sleep 0.1
	done
	echo "process $1 forked no child within two seconds" >&2
	return 1
}

@test "the parent writes just 'Parent', ends with status 0 after 10 seconds, and its child lives on under another parent" {
	out=$BATS_TEST_TMPDIR/out
	start=${EPOCHREALTIME/./}
	without_bats_fd "$SPAWNLINGER" >"$out" 2>&1 &
	parent=$!
	child=$(child_of "$parent")
	read -r _ _ group <<<"$(state_of "$parent")"
	[ ! -s "$out" ] # redirected, "Parent" stays buffered until the parent ends
	wait "$parent" # the test fails here unless the status is 0
	elapsed=$(ms_since "$start")
	read -r state ppid pgrp <<<"$(state_of "$child")"
	[ "$elapsed" -ge 10000 ]
	[ "$elapsed" -lt 11000 ]
	cmp "$out" <(echo Parent)
	[ "$state" = S ]
	[ "$ppid" -ne "$parent" ]
	[ "$pgrp" -eq "$group" ]
}

@test "when the kernel refuses to fork, 'Parent' is still written and the run lasts 10 seconds" {
	start=${EPOCHREALTIME/./}
	run "$NOFORK" "$SPAWNLINGER"
	elapsed=$(ms_since "$start")
	[ "$status" -eq 0 ]
	[ "$output" = Parent ]
	[ "$elapsed" -ge 10000 ]
	[ "$elapsed" -lt 11000 ]
}

@test "on a terminal, 'Parent' appears at once, and a hangup ends both processes" {
	# script runs the program on a pseudo-terminal, as the leader of its
	# session; ended, it hangs that terminal up.
	without_bats_fd script -qfec 'exec "$SPAWNLINGER"' /dev/null >"$BATS_TEST_TMPDIR/tty" 2>/dev/null </dev/null &
	child=$(child_of "$(child_of $!)")
	sleep 1
	kill $!
	# The hangup ends the parent, whose end as the session's leader hangs
	# up the terminal's foreground group, the child's.
	for ((tries = 0; tries < 20; tries++)); do
		read -r state _ <<<"$(state_of "$child" 2>/dev/null)"
		[ "$state" = S ] || break
		sleep 0.1
	done
	[ "$(<"$BATS_TEST_TMPDIR/tty")" = $'Parent\r' ]
	[ "$state" != S ]
}

@test "a 'Parent' lost to a full device, or to a terminal's one failed write, is reported when the parent ends, with status 0" {
	needs_strace
	without_bats_fd "$SPAWNLINGER" >/dev/full 2>"$BATS_TEST_TMPDIR/full" &
	parent=$!
	child=$(child_of "$parent")
	run_on_tty "$write_fails_once \"\$SPAWNLINGER\""
	wait "$parent" # the test fails here unless the status is 0
	[ "$(<"$BATS_TEST_TMPDIR/full")" = "blad zapisu: No space left on device" ]
	[ "$status" -eq 0 ]
	[ "$output" = "" ]
	[ "$(<"$BATS_TEST_TMPDIR/err")" = "blad zapisu: Input/output error" ]
}
