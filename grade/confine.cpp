// SPDX-FileCopyrightText: 2026 The sysdemos authors
// SPDX-License-Identifier: 0BSD

/*
 * confine: run a submitted program where it cannot reach its grader.
 *
 * usage: confine [argument ...]
 *
 * Built with -DPROGRAM='"PATH"', it runs the program at PATH with its own
 * arguments.  The grader runs each suite in a bubblewrap sandbox, and the
 * suite runs the program under test through this, which first gives it:
 *
 * - a user namespace of its own, where RLIMIT_NPROC counts the program and
 *   its descendants alone;
 * - limits on its processes, CPU time, memory, file size and core dumps,
 *   and a share of the processors below the suites', a tenth at most;
 * - a Landlock domain.  The kernel lets no process in it trace a process
 *   outside it, nor open that process's descriptors or memory under /proc:
 *   not bats, whose report the program could forge, nor strace, nor the
 *   test helpers.  Nor can it create, remove or write any file, but under
 *   /dev, so that it cannot edit what the suite reads after it.  Where the
 *   kernel scopes signals (Landlock ABI 6), it cannot signal outside either;
 * - no descriptor above 2: bats keeps its report on 3.
 */

#include <fcntl.h>
#include <linux/landlock.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

int main(int argc, char *argv[])
{
	(void)argc;
	const struct {
		int resource;
		rlimit value;
	} limits[] = {
	    {RLIMIT_NPROC, {4, 4}},
	    {RLIMIT_CPU, {1, 2}}, // seconds: SIGXCPU, then SIGKILL
	    {RLIMIT_AS, {256 << 20, 256 << 20}},
	    {RLIMIT_FSIZE, {1 << 20, 1 << 20}},
	    {RLIMIT_CORE, {0, 0}},
	};
	if (unshare(CLONE_NEWUSER) == -1) {
		std::perror("confine: user namespace");
		return 126;
	}
	for (const auto &limit : limits) {
		if (setrlimit(limit.resource, &limit.value) == -1) {
			std::perror("confine: setrlimit");
			return 126;
		}
	}
	if (setpriority(PRIO_PROCESS, 0, 10) == -1) {
		std::perror("confine: setpriority");
		return 126;
	}

	// The ruleset's layout at Landlock ABI 6; an older kernel takes it
	// whole where the fields it does not know are 0.
	struct {
		std::uint64_t handled_access_fs, handled_access_net, scoped;
	} ruleset{};
	const std::uint64_t truncate = 1ULL << 14, scope_signal = 1ULL << 1;
	const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0,
	    LANDLOCK_CREATE_RULESET_VERSION);
	ruleset.handled_access_fs = LANDLOCK_ACCESS_FS_WRITE_FILE |
	    LANDLOCK_ACCESS_FS_REMOVE_DIR | LANDLOCK_ACCESS_FS_REMOVE_FILE |
	    LANDLOCK_ACCESS_FS_MAKE_CHAR | LANDLOCK_ACCESS_FS_MAKE_DIR |
	    LANDLOCK_ACCESS_FS_MAKE_REG | LANDLOCK_ACCESS_FS_MAKE_SOCK |
	    LANDLOCK_ACCESS_FS_MAKE_FIFO | LANDLOCK_ACCESS_FS_MAKE_BLOCK |
	    LANDLOCK_ACCESS_FS_MAKE_SYM | (abi >= 3 ? truncate : 0);
	ruleset.scoped = abi >= 6 ? scope_signal : 0;
	landlock_path_beneath_attr dev{};
	dev.allowed_access = LANDLOCK_ACCESS_FS_WRITE_FILE | (abi >= 3 ? truncate : 0);
	dev.parent_fd = open("/dev", O_PATH | O_CLOEXEC);
	const long fd = abi < 1 ? -1 : syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0);
	if (fd == -1 || dev.parent_fd == -1 ||
	    syscall(SYS_landlock_add_rule, fd, LANDLOCK_RULE_PATH_BENEATH, &dev, 0) == -1 ||
	    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == -1 ||
	    syscall(SYS_landlock_restrict_self, fd, 0) == -1) {
		std::perror("confine: Landlock");
		return 126;
	}
	if (close_range(3, ~0U, 0) == -1) {
		std::perror("confine: close_range");
		return 126;
	}
	(void)execv(PROGRAM, argv);
	std::perror(PROGRAM);
	return 127;
}
