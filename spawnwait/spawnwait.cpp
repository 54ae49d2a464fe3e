/*
 * spawnwait: fork once; parent and child each report the fork result and
 * their own process id, and the parent reports the child's end.
 *
 * usage: spawnwait
 */

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main()
{
	/*
	 * Nothing has been written yet, so the child inherits no unwritten
	 * output that both processes would later flush.
	 */
	const pid_t pid = fork();

	if (pid > 0) {
		(void)std::printf("Jestem rodzicem [%d] [%d]\n", pid, getpid());
		/*
		 * Wait for this child by its id: a program that exec'd us may
		 * have left children of its own, and a plain wait() could
		 * collect one of those instead.  When SIGCHLD is ignored the
		 * kernel discards the child as it ends; waitpid still blocks
		 * until then, and fails with ECHILD, so -1 is printed.
		 */
		(void)std::printf("Zakonczono proces [%d]\n",
		    waitpid(pid, nullptr, 0));
	} else if (pid == 0) {
		(void)std::printf("Jestem potomkiem [%d] [%d]\n", pid, getpid());
	}
	/* A failed fork made no child: there is nothing to report. */
	return 0;
}
