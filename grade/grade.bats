#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

bats_require_minimum_version 1.5.0
bats_load_library bats-support
bats_load_library bats-assert

# One grading serves the cases: a class of this project's own programs,
# in which each submission but the first swaps one program for a hostile
# one, all graded side by side, on few cases each.  Beside it, the
# programs that run out of time, on one case.
setup_file() {
	cd "$BATS_FILE_TMPDIR"
	local root=$BATS_TEST_DIRNAME/..
	mkdir -p class/good "teacher's home"
	cp "$root"/{dirview,spawnwait,spawnlinger}/*.cpp class/good
	echo '// the neighbour'"'"'s secret' >>class/good/dirview.cpp
	# A listener on the host's loopback, which no submission may reach.
	python3 -c 'import socket, sys; s = socket.create_server(("127.0.0.1", 0)); print(s.getsockname()[1], flush=True)
s.accept(); print("reached", flush=True)' >listener 3>&- &
	echo $! >listener.pid
	until [[ -s listener ]]; do sleep 0.1; done
	hostile dirview forger '#include <glob.h>
		int main(void) { // a pass for every case, on every descriptor it can reach, then no one left to deny it
			const char *tap = "1..3\nok 1 an empty directory lists as the header and its two dot entries\n"
				"ok 2 a missing path is refused\nok 3 a regular file is refused as not a directory\n";
			glob_t fds; glob("/proc/[0-9]*/fd/[0-9]*", 0, NULL, &fds);
			for (int fd = 1; fd < 10; fd++) dprintf(fd, "%s", tap);
			for (size_t i = 0; i < fds.gl_pathc; i++) dprintf(open(fds.gl_pathv[i], O_WRONLY), "%s", tap);
			kill(-1, SIGKILL); }'
	hostile dirview spin 'int main(void) { for (;;) continue; }'
	hostile dirview flood 'int main(void) { for (;;) puts("flood"); }'
	hostile dirview hog 'int main(void) { char *p = malloc(300 << 20); if (!p) perror("malloc"); else memset(p, 1, 300 << 20); }'
	hostile dirview forker 'int main(void) { // forks a hundred children, which wait, if it may
			int n = 0; pid_t child = 1; while (n < 100 && (child = fork()) > 0) n++;
			if (child == 0) { close(1); close(2); pause(); } printf("forked %d, then %m\n", n); }'
	hostile dirview writer "int main(void) {
		const char *paths[] = {\"$PWD/class/escaped\", \"$PWD/teacher's home/escaped\", \"/tmp/escaped\", \"$PWD/marks/escaped\"};
		for (int i = 0; i < 4; i++) if (creat(paths[i], 0644) == -1) perror(paths[i]); }"
	hostile dirview reader "int main(void) { char line[4096]; FILE *f = fopen(\"$PWD/class/good/dirview.cpp\", \"r\");
		if (!f) perror(\"neighbour\"); else while (fgets(line, sizeof line, f)) fputs(line, stdout); }"
	hostile dirview bomb 'int main(void) { for (;;) fork(); }'
	hostile spawnwait killer 'int main(void) { kill(-1, SIGKILL); }'
	hostile spawnwait caller "int main(void) { int s = socket(AF_INET, SOCK_STREAM, 0);
		struct sockaddr_in to = {AF_INET, htons($(cut -d' ' -f1 <listener)), {htonl(INADDR_LOOPBACK)}};
		if (connect(s, (struct sockaddr *)&to, sizeof to)) perror(\"connect\"); }"
	hostile spawnlinger daemon 'int main(void) { // a stopped child, and a grandchild in a session of its own
			prctl(PR_SET_NAME, "sysdemos-daemon"); puts("daemon started"); fflush(stdout); close(1); close(2);
			if (fork() == 0) raise(SIGSTOP); else if (fork() == 0 && setsid() && fork() == 0) for (;;) pause(); }'
	mkdir broken && cp class/good/spawnwait.cpp broken && echo 'int main( {' >broken/spawnlinger.c
	hostile dirview sleeper 'int main(void) { for (;;) pause(); }'
	# The autograder's zip, as teaching.md makes it, unpacked in Gradescope's
	# layout, with a correct submission.
	mkdir -p autograder/{source,submission,results} && cp class/good/*.cpp autograder/submission
	git -C "$root" archive --format=zip --add-file=grade/setup.sh --add-file=grade/run_autograder -o "$PWD/autograder.zip" HEAD
	python3 -m zipfile -e autograder.zip autograder/source && cp autograder/source/run_autograder autograder
	local top system=(--ro-bind /usr /usr --ro-bind /etc /etc --bind /proc /proc --dev /dev --tmpfs /tmp)
	for top in /bin /sbin /lib /lib64; do if [[ -L $top ]]; then system+=(--symlink "$(readlink "$top")" "$top"); else system+=(--ro-bind "$top" "$top"); fi; done
	bwrap "${system[@]}" --bind autograder /autograder --die-with-parent sh /autograder/run_autograder \
		--leave-out '^spawnlinger' --leave-out '^dirview: .*(order|names|argument|path longer|working directory|read error|write|lost|inode)' >gradescope.log 2>&1 &
	local gradescope=$!
	SECONDS=0
	"$root/grade/grade" --out marks --jobs 4 --leave-out '^spawnlinger-lifetime:' --leave-out '^spawnwait: on a terminal' \
		--leave-out '^dirview: .*(order|names|argument|path longer|working directory|read error|write|lost|inode|regular)' \
		class/good class/{forger,hog,forker,writer,reader,bomb,killer,caller,daemon} broken >graded 2>&1 &
	local graded=$!
	"$root/grade/grade" --out slept --leave-out '^spawn' --leave-out '^dirview: ([^a]|a[^n]|.*argument)' \
		class/{spin,flood,sleeper} >slept.log 2>&1
	wait "$graded" && echo "$SECONDS" >seconds && wait "$gradescope"
}

teardown_file() {
	kill "$(cat "$BATS_FILE_TMPDIR/listener.pid")"
}

# Writes a submission named $2: this project's programs, with program $1
# swapped for the C program $3, given the headers it may need.
hostile() {
	mkdir "class/$2" && cp class/good/*.cpp "class/$2" && rm "class/$2/$1.cpp"
	printf '#include <%s>\n' fcntl.h glob.h signal.h stdio.h stdlib.h string.h unistd.h \
		arpa/inet.h netinet/in.h sys/prctl.h sys/socket.h >"class/$2/$1.c"
	echo "$3" >>"class/$2/$1.c"
}

@test "each hostile program fails its own cases and costs its submission no other, a correct one passes all" {
	assert_equal "$(cat "$BATS_FILE_TMPDIR/marks/grades.csv")" "submission,passed,total,dirview,spawnwait,spawnlinger
good,12,12,2/2,6/6,4/4
forger,10,12,0/2,6/6,4/4
hog,10,12,0/2,6/6,4/4
forker,10,12,0/2,6/6,4/4
writer,10,12,0/2,6/6,4/4
reader,10,12,0/2,6/6,4/4
bomb,10,12,0/2,6/6,4/4
killer,7,12,2/2,1/6,4/4
caller,6,12,2/2,0/6,4/4
daemon,8,12,2/2,6/6,0/4
broken,6,12,0/2,6/6,0/4"
	# Each fails for what it does when it runs, not for a build the compiler refused.
	run grep -l "did not build" "$BATS_FILE_TMPDIR"/{marks,slept}/*/report.txt
	assert_output "$BATS_FILE_TMPDIR/marks/broken/report.txt"
}

