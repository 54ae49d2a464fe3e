#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

load test_helper

# Ends a child that a case left behind, unless its id has passed to another
# process since it ended: the start time tells.
teardown() {
	[ -n "${child-}" ] || return 0
	read -r _ _ _ started <<<"$(state_of "$child" 2>/dev/null)"
	[ "$started" != "$child_started" ] || kill -KILL "$child" 2>/dev/null || true
}

# "state ppid pgrp starttime" of process $1, from its /proc entry.
state_of() {
	local stat fields
	stat=$(<"/proc/$1/stat") || return
	# The fields after the parenthesised command name: state, ppid, pgrp, ...
	read -ra fields <<<"${stat##*) }"
	echo "${fields[0]} ${fields[1]} ${fields[2]} ${fields[19]}"
}

# Sets child to the id of the child that process $1 forks, and
# child_started to its start time.
watch_child() {
	child=$(child_of "$1")
	read -r _ _ _ child_started <<<"$(state_of "$child")"
}

# The ids of the ancestors of process $1, nearest first, to the first
# process: those of which the kernel may choose one to adopt its orphans.
ancestors_of() {
	local pid=$1 ppid
	while ((pid > 1)); do
		read -r _ ppid _ <<<"$(state_of "$pid")"
		echo "$ppid"
		pid=$ppid
	done
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

# Shown in the lab, "The orphan and its new parent".
@test "the parent writes just 'Parent', ends with status 0 after 10 seconds, and its child lives on, adopted by an ancestor" {
	out=$BATS_TEST_TMPDIR/out
	start=${EPOCHREALTIME/./}
	without_bats_fd "$SPAWNLINGER" >"$out" 2>&1 &
	parent=$!
	watch_child "$parent"
	read -r _ _ group _ <<<"$(state_of "$parent")"
	run ancestors_of "$parent"
	assert [ ! -s "$out" ] # redirected, "Parent" stays buffered until the parent ends
	wait "$parent" # the test fails here unless the status is 0
	elapsed=$(ms_since "$start")
	read -r state ppid pgrp _ <<<"$(state_of "$child")"
	assert [ "$elapsed" -ge 10000 ]
	assert [ "$elapsed" -lt 11000 ]
	assert_equal "$(cat -A "$out")" 'Parent$'
	assert_equal "$state" S
	assert_line "$ppid" # the nearest subreaper among them, or init
	assert [ "$pgrp" -eq "$group" ]
}

# Shown in spawnlinger(1), DIAGNOSTICS.
@test "when the kernel refuses to fork, 'Parent' is still written and the run lasts 10 seconds" {
	start=${EPOCHREALTIME/./}
	run "$NOFORK" "$SPAWNLINGER"
	elapsed=$(ms_since "$start")
	assert_success
	assert_output Parent
	assert [ "$elapsed" -ge 10000 ]
	assert [ "$elapsed" -lt 11000 ]
}

# Shown in the lab, "A hangup".
@test "on a terminal, 'Parent' appears at once, and a hangup ends both processes" {
	# script runs the program on a pseudo-terminal, as the leader of its
	# session.  Killed, script closes the terminal's master side, and the
	# kernel hangs the terminal up: SIGHUP goes to the session's leader,
	# the parent, and to the foreground group, the child's.
	without_bats_fd script -qfec 'exec "$SPAWNLINGER"' /dev/null >"$BATS_TEST_TMPDIR/tty" 2>/dev/null </dev/null &
	parent=$(child_of $!)
	watch_child "$parent"
	sleep 1
	kill -KILL $!
	for ((tries = 0; tries < 20; tries++)); do
		read -r parent_state _ <<<"$(state_of "$parent" 2>/dev/null)"
		read -r state _ <<<"$(state_of "$child" 2>/dev/null)"
		[ "$parent_state" = S ] || [ "$state" = S ] || break
		sleep 0.1
	done
	assert_equal "$(<"$BATS_TEST_TMPDIR/tty")" $'Parent\r'
	assert_not_equal "$parent_state" S
	assert_not_equal "$state" S
}

# Shown in spawnlinger(1), DIAGNOSTICS.
@test "a 'Parent' lost to a full device, or to a terminal's one failed write, is reported when the parent ends, with status 0" {
	needs_strace
	without_bats_fd "$SPAWNLINGER" >/dev/full 2>"$BATS_TEST_TMPDIR/full" &
	parent=$!
	watch_child "$parent"
	run_on_tty "$write_fails_once \"\$SPAWNLINGER\""
	wait "$parent" # the test fails here unless the status is 0
	assert_equal "$(<"$BATS_TEST_TMPDIR/full")" "blad zapisu: No space left on device"
	assert_success
	refute_output
	assert_equal "$(<"$BATS_TEST_TMPDIR/err")" "blad zapisu: Input/output error"
}
