#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

load test_helper

setup() {
	dir=$(cd "$BATS_TEST_TMPDIR" && pwd -P)/listed
	mkdir "$dir"
	cd "$dir"
}

# What dirview prints for directory $1, as read by another reader of the
# same stream (ls -f keeps the stream's order); $2 replaces the header path.
expected_listing() {
	printf 'Dir: %s\n' "${2-$1}"
	# shellcheck disable=SC2012 # ls -f is that other reader, names raw
	ls -f "$1" | sed 's/^/ /'
}

# Runs dirview on $1 and checks that it refuses it with the message $2,
# on standard error alone, and still exits 0.
assert_refused() {
	run --separate-stderr "$DIRVIEW" "$1"
	assert_success
	refute_output
	assert_equal "$stderr" "blad opendir: $2"
}

# Shown in dirview(1), DESCRIPTION.
@test "an empty directory lists as the header and its two dot entries" {
	run "$DIRVIEW" "$dir"
	assert_success
	assert_equal "${#lines[@]}" 3
	assert_output "$(expected_listing "$dir")"
}

# Shown in the lab, "Stream order against sorted order".
@test "entries come in the order the directory stream yields them" {
	touch file{1..100} .hidden
	run "$DIRVIEW" "$dir"
	assert_equal "${#lines[@]}" 104
	assert_output "$(expected_listing "$dir")"
}

# Shown in the lab, "A name with a newline".
@test "names with blanks, newlines and control bytes are printed raw" {
	names=('a b' $'new\nline' $'ctl\001byte')
	touch "${names[@]}"
	expected=$(printf 'Dir: %s\n' "$dir"; printf ' %s\n' . .. "${names[@]}")
	run "$DIRVIEW" "$dir"
	# Stream order aside, every byte must match: compare the sorted lines.
	assert_equal "$(sort <<<"$output")" "$(sort <<<"$expected")"
}

# Shown in dirview(1), DESCRIPTION.
@test "the argument appears in the header as typed, not resolved" {
	touch entry
	run "$DIRVIEW" .
	assert_output "$(expected_listing .)"
}

# Shown in dirview(1), DESCRIPTION.
@test "without an argument the working directory is listed under its absolute path" {
	touch entry
	run "$DIRVIEW"
	assert_output "$(expected_listing . "$dir")"
}

# Shown in dirview(1), DESCRIPTION.
@test "with two arguments both are ignored and the working directory is listed" {
	touch entry
	run "$DIRVIEW" /etc /
	assert_output "$(expected_listing . "$dir")"
}

# Shown in dirview(1), DIAGNOSTICS.
@test "an empty argument is refused as a missing directory" {
	assert_refused "" "No such file or directory"
}

# Shown in dirview(1), DIAGNOSTICS.
@test "a missing path is refused" {
	assert_refused "$dir/missing" "No such file or directory"
}

# Shown in dirview(1), DIAGNOSTICS.
@test "a regular file is refused as not a directory" {
	touch file
	assert_refused "$dir/file" "Not a directory"
}

# Shown in dirview(1), DESCRIPTION.
@test "an argument of 1200 characters is listed as typed" {
	touch entry
	long=$(printf '%.0s./' {1..600})
	run "$DIRVIEW" "$long"
	assert_success
	assert_output "$(expected_listing . "$long")"
}

# Shown in dirview(1), DIAGNOSTICS.
@test "a path longer than the kernel accepts is refused" {
	assert_refused "$(printf '%.0sx' {1..5000})" "File name too long"
}

