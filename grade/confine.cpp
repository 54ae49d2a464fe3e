// SPDX-FileCopyrightText: 2026 The sysdemos authors
// SPDX-License-Identifier: 0BSD

/*
 * confine: run a submitted program where it cannot reach its grader, within
 * bounds that hold for all it starts.
 *
 * usage: confine [argument ...]
 *
 * Built with -DPROGRAM='"PATH"' and the bounds of grade/bounds.py by their
 * names there, it runs the program at PATH with its own arguments.  The
 * grader runs each suite in a bubblewrap sandbox, and the suite runs the
 * program under test through this, which first gives it:
 *
 * - a user namespace of its own, which all it starts shares and none can
 *   leave, and where RLIMIT_NPROC counts them all together.  It announces
 *   the namespace to the grader, on the socket that CONFINE_FD names: a
 *   message of bats's number for the case running (0 outside a case) and a
 *   line's end, with a descriptor of the namespace.  The grader counts the
 *   CPU time and output of all its processes together, and ends them all
 *   when the case ends;
 * - limits on each process's CPU time, memory, descriptors and file size,
 *   and a share of the processors below the suite's, a tenth at most;
 * - a seccomp filter that refuses a new namespace, and the memory no limit
 *   above counts: memfds, System V's shared memory and queues, fallocate,
 *   larger pipes, userfaultfd and io_uring; and every call made through
 *   another ABI than this program's own, whose numbers mean other calls;
 * - a Landlock domain.  The kernel lets no process in it trace a process
 *   outside it, nor open that process's descriptors or memory under /proc:
 *   not bats, whose report the program could forge, nor strace, nor the
 *   test helpers.  Nor can it create, remove or write any file, but under
 *   /dev, so that it cannot edit what the suite reads after it.  Where the
 *   kernel scopes signals (Landlock ABI 6), it cannot signal outside either;
 * - no descriptor above 2: bats keeps its report on 3;
 * - an environment of PATH and LC_ALL alone, which names no case.
 */

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/landlock.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The linker's name for this program's own ELF header.
extern "C" const ElfW(Ehdr) __ehdr_start; // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

