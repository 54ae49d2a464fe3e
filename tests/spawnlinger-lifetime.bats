#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

load test_helper

# One run serves every case: spawnlinger under a subreaper, so that its
# orphan is handed to the subreaper and its end collected there, with a
# pipe from its output to a reader that notes when the input ends.
setup_file() {
	cd "$BATS_FILE_TMPDIR"
	local start=${EPOCHREALTIME/./}
	without_bats_fd "$SUBREAPER" 130 "$SPAWNLINGER" 2>ends |
		{ cat >out; ms_since "$start" >eof_ms; }
}

# Shown in the lab, "A subreaper".
@test "the parent ends with status 0 after 10 seconds, its adopted orphan with status 0 after 100" {
	mapfile -t ends <"$BATS_FILE_TMPDIR/ends"
	assert [ "${#ends[@]}" -eq 2 ]
	read -r parent parent_status parent_ms <<<"${ends[0]}"
	read -r orphan orphan_status orphan_ms <<<"${ends[1]}"
	assert [ "$orphan" -ne "$parent" ]
	assert [ "$parent_status" -eq 0 ]
	assert [ "$parent_ms" -ge 10000 ]
	assert [ "$parent_ms" -lt 11000 ]
	assert [ "$orphan_status" -eq 0 ]
	assert [ "$orphan_ms" -ge 100000 ]
	assert [ "$orphan_ms" -lt 101000 ]
}

# Shown in the lab, "A pipe's reader".
@test "a reader of a pipe from the program gets 'Parent' and sees the end of input only when the orphan ends" {
	assert_equal "$(cat -A "$BATS_FILE_TMPDIR/out")" 'Parent$'
	eof_ms=$(<"$BATS_FILE_TMPDIR/eof_ms")
	assert [ "$eof_ms" -ge 100000 ]
	assert [ "$eof_ms" -lt 101000 ]
}
