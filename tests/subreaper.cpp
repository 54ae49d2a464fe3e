// SPDX-FileCopyrightText: 2026 The sysdemos authors
// SPDX-License-Identifier: 0BSD

/*
 * subreaper: run a command as a child subreaper, and report the end of the
 * command and of every process it orphans.
 *
 * usage: subreaper seconds command [argument ...]
 *
 * The kernel hands the command's orphans to this process rather than to
 * init, so their ends are collected and timed here.  Each end is one line
 * on standard error, "pid status milliseconds": the exit status, or 128
 * plus the killing signal, and the time since the start.  Standard output
 * is the command's alone: this process closes its copy, so that a reader
 * sees its end when the command's processes have all closed theirs.  After
 * the given seconds, whatever is left of the command's process group is
 * killed, so that no test leaves it behind.
 */

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

volatile std::sig_atomic_t group;

void kill_group(int /*signal*/)
{
	(void)kill(-group, SIGKILL);
}

long since(const timespec &start)
{
	timespec now{};
	(void)clock_gettime(CLOCK_MONOTONIC, &now);
	return (now.tv_sec - start.tv_sec) * 1000 +
	    (now.tv_nsec - start.tv_nsec) / 1000000;
}

} // namespace

int main(int argc, char *argv[])
{
	if (argc < 3) {
		(void)std::fputs("usage: subreaper seconds command [argument ...]\n", stderr);
		return 2;
	}
	timespec start{};
	(void)clock_gettime(CLOCK_MONOTONIC, &start);
	if (prctl(PR_SET_CHILD_SUBREAPER, 1) == -1) {
		std::perror("subreaper: prctl");
		return 2;
	}

	const pid_t pid = fork();
	if (pid == -1) {
		std::perror("subreaper: fork");
		return 2;
	}
	if (pid == 0) {
		(void)setpgid(0, 0);
		(void)execvp(argv[2], argv + 2);
		std::perror(argv[2]);
		_exit(127);
	}
	// Set on both sides, so the group exists whichever runs first.
	(void)setpgid(pid, pid);
	group = pid;
	(void)close(STDOUT_FILENO);

	struct sigaction action{};
	action.sa_handler = kill_group;
	(void)sigaction(SIGALRM, &action, nullptr);
	(void)alarm(static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)));

	for (;;) {
		int status = 0;
		const pid_t ended = waitpid(-1, &status, 0);
		if (ended == -1 && errno == EINTR)
			continue; // the alarm: collect what it killed
		if (ended == -1)
			return 0; // no process is left under this one
		(void)std::fprintf(stderr, "%d %d %ld\n", ended,
		    WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
		    since(start));
	}
}