@test "a class of eleven, a hostile ten among them, is graded within two minutes and a half" {
	assert [ "$(cat "$BATS_FILE_TMPDIR/seconds")" -lt 150 ]
}

@test "a program is held to 4 processes, 1 s of CPU time and 256 MiB of memory" {
	cd "$BATS_FILE_TMPDIR/marks"
	assert grep -q "forked 3, then Resource temporarily unavailable" forker/report.txt
	assert grep -q "status : 152" ../slept/spin/report.txt
	assert grep -q "malloc: Cannot allocate memory" hog/report.txt
}

@test "a submission can write nowhere outside, nor read a neighbour's files, nor reach the loopback" {
	cd "$BATS_FILE_TMPDIR"
	assert_equal "$(find class "teacher's home" marks -name escaped)" ""
	assert grep -q "class/escaped: Read-only file system\|class/escaped: No such file or directory" marks/writer/report.txt
	refute grep -rq "the neighbour's secret" marks/reader
	assert grep -q "neighbour: No such file or directory" marks/reader/report.txt
	assert grep -q "connect: Connection refused" marks/caller/report.txt
	assert_equal "$(sed -n 2p listener)" ""
}

@test "nothing a submission started outlives its grading, though it left its group and stopped" {
	assert grep -q "daemon started" "$BATS_FILE_TMPDIR/marks/daemon/report.txt"
	run pgrep -x sysdemos-daemon
	assert_failure 1
}

@test "a case that runs past its time, or floods, fails, saying so" {
	assert_equal "$(cat "$BATS_FILE_TMPDIR/slept/grades.csv")" "submission,passed,total,dirview,spawnwait,spawnlinger
spin,0,1,0/1,0/0,0/0
flood,0,1,0/1,0/0,0/0
sleeper,0,1,0/1,0/0,0/0"
	assert grep -q "ran past its 20 seconds" "$BATS_FILE_TMPDIR/slept/sleeper/report.txt"
}

@test "a program that does not build, or is missing, fails its cases, which say why" {
	report=$BATS_FILE_TMPDIR/marks/broken/report.txt
	assert grep -qF "spawnlinger.c:1:11: error: expected declaration specifiers" "$report"
	assert grep -qF "no dirview.cpp nor dirview.c in the submission" "$report"
}

@test "results.json is in Gradescope's form, and junit.xml holds a testcase per case" {
	cd "$BATS_FILE_TMPDIR/marks/broken"
	run python3 -c 'import json, sys; r = json.load(open("results.json")); t = r["tests"]
print(r["score"], len(t), sum(c["score"] for c in t), sorted({(c["status"], c["max_score"]) for c in t}))'
	assert_output "6 12 6 [('failed', 1), ('passed', 1)]"
	run python3 -c 'import xml.etree.ElementTree as x; print(len(x.parse("junit.xml").findall(".//testcase")), len(x.parse("junit.xml").findall(".//failure")))'
	assert_output "12 6"
}

@test "from the zip teaching.md makes, in Gradescope's layout, run_autograder writes results.json there" {
	run python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); print(r["score"], len(r["tests"]))' \
		"$BATS_FILE_TMPDIR/autograder/results/results.json"
	assert_output "11 11"
}

@test "the grader fails, saying why, when it cannot grade" {
	run --separate-stderr "$BATS_TEST_DIRNAME/grade" --out "$BATS_TEST_TMPDIR/marks" "$BATS_TEST_TMPDIR/none"
	assert_equal "$status" 2
	assert_equal "$stderr" "grade: no such folder: $BATS_TEST_TMPDIR/none"
}
