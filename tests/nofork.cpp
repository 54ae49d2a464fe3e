// SPDX-FileCopyrightText: 2026 The sysdemos authors
// SPDX-License-Identifier: 0BSD

/*
 * nofork: run a command in which the kernel refuses to create processes.
 *
 * usage: nofork command [argument ...]
 *
 * A seccomp filter makes fork, vfork and every clone without CLONE_VM fail
 * with EAGAIN, as when a process limit is reached; this binds root as well.
 * Clones that share memory (threads, and the tracer LeakSanitizer starts at
 * exit) still work.  clone3 keeps its flags where the filter cannot read
 * them, so it fails with ENOSYS, on which the C library falls back to clone.
 * The filter checks native system calls only, all the command makes.
 */

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>

// The filter reads the low half of clone's 64-bit flags argument.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__);

int main(int argc, char *argv[])
{
	if (argc < 2) {
		(void)std::fputs("usage: nofork command [argument ...]\n", stderr);
		return 2;
	}

	sock_filter filter[] = {
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fork, 4, 0),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_vfork, 3, 0),
		BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 0, 3),
		BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
		BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_VM, 1, 0),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
		BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
	};
	const sock_fprog program = {sizeof(filter) / sizeof(filter[0]), filter};

	// Without this only a privileged process may install a filter.
	if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == -1 ||
	    prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == -1) {
		std::perror("nofork: seccomp");
		return 2;
	}
	(void)execvp(argv[1], argv + 1);
	std::perror(argv[1]);
	return 127;
}