int main(int argc, char *argv[])
{
	(void)argc;
	const char *number = std::getenv("BATS_TEST_NUMBER");
	const char *announce = std::getenv("CONFINE_FD");
	char *end = nullptr;
	const unsigned long test = number ? std::strtoul(number, &end, 10) : 0;
	const int grader = announce ? static_cast<int>(std::strtol(announce, nullptr, 10)) : -1;
	if (unshare(CLONE_NEWUSER) == -1) {
		std::perror("confine: user namespace");
		return 126;
	}
	// The announcement: the case's number, and the namespace itself, which
	// the grader holds so that its inode names no other until it is done;
	// sent, not written, so that a suite's fault in write leaves it alone.
	char line[32];
	iovec text = {line, static_cast<std::size_t>(std::snprintf(line, sizeof line, "%lu\n",
	    end && *end == '\0' ? test : 0))};
	alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))]{};
	msghdr message{};
	message.msg_iov = &text;
	message.msg_iovlen = 1;
	message.msg_control = control;
	message.msg_controllen = sizeof control;
	cmsghdr *rights = CMSG_FIRSTHDR(&message);
	rights->cmsg_level = SOL_SOCKET;
	rights->cmsg_type = SCM_RIGHTS;
	rights->cmsg_len = CMSG_LEN(sizeof(int));
	const int ns = open("/proc/self/ns/user", O_RDONLY | O_CLOEXEC);
	std::memcpy(CMSG_DATA(rights), &ns, sizeof ns);
	if (grader < 3 || ns == -1 || sendmsg(grader, &message, 0) != static_cast<ssize_t>(text.iov_len)) {
		(void)std::fputs("confine: no grader to announce the program to on CONFINE_FD\n", stderr);
		return 126;
	}

	constexpr rlim_t mib = 1 << 20;
	const struct {
		int resource;
		rlimit value;
	} limits[] = {
	    {RLIMIT_NPROC, {PROCESSES, PROCESSES}},
	    {RLIMIT_CPU, {CPU_SECONDS, CPU_SECONDS + 1}},
	    {RLIMIT_AS, {MEMORY_MIB * mib, MEMORY_MIB * mib}},
	    {RLIMIT_NOFILE, {DESCRIPTORS, DESCRIPTORS}},
	    {RLIMIT_FSIZE, {FILE_MIB * mib, FILE_MIB * mib}},
	    {RLIMIT_MSGQUEUE, {0, 0}},
	    {RLIMIT_CORE, {0, 0}},
	};
	for (const auto &limit : limits) {
		if (setrlimit(limit.resource, &limit.value) == -1) {
			std::perror("confine: setrlimit");
			return 126;
		}
	}
	// Below the suite's share, however niced the grader: 19 is the least.
	errno = 0;
	const int nice = getpriority(PRIO_PROCESS, 0);
	if ((nice == -1 && errno != 0) ||
	    setpriority(PRIO_PROCESS, 0, nice + NICE < 19 ? nice + NICE : 19) == -1) {
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
	const long rules = abi < 1 ? -1 : syscall(SYS_landlock_create_ruleset, &ruleset, sizeof ruleset, 0);
	if (rules == -1 || dev.parent_fd == -1 ||
	    syscall(SYS_landlock_add_rule, rules, LANDLOCK_RULE_PATH_BENEATH, &dev, 0) == -1 ||
	    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == -1 ||
	    syscall(SYS_landlock_restrict_self, rules, 0) == -1) {
		std::perror("confine: Landlock");
		return 126;
	}

	/*
	 * The filter.  An ABI's AUDIT_ARCH value is its ELF machine, with a bit
	 * for 64-bit and one for little-endian: this program's own reads from
	 * its own header.  clone's flags and fcntl's command are read from the
	 * low half of their 64-bit argument: clone's is the first, but for
	 * s390's clone, which takes the stack first.
	 */
	const unsigned char *ident = __ehdr_start.e_ident;
	const std::uint32_t native = __ehdr_start.e_machine |
	    (ident[EI_CLASS] == ELFCLASS64 ? __AUDIT_ARCH_64BIT : 0U) |
	    (ident[EI_DATA] == ELFDATA2LSB ? __AUDIT_ARCH_LE : 0U);
	constexpr std::uint32_t low = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0;
#if defined(__s390__)
	constexpr std::uint32_t clone_flags = offsetof(seccomp_data, args[1]) + low;
#else
	constexpr std::uint32_t clone_flags = offsetof(seccomp_data, args[0]) + low;
#endif
	constexpr std::uint32_t command = offsetof(seccomp_data, args[1]) + low;
	constexpr std::uint32_t namespaces = CLONE_NEWNS | CLONE_NEWUTS |
	    CLONE_NEWIPC | CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET | CLONE_NEWCGROUP;
	const std::uint32_t refused[] = {
	    __NR_unshare, __NR_setns, __NR_memfd_create, __NR_fallocate,
	    __NR_userfaultfd, __NR_io_uring_setup,
#ifdef __NR_memfd_secret
	    __NR_memfd_secret,
#endif
#ifdef __NR_shmget
	    __NR_shmget, __NR_msgget, __NR_semget,
#endif
#ifdef __NR_ipc
	    __NR_ipc,
#endif
	};
	const std::uint32_t fcntls[] = {
	    __NR_fcntl,
#ifdef __NR_fcntl64
	    __NR_fcntl64,
#endif
	};
	constexpr std::uint32_t perm = SECCOMP_RET_ERRNO | EPERM, nosys = SECCOMP_RET_ERRNO | ENOSYS;
	sock_filter code[64]{};
	unsigned short size = 0;
	const auto add = [&code, &size](const sock_filter &insn) { code[size++] = insn; };
	add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
	add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, native, 1, 0));
	add(BPF_STMT(BPF_RET | BPF_K, nosys));
	add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
	// x32 calls come tagged x86_64, with this bit set in their numbers; no
	// other ABI has numbers that high.
	add(BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1));
	add(BPF_STMT(BPF_RET | BPF_K, nosys));
	// clone3 keeps its flags where a filter cannot read them; the C library
	// falls back to clone.
	add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1));
	add(BPF_STMT(BPF_RET | BPF_K, nosys));
	for (const std::uint32_t nr : refused) {
		add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 1));
		add(BPF_STMT(BPF_RET | BPF_K, perm));
	}
	add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 0, 4));
	add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, clone_flags));
	add(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, namespaces, 0, 1));
	add(BPF_STMT(BPF_RET | BPF_K, perm));
	add(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
	for (const std::uint32_t nr : fcntls) {
		add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 4));
		add(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, command));
		add(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, F_SETPIPE_SZ, 0, 1));
		add(BPF_STMT(BPF_RET | BPF_K, perm));
		add(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
	}
	add(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
	const sock_fprog filter = {size, code};
	if (prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == -1) {
		std::perror("confine: seccomp");
		return 126;
	}

	if (close_range(3, ~0U, 0) == -1) {
		std::perror("confine: close_range");
		return 126;
	}
	if (clearenv() != 0 || setenv("PATH", "/usr/bin:/bin", 1) == -1 ||
	    setenv("LC_ALL", "C", 1) == -1) {
		std::perror("confine: environment");
		return 126;
	}
	(void)execv(PROGRAM, argv);
	std::perror(PROGRAM);
	return 127;
}