# Shown in dirview(1), DIAGNOSTICS.
@test "a working directory of 999 characters is named, and one of 1000 is listed through '.'" {
	fits=$dir
	while ((999 - ${#fits} > 200)); do fits+=/$(printf '%0100d' 0); done
	fits+=/$(printf '%0*d' $((998 - ${#fits})) 0)
	mkdir -p "$fits" "${fits}0" && touch "$fits/entry" "${fits}0/entry" && cd "$fits"
	run "$DIRVIEW"
	assert_output "$(expected_listing . "$fits")"
	cd "${fits}0"
	run --separate-stderr "$DIRVIEW"
	assert_success
	assert_equal "$stderr" "getcwd() error: Numerical result out of range"
	assert_output "$(expected_listing . .)"
}

# Shown in the lab, "A removed working directory".
@test "a removed working directory is reported and lists as '.' with no entries" {
	mkdir gone && cd gone && rmdir "$dir/gone"
	run --separate-stderr "$DIRVIEW"
	assert_success
	assert_equal "$stderr" "getcwd() error: No such file or directory"
	assert_output "Dir: ."
}

# Shown in the lab, "A removed working directory".
@test "in a removed working directory an argument is listed in full, into a redirected file" {
	touch entry
	mkdir gone && cd gone && rmdir "$dir/gone"
	"$DIRVIEW" "$dir" >"$BATS_TEST_TMPDIR/out" 2>"$BATS_TEST_TMPDIR/err"
	assert_equal "$(<"$BATS_TEST_TMPDIR/err")" "getcwd() error: No such file or directory"
	assert_equal "$(cat -A "$BATS_TEST_TMPDIR/out")" "$(expected_listing "$dir" | cat -A)"
}

# Runs dirview on a directory of 3000 entries whose second read fails with
# EIO, through `run` with the words given: its options, and a command that
# runs the rest.
run_with_read_error() {
	needs_strace
	seq -f 'entry%04.0f' 3000 | xargs touch # three getdents64 calls' worth
	run "$@" strace -qq -o /dev/null -E ASAN_OPTIONS=detect_leaks=0 \
		-e trace=getdents64 -e inject=getdents64:error=EIO:when=2 "$DIRVIEW" "$dir"
}

# Shown in the lab, "A read error".
@test "a read error part way is reported after the entries read before it" {
	run_with_read_error --separate-stderr
	assert_success
	assert_equal "$stderr" "blad readdir: Input/output error"
	assert [ "${#lines[@]}" -gt 3 ]
	assert [ "${#lines[@]}" -lt 3003 ]
	assert_output "$(expected_listing "$dir" | head -n "${#lines[@]}")"
}

# Shown in the lab, "A read error".
@test "with both streams in one pipe, a read error's report follows whole entry lines" {
	run_with_read_error
	last=$((${#lines[@]} - 1))
	assert [ "$last" -gt 3 ]
	assert_equal "${lines[last]}" "blad readdir: Input/output error"
	assert_equal "$(head -n "$last" <<<"$output")" "$(expected_listing "$dir" | head -n "$last")"
}

# Shown in the lab, "A read error".
@test "a read error and a lost listing are both reported, the read error first" {
	run_with_read_error --separate-stderr sh -c '"$@" >/dev/full' -
	assert_success
	assert_equal "$stderr" $'blad readdir: Input/output error\nblad zapisu: No space left on device'
}

# Shown in dirview(1), DIAGNOSTICS.
@test "a write that fails once is reported with its error, be it the header's on a terminal or a block's before a full device" {
	needs_strace
	seq -f 'entry%04.0f' 1000 | xargs touch
	run_on_tty "$write_fails_once \"\$DIRVIEW\""
	assert_success
	assert_output "$(expected_listing . | sed '1d; s/$/\r/')"
	assert_equal "$(<"$BATS_TEST_TMPDIR/err")" "blad zapisu: Input/output error"
	sh -c "$write_fails_once \"\$DIRVIEW\" >/dev/full 2>\"\$BATS_TEST_TMPDIR/err\""
	assert_equal "$(<"$BATS_TEST_TMPDIR/err")" "blad zapisu: Input/output error"
}

# Shown in dirview(1), DIAGNOSTICS.
@test "a listing lost to a full device is reported, whether it fits the output buffer or not" {
	"$DIRVIEW" >/dev/full 2>"$BATS_TEST_TMPDIR/short"
	seq -f 'entry%04.0f' 1000 | xargs touch
	"$DIRVIEW" >/dev/full 2>"$BATS_TEST_TMPDIR/long"
	assert_equal "$(<"$BATS_TEST_TMPDIR/short")" "blad zapisu: No space left on device"
	assert_equal "$(<"$BATS_TEST_TMPDIR/long")" "blad zapisu: No space left on device"
}

# Shown in dirview(1), DIAGNOSTICS.
@test "a listing lost to a closed standard output is reported" {
	"$DIRVIEW" >&- 2>"$BATS_TEST_TMPDIR/err"
	assert_equal "$(<"$BATS_TEST_TMPDIR/err")" "blad zapisu: Bad file descriptor"
}

# Shown in dirview(1), DESCRIPTION.
@test "without an argument the working directory itself is listed, though its path now leads elsewhere" {
	mkdir -p ovm/sub && touch ovm/sub/mine && cd ovm/sub
	needs_mount_namespace
	# Over ovm, a tree whose sub holds another entry.
	run "${unshare[@]}" sh -c 'mount -t tmpfs none "$1" && mkdir "$1/sub" &&
		touch "$1/sub/other" && "$DIRVIEW"' - "$dir/ovm"
	assert_success
	assert_output "$(expected_listing . "$dir/ovm/sub")"
}

# Shown in the lab, "Each filesystem keeps its own order".
@test "entries whose inode numbers need more than 32 bits are all listed, in the order the stream yields them" {
	needs_mount_namespace
	mkdir lower upper merged
	# An overlay with xino=on numbers its lower layer's inodes above 2^32.
	run "${unshare[@]}" sh -c 'mount -t tmpfs none lower && mount -t tmpfs none upper &&
		mkdir upper/data upper/work && touch lower/a lower/b lower/c &&
		mount -t overlay -o lowerdir=lower,upperdir=upper/data,workdir=upper/work,xino=on none merged || exit 10
		[ "$(find merged -inum +4294967295 | wc -l)" -eq 3 ] || exit 11
		"$DIRVIEW" merged >got 2>&1 && ls -f merged >listed'
	[ "$status" -ne 10 ] || skip "no overlay with xino=on over tmpfs can be mounted here"
	[ "$status" -ne 11 ] || skip "the overlay gave no inode numbers above 2^32"
	assert_success
	assert_equal "$(cat -A got)" "$({ printf 'Dir: merged\n'; sed 's/^/ /' listed; } | cat -A)"
}
