#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

bats_require_minimum_version 1.5.0
bats_load_library bats-support
bats_load_library bats-assert

# A student's folder, ada, of this project's programs, but for $1, which is
# the C program $2, in a folder of the case's that the student may write.
folder() {
	cd "$BATS_TEST_TMPDIR" && mkdir ada
	cp "$BATS_TEST_DIRNAME"/../{dirview,spawnwait,spawnlinger}/*.cpp ada
	[[ -z ${1-} ]] || { rm "ada/$1.cpp" && printf '%s\n' "$2" >"ada/$1.c"; }
	chmod -R a+rwX . && chmod a+x "$BATS_RUN_TMPDIR" "$BATS_FILE_TMPDIR"
}

# Runs the check, with the arguments given.
check() {
	run "$BATS_TEST_DIRNAME/check" "$@"
}

# Runs the check of a copy of the checkout that all may read, with the
# arguments given, as a student whose machine refuses user namespaces and
# has no sudo.
check_as_student() {
	mkdir checkout && tar -C "$BATS_TEST_DIRNAME/.." --exclude='./build*' -cf - . | tar -xf - -C checkout
	chmod -R a+rX checkout
	run checkout/.ci/student.sh none checkout/grade/check "$@"
}

@test "a correct folder passes each case, a line each as bats reports it, then a summary" {
	folder
	check --leave-out '^(?!dirview: (an empty directory|a missing path))' ada
	assert_success
	assert_equal "${lines[0]}" "passed  dirview: an empty directory lists as the header and its two dot entries"
	assert_equal "${lines[1]}" "passed  dirview: a missing path is refused"
	assert_regex "${lines[-1]}" '^ada: 2 of 2 cases passed; [0-9]+ left out$'
}

@test "a case that fails shows what the teacher's report shows, and where to look, and the check fails" {
	folder spawnwait '#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>
int main(void) { pid_t pid = fork(); if (pid == 0) printf("Jestem potomkiem [0] [%d]\n", getpid());
	else { printf("Jestem rodzicem [%d] [%d]\n", pid, getpid()); printf("Zakonczono proces [%d]\n", wait(NULL)); } }'
	check --leave-out '^(?!spawnwait: an ended child)' ada
	assert_failure
	assert_line "FAILED  spawnwait: an ended child inherited through exec is not mistaken for the forked one"
	assert_line --partial 'see the lab, "An inherited child"'
	assert_line --regexp '^ada: 0 of 1 cases passed; [0-9]+ left out$'
}

@test "it checks all the same where user namespaces are refused, and skips, saying why, a case that needs one" {
	folder
	check_as_student --leave-out '^(?!dirview: (an empty directory|entries whose inode))' ada
	assert_success
	assert_line "skipped dirview: entries whose inode numbers need more than 32 bits are all listed, in the order the stream yields them"
	assert_line "  skipped entries whose inode numbers need more than 32 bits are all listed, in the order the stream yields them"
	assert_regex "${lines[-1]}" '^ada: 1 of 2 cases passed, 1 skipped here, which this machine cannot run; [0-9]+ left out$'
}

@test "a fork loop is held, and nothing the check started outlives it" {
	folder dirview '#include <sys/prctl.h>
#include <unistd.h>
int main(void) { prctl(PR_SET_NAME, "sysdemos-loop"); for (;;) if (fork() == 0) pause(); }'
	check --leave-out '^(?!dirview: an empty directory)' ada
	assert_failure
	assert_line --partial "ran past its 10 seconds"
	run pgrep -x sysdemos-loop
	assert_failure 1
}

@test "read in part, as through head, the check ends without a word" {
	folder
	run bash -c '"$1" --leave-out "^(?!dirview: an empty directory)" ada | true' - "$BATS_TEST_DIRNAME/check"
	assert_success
	assert_output ""
}
