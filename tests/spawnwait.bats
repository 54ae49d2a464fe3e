#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

load test_helper

# The three lines spawnwait writes when its output is not a terminal: the
# child's line at the child's end, then the parent's two at the parent's.
# $1 is the child's id, $2 the parent's, $3 what the wait returned.
expected_report() {
	printf 'Jestem potomkiem [0] [%s]\nJestem rodzicem [%s] [%s]\nZakonczono proces [%s]\n' \
		"$1" "$1" "$2" "${3-$1}"
}

# The id of the process that wrote the line of $output that starts with
# $1, the second number in its brackets: the lines' order may be wrong, but
# an expected line is never made of another's.
own_id() {
	sed -n "s/^$1 \[-*[0-9]*\] \[\([0-9]*\)\]\$/\1/p" <<<"$output" | head -n 1
}

# Shown in the lab, "A terminal, a pipe, a file".
@test "into a file, the child's line, the parent's line and the end line name the started process and its child" {
	out=$BATS_TEST_TMPDIR/out
	"$SPAWNWAIT" >"$out" &
	parent=$!
	wait "$parent" # the test fails here unless the status is 0
	child=$(sed -n 's/^Jestem potomkiem \[0\] \[\([0-9]*\)\]$/\1/p' "$out")
	assert_equal "$(cat -A "$out")" "$(expected_report "$child" "$parent" | cat -A)"
}

# Shown in the lab, "A terminal, a pipe, a file".
@test "into a pipe, the same three lines come in the same order" {
	run "$SPAWNWAIT"
	assert_success
	assert_output "$(expected_report "$(own_id "Jestem potomkiem")" "$(own_id "Jestem rodzicem")")"
}

# Shown in the lab, "SIGCHLD ignored".
@test "with SIGCHLD ignored the wait fails and the end line shows -1" {
	run env --ignore-signal=CHLD "$SPAWNWAIT"
	assert_success
	assert_output "$(expected_report "$(own_id "Jestem potomkiem")" "$(own_id "Jestem rodzicem")" -1)"
}

# Shown in the lab, "An inherited child".
@test "an ended child inherited through exec is not mistaken for the forked one" {
	# perl's first child exits at once and is left uncollected for spawnwait.
	run perl -e 'fork or exit; sleep 1; exec { $ARGV[0] } @ARGV' "$SPAWNWAIT"
	assert_success
	assert_output "$(expected_report "$(own_id "Jestem potomkiem")" "$(own_id "Jestem rodzicem")")"
}

# Shown in spawnwait(1), DESCRIPTION.
@test "when the kernel refuses to fork, nothing is written and the status is 0" {
	run "$NOFORK" "$SPAWNWAIT"
	assert_success
	refute_output
}

# Shown in spawnwait(1), DIAGNOSTICS.
@test "each process reports its line lost to a full device or a closed output" {
	"$SPAWNWAIT" >/dev/full 2>"$BATS_TEST_TMPDIR/full"
	"$SPAWNWAIT" >&- 2>"$BATS_TEST_TMPDIR/closed"
	assert_equal "$(<"$BATS_TEST_TMPDIR/full")" "$(printf 'blad zapisu: No space left on device\n%.0s' 1 2)"
	assert_equal "$(<"$BATS_TEST_TMPDIR/closed")" "$(printf 'blad zapisu: Bad file descriptor\n%.0s' 1 2)"
}

# Shown in spawnwait(1), DIAGNOSTICS.
@test "on a terminal, each process reports the line a failed write lost, not the wait's error, and both end with status 0" {
	needs_strace
	run_on_tty "$write_fails_once -f env --ignore-signal=CHLD \"\$SPAWNWAIT\""
	assert_success
	assert_output $'Zakonczono proces [-1]\r'
	assert_equal "$(<"$BATS_TEST_TMPDIR/err")" "$(printf 'blad zapisu: Input/output error\n%.0s' 1 2)"
	# Both processes end with status 0, as does any thread of an emulator.
	assert [ "$(grep -c ' +++ exited with 0 +++$' "$BATS_TEST_TMPDIR/trace")" -ge 2 ]
	assert [ "$(grep -c ' +++ ' "$BATS_TEST_TMPDIR/trace")" -eq "$(grep -c ' +++ exited with 0 +++$' "$BATS_TEST_TMPDIR/trace")" ]
}

# Shown in the lab, "A terminal, a pipe, a file".
@test "on a terminal, the parent's line comes before the child has ended, and a lost end line is reported" {
	needs_strace
	# Each process's end is held back 2 seconds, and its second write
	# fails: the parent's end line.  A write that SIGCHLD cut short would
	# be restarted and counted twice, so SIGCHLD is ignored.
	run_on_tty "${write_fails_once/when=1/when=2} -e inject=exit_group:delay_enter=2000000 -f env --ignore-signal=CHLD \"\$SPAWNWAIT\""
	trace=$BATS_TEST_TMPDIR/trace
	child=$(sed -n 's/.*"Jestem potomkiem \[0\] \[\([0-9]*\)\].*/\1/p' "$trace")
	parent_line=$(grep -n 'write(1, "Jestem rodzicem \[' "$trace" | cut -d: -f1)
	child_end=$(grep -n "^$child  *+++ exited" "$trace" | cut -d: -f1)
	assert_success
	assert_equal "${#lines[@]}" 2
	assert_equal "$(<"$BATS_TEST_TMPDIR/err")" "blad zapisu: Input/output error"
	assert [ "$parent_line" -lt "$child_end" ]
}
