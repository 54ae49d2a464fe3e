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
 *
 * A system call is numbered by the ABI it comes through, and the kernel
 * tags it with that ABI's AUDIT_ARCH value: a 64-bit kernel also serves
 * 32-bit programs (i386 on x86_64, arm on arm64), whose numbers mean other
 * calls natively.  The filter knows this program's own ABI and, built for
 * x86_64 or arm64, that 32-bit one; every call through any other ABI (x32,
 * say) fails with ENOSYS.
 */

#include <elf.h>
#include <link.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>

// The linker's name for this program's own ELF header.
extern "C" const ElfW(Ehdr) __ehdr_start; // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

namespace {

// The low half of clone's 64-bit flags, where CLONE_VM is: the first
// argument, but for s390's clone, which takes the stack first.  The 32-bit
// ABIs below, on little-endian x86_64 and arm64, take the flags first too.
constexpr std::uint32_t low_half = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? 4 : 0;
#if defined(__s390__)
constexpr std::uint32_t clone_flags = offsetof(seccomp_data, args[1]) + low_half;
#else
constexpr std::uint32_t clone_flags = offsetof(seccomp_data, args[0]) + low_half;
#endif

// A filter's instructions: room for two ABIs' parts and the end.
struct Filter {
	sock_filter code[40];
	unsigned short size;
};

void add(Filter &filter, const sock_filter &insn)
{
	filter.code[filter.size++] = insn;
}

// Appends the filter's part for the ABI tagged arch, with that ABI's
// numbers for the calls that only create processes and for clone.  Calls
// through another ABI skip the part.  clone3 came after the ABIs' numbers
// were unified: it is 435 in every one.
void add_abi(Filter &filter, std::uint32_t arch,
    std::initializer_list<std::uint32_t> forks, std::uint32_t clone)
{
	const unsigned short start = filter.size;
	add(filter, BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)));
	add(filter, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 0, 0)); // jf set below
	add(filter, BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
	// x32 calls come tagged x86_64, with this bit set in their numbers;
	// no other ABI has numbers that high.
	add(filter, BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000, 0, 1));
	add(filter, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS));
	add(filter, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1));
	add(filter, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS));
	for (const std::uint32_t nr : forks) {
		add(filter, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nr, 0, 1));
		add(filter, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN));
	}
	add(filter, BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, clone, 0, 3));
	add(filter, BPF_STMT(BPF_LD | BPF_W | BPF_ABS, clone_flags));
	add(filter, BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_VM, 1, 0));
	add(filter, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN));
	add(filter, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
	filter.code[start + 1].jf = static_cast<std::uint8_t>(filter.size - start - 2);
}

} // namespace

int main(int argc, char *argv[])
{
	if (argc < 2) {
		(void)std::fputs("usage: nofork command [argument ...]\n", stderr);
		return 2;
	}

	/*
	 * An ABI's AUDIT_ARCH value is its ELF machine, with a bit for 64-bit
	 * and one for little-endian: this program's own ABI reads from its
	 * own header.
	 */
	const unsigned char *ident = __ehdr_start.e_ident;
	const std::uint32_t native = __ehdr_start.e_machine |
	    (ident[EI_CLASS] == ELFCLASS64 ? __AUDIT_ARCH_64BIT : 0U) |
	    (ident[EI_DATA] == ELFDATA2LSB ? __AUDIT_ARCH_LE : 0U);

	Filter filter{};
	add_abi(filter, native, {
#ifdef __NR_fork
	    __NR_fork,
#endif
#ifdef __NR_vfork
	    __NR_vfork,
#endif
	    }, __NR_clone);
	// i386 and arm number these calls alike: fork 2, vfork 190, clone 120.
#if defined(__x86_64__)
	add_abi(filter, AUDIT_ARCH_I386, {2, 190}, 120);
#elif defined(__aarch64__) && !defined(__AARCH64EB__)
	add_abi(filter, AUDIT_ARCH_ARM, {2, 190}, 120);
#endif
	add(filter, BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS));
	const sock_fprog program = {filter.size, filter.code};

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
