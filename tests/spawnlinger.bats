#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

load test_helper

teardown() {
	[ -z "${child-}" ] || kill -KILL "$child" 2>/dev/null || true
}

# "state ppid" of process $1, from its /proc entry.
state_of() {
	local stat state ppid
	stat=$(<"/proc/$1/stat") || return
	# The fields after the parenthesised command name: state, ppid, ...
	read -r state ppid _ <<<"${stat##*) }"
	echo "$state $ppid"
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
	# fd 3 is bats' own; a child holding it would stall the suite.
	"$SPAWNLINGER" >"$out" 2>&1 3>&- &
	parent=$!
	child=$(child_of "$parent")
	[ ! -s "$out" ] # redirected, "Parent" stays buffered until the parent ends
	wait "$parent" # the test fails here unless the status is 0
	elapsed=$(ms_since "$start")
	read -r state ppid <<<"$(state_of "$child")"
	[ "$elapsed" -ge 10000 ]
	[ "$elapsed" -lt 12000 ]
	cmp "$out" <(echo Parent)
	[ "$state" = S ]
	[ "$ppid" -ne "$parent" ]
}

@test "when the kernel refuses to fork, 'Parent' is still written and the run lasts 10 seconds" {
	start=${EPOCHREALTIME/./}
	run "$NOFORK" "$SPAWNLINGER"
	elapsed=$(ms_since "$start")
	[ "$status" -eq 0 ]
	[ "$output" = Parent ]
	[ "$elapsed" -ge 10000 ]
	[ "$elapsed" -lt 12000 ]
}

@test "on a terminal, 'Parent' appears at once" {
	# script runs the program on a pseudo-terminal; ended, it hangs that
	# terminal up, and the hangup ends both processes.
	script -qfec "$SPAWNLINGER" /dev/null >"$BATS_TEST_TMPDIR/tty" 2>/dev/null </dev/null 3>&- &
	sleep 1
	kill $!
	[ "$(<"$BATS_TEST_TMPDIR/tty")" = $'Parent\r' ]
}

@test "a 'Parent' lost to a full device is reported when the parent ends, with status 0" {
	# fd 3 is bats' own; a child holding it would stall the suite.
	"$SPAWNLINGER" >/dev/full 2>"$BATS_TEST_TMPDIR/err" 3>&- &
	parent=$!
	child=$(child_of "$parent")
	wait "$parent" # the test fails here unless the status is 0
	[ "$(<"$BATS_TEST_TMPDIR/err")" = "blad zapisu: No space left on device" ]
}
