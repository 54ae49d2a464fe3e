// SPDX-FileCopyrightText: 2026 The sysdemos authors
// SPDX-License-Identifier: 0BSD

/*
 * dirview: print a directory's path, then the name of each entry in it,
 * one per line, in the order the directory stream yields them.
 *
 * usage: dirview [directory]
 */

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

int main(int argc, char *argv[])
{
	/*
	 * The header names a working directory of up to 999 characters, as
	 * the manual page says.  getcwd fails on a longer one: with ERANGE
	 * while the kernel can return the path, and past 4095 characters,
	 * where it cannot, with whatever error the C library meets walking up
	 * the parent directories itself, EACCES below one it may not read.
	 */
	char cwd[1000];
	const char *header = cwd;
	/*
	 * "." is resolved by the kernel from the process, not from a path:
	 * the working directory is listed even when its path now leads
	 * elsewhere or no longer exists.
	 */
	const char *path = ".";

	/* Asked before the arguments are looked at: a failure is always told. */
	if (getcwd(cwd, sizeof(cwd)) == nullptr) {
		std::perror("getcwd() error");
		header = "."; /* cwd holds nothing defined now */
	}
	/*
	 * Only a sole argument names the directory.  It is used as typed and
	 * never copied into cwd, so no length of it can overrun the buffer.
	 */
	if (argc == 2)
		header = path = argv[1];

	DIR *dir = opendir(path);
	if (dir == nullptr) {
		std::perror("blad opendir");
		return 0;
	}

	/*
	 * A failed write leaves only a flag on the stream, and its reason in
	 * errno until the next call changes it: keep the first reason.
	 */
	int write_error = 0;
	if (std::printf("Dir: %s\n", header) < 0)
		write_error = errno;
	for (;;) {
		/*
		 * NULL marks the end of the stream and a read error alike;
		 * only an error sets errno.
		 */
		errno = 0;
		const struct dirent *entry = readdir(dir);
		if (entry == nullptr)
			break;
		if (std::printf(" %s\n", entry->d_name) < 0 && write_error == 0)
			write_error = errno;
	}
	const int read_error = errno;
	(void)closedir(dir);

	/*
	 * Flushed here rather than at exit, so that a failed write is seen,
	 * and the whole entry lines go out before a report on the unbuffered
	 * standard error, which may share their file.
	 */
	if (std::fflush(stdout) == EOF && write_error == 0)
		write_error = errno;
	if (read_error != 0) {
		errno = read_error;
		std::perror("blad readdir");
	}
	if (write_error != 0) {
		errno = write_error;
		std::perror("blad zapisu");
	}
	return 0;
}
