// SPDX-FileCopyrightText: 2026 The sysdemos authors
// SPDX-License-Identifier: 0BSD

/*
 * spawnlinger: fork a child that sleeps 100 seconds, while the parent says
 * "Parent", sleeps 10 seconds and ends without waiting.  The child spends
 * its last 90 seconds or so as an orphan, adopted by the system.
 *
 * usage: spawnlinger
 */

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main()
{
	const pid_t pid = fork();

	if (pid == 0) {
		/*
		 * Once the parent has ended, the kernel hands this process to
		 * init or the nearest subreaper, which collects it.  It holds
		 * the inherited standard output open until then, so a reader
		 * of a pipe from the program sees no end of input.
		 */
		(void)sleep(100);
		return 0;
	}

	/*
	 * The parent, and a process whose fork failed.  Redirected, "Parent"
	 * waits in the buffer until the process ends: the flush below is
	 * that very write, made where a failure can still be reported.
	 */
	int write_error = 0;
	if (std::puts("Parent") == EOF)
		write_error = errno;
	(void)sleep(10);
	if (std::fflush(stdout) == EOF && write_error == 0)
		write_error = errno;
	if (write_error != 0) {
		errno = write_error;
		std::perror("blad zapisu");
	}
	return 0;
}
