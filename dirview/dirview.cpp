/*
 * dirview: print a directory's path, then the name of each entry in it,
 * one per line, in the order the directory stream yields them.
 *
 * usage: dirview [directory]
 */

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char *argv[])
{
	char cwd[1000];
	const char *path = cwd;

	/*
	 * Asked on every run, before the arguments are looked at, so that a
	 * failure is reported even when an argument is about to take its place.
	 */
	if (getcwd(cwd, sizeof(cwd)) == nullptr) {
		std::perror("getcwd() error");
		/*
		 * cwd holds nothing defined now.  "." still names the working
		 * directory, since the kernel resolves it from the process and
		 * not from a path: it lists the right directory when only its
		 * absolute path is too long for cwd (ERANGE), and still opens
		 * one that has been removed (ENOENT).
		 */
		path = ".";
	}

	/*
	 * Only a sole argument names the directory; with more, all are
	 * ignored.  It is used as typed and never copied into cwd, so an
	 * argument of any length is neither cut short nor written past the
	 * buffer; one too long for the kernel is refused by opendir.
	 */
	if (argc == 2)
		path = argv[1];

	DIR *dir = opendir(path);
	if (dir == nullptr) {
		std::perror("blad opendir");
		return 0;
	}

	(void)std::printf("Dir: %s\n", path);
	/*
	 * readdir returns NULL at the end of the stream and on a read error
	 * alike; an error simply ends the listing.
	 */
	for (const struct dirent *entry; (entry = readdir(dir)) != nullptr;)
		(void)std::printf(" %s\n", entry->d_name);

	(void)closedir(dir);
	return 0;
}
