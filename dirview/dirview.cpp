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
	char cwd[1000];
	const char *header = cwd;
	/*
	 * The working directory itself is opened through ".", which the
	 * kernel resolves from the process and not from a path.  The path
	 * that getcwd returns may already lead elsewhere (a filesystem
	 * mounted over it, a directory renamed on the way), or be missing
	 * when the directory has been removed or its path is too long.
	 */
	const char *path = ".";

	/*
	 * Asked on every run, before the arguments are looked at, so that a
	 * failure is reported even when an argument is about to take its place.
	 */
	if (getcwd(cwd, sizeof(cwd)) == nullptr) {
		std::perror("getcwd() error");
		header = "."; /* cwd holds nothing defined now */
	}

	/*
	 * Only a sole argument names the directory; with more, all are
	 * ignored.  It is used as typed and never copied into cwd, so an
	 * argument of any length is neither cut short nor written past the
	 * buffer; one too long for the kernel is refused by opendir.
	 */
	if (argc == 2)
		header = path = argv[1];

	DIR *dir = opendir(path);
	if (dir == nullptr) {
		std::perror("blad opendir");
		return 0;
	}

	/*
	 * A failed write leaves only a flag on the stream, and the reason in
	 * errno until the next call changes it: keep the first one here.
	 */
	int write_error = 0;
	if (std::printf("Dir: %s\n", header) < 0)
		write_error = errno;
	for (;;) {
		/*
		 * readdir returns NULL at the end of the stream and on a read
		 * error alike; only an error sets errno, which the line for
		 * the entry before may have set already.
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
	 * The end of the process would flush the rest of the listing at this
	 * very point; flushing here lets a failure be seen and reported, and
	 * writes out every whole entry line before a report on the unbuffered
	 * standard error, which may share its file or pipe.
	 */
	if (std::fflush(stdout) == EOF && write_error == 0)
		write_error = errno;
	/* The entries already printed stand; the rest cannot be had. */
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
