# shellcheck shell=bash disable=SC2034 # the variables are for the suites
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

# Shared by the suites.  CTest passes the programs under test in DIRVIEW,
# SPAWNWAIT and SPAWNLINGER, and the test helpers in NOFORK and SUBREAPER.

bats_require_minimum_version 1.5.0
# A failed assertion shows what the program printed against what was
# expected (Debian: apt-get install bats-assert bats-support).
bats_load_library bats-support
bats_load_library bats-assert

# Byte order for sort, and the C locale's messages for any tool that
# would translate them.
export LC_ALL=C

# Run outside CTest, the suites would test nothing: say so at once.
: "${DIRVIEW:?run the tests through ctest}"

# Milliseconds since $1, a clock reading taken as ${EPOCHREALTIME/./}.
ms_since() {
	echo $(((${EPOCHREALTIME/./} - $1) / 1000))
}

# Under CI=true, on CI's own machine (root, with user namespaces and
# ptrace), a case that cannot run can only hide a fault: it fails, saying
# what was missing, where a newcomer's skips with those words.
if [[ ${CI-} == true ]]; then
	skip() { fail "CI=true, where no case may skip: ${1-}"; }
fi

# Skips a case that makes the kernel fail through strace, where it cannot.
needs_strace() {
	command -v strace >/dev/null || skip "strace is missing (Debian: apt-get install strace)"
	strace -o /dev/null true || skip "strace cannot trace a process here"
}

# Runs the command $@ in place of the subshell that calls it, in the
# background or in a pipeline, without bats' own fd 3: a process that held
# it would stall the suite until that process ended.
without_bats_fd() {
	exec "$@" 3>&-
}

# Sets unshare to a command that runs its arguments in a private mount
# namespace, or skips the case where none can be made.
needs_mount_namespace() {
	unshare=(unshare -m)
	((EUID == 0)) || unshare=(unshare -rm)
	"${unshare[@]}" true || skip "no private mount namespace can be made here"
}

# The first words of a command string: each traced process's first write
# fails with EIO and the rest go through; the trace, each process's exit
# status included, goes to $BATS_TEST_TMPDIR/trace.  LeakSanitizer cannot
# work under a tracer.
write_fails_once='strace -q -o "$BATS_TEST_TMPDIR/trace" -E ASAN_OPTIONS=detect_leaks=0 -e trace=write,exit_group -e inject=write:error=EIO:when=1'

# Runs the command string $1 on a pseudo-terminal, where standard output is
# line-buffered, with standard error into $BATS_TEST_TMPDIR/err.  Paths
# reach the string as exported variables, never as text for a shell to
# split.
run_on_tty() {
	run script -qfec "$1 2>\"\$BATS_TEST_TMPDIR/err\"" /dev/null </dev/null 3>&-
}
