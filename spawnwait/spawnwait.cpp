// SPDX-FileCopyrightText: 2026 The sysdemos authors
// SPDX-License-Identifier: 0BSD

/*
 * spawnwait: fork once; parent and child each report the fork result and
 * their own process id, and the parent reports the child's end.
 *
 * usage: spawnwait
 */

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main()
{
	/*
	 * Nothing has been written yet, so the child inherits no unwritten
	 * output that both processes would later flush.
	 */
	const pid_t pid = fork();

	int write_error = 0; /* errno of the first failed write */
	if (pid > 0) {
		if (std::printf("Jestem rodzicem [%d] [%d]\n", pid, getpid()) < 0)
			write_error = errno;
		/*
		 * Waits for this very child: a program that exec'd us may have
		 * left children of its own for a plain wait() to collect.  With
		 * SIGCHLD ignored the kernel discards the child as it ends, and
		 * waitpid fails with ECHILD then, so -1 is printed.
		 */
		const pid_t ended = waitpid(pid, nullptr, 0);
		if (std::printf("Zakonczono proces [%d]\n", ended) < 0 &&
		    write_error == 0)
			write_error = errno;
	} else if (pid == 0) {
		if (std::printf("Jestem potomkiem [%d] [%d]\n", pid, getpid()) < 0)
			write_error = errno;
	}
	/* A failed fork made no child, and nothing is printed. */

	/*
	 * Each process flushes its lines where its end would, so that a
	 * failure is seen and reported.  On a terminal the lines have gone
	 * out already, each at its newline; redirected, this flush is their
	 * one write.
	 */
	if (std::fflush(stdout) == EOF && write_error == 0)
		write_error = errno;
	if (write_error != 0) {
		errno = write_error;
		std::perror("blad zapisu");
	}
	return 0;
}
