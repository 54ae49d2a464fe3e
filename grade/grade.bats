#!/usr/bin/env bats
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

bats_require_minimum_version 1.5.0
bats_load_library bats-support
bats_load_library bats-assert

# Three gradings serve the cases, side by side: a class of this project's
# own programs, in which each submission but the first swaps one program
# for a hostile one, on few cases each; the attacks of a dirview alone, on
# two cases; and, niced, a program that runs out of time, on one case.
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
	hostile dirview writer "int main(void) {
		const char *paths[] = {\"$PWD/class/escaped\", \"$PWD/teacher's home/escaped\", \"/tmp/escaped\", \"$PWD/marks/escaped\"};
		for (int i = 0; i < 4; i++) if (creat(paths[i], 0644) == -1) perror(paths[i]); }"
	hostile dirview reader "int main(void) { char line[4096]; FILE *f = fopen(\"$PWD/class/good/dirview.cpp\", \"r\");
		if (!f) perror(\"neighbour\"); else while (fgets(line, sizeof line, f)) fputs(line, stdout); }"
	hostile spawnwait killer 'int main(void) { kill(-1, SIGKILL); }'
	hostile spawnwait caller "int main(void) { int s = socket(AF_INET, SOCK_STREAM, 0);
		struct sockaddr_in to = {AF_INET, htons($(cut -d' ' -f1 <listener)), {htonl(INADDR_LOOPBACK)}};
		if (connect(s, (struct sockaddr *)&to, sizeof to)) perror(\"connect\"); }"
	hostile spawnlinger daemon 'int main(void) { // a stopped child, and a grandchild in a session of its own
			prctl(PR_SET_NAME, "sysdemos-daemon"); puts("daemon started"); fflush(stdout); close(1); close(2);
			if (fork() == 0) raise(SIGSTOP); else if (fork() == 0 && setsid() && fork() == 0) for (;;) pause(); }'
	mkdir broken && cp class/good/spawnwait.cpp broken && echo 'int main( {' >broken/spawnlinger.c
	hostile dirview sleeper 'int main(void) { prctl(PR_SET_NAME, "sysdemos-sleep"); for (;;) pause(); }'
	# A pass forged for the next case, then a flood that ends the shell of
	# its case before bats reports it.
	hostile dirview forged 'int main(void) { printf("\rok 2 a missing path is refused\n"); for (int i = 0; i < 6 << 20; i++) putchar(10); }'
	# Right only where it can tell it is graded.
	hostile dirview casey '#include <dirent.h>
		int main(int argc, char **argv) { char here[1000]; if (!getenv("BATS_TEST_NUMBER")) return 0;
			const char *path = argc == 2 ? argv[1] : getcwd(here, sizeof here); DIR *dir = opendir(path);
			if (!dir) { perror("blad opendir"); return 0; } printf("Dir: %s\n", path);
			for (struct dirent *entry; (entry = readdir(dir));) printf(" %s\n", entry->d_name); }'
	hostile dirview hoarder 'int main(void) { // processes that each hold memory that no limit of theirs counts
			for (int i = 0; i < 3; i++) if (fork() == 0) { int fd = memfd_create("hoard", 0);
				if (fd == -1 || fallocate(fd, 1, 0, 1L << 30) == -1) perror("memfd_create"); close(1); close(2); pause(); } }'
	hostile dirview chain 'int main(void) { for (;;) if (fork() == 0) for (;;) continue; else wait(NULL); }'
	hostile dirview escapes '#pragma message "\033[2J\033[32mthe build passed"
		int main(void) { puts("\033[2J\033[32mpassed every case"); }'
	hostile dirview includer "#include \"$PWD/class/good/dirview.cpp\""
	hostile dirview oomed 'int main(void) { FILE *f = fopen("/proc/self/oom_score_adj", "r"); int n; fscanf(f, "%d", &n); printf("oom_score_adj %d\n", n); }'
	hostile dirview lingerer '#include <dirent.h>
		int main(void) { // counts those of its kind, itself and any that a case before left behind
			int n = 0; DIR *proc = opendir("/proc"); prctl(PR_SET_NAME, "sysdemos-linger"); sleep(1);
			for (struct dirent *entry; (entry = readdir(proc));) { char path[300], name[32] = ""; FILE *comm;
				snprintf(path, sizeof path, "/proc/%d/comm", atoi(entry->d_name));
				if ((comm = fopen(path, "r"))) { n += fgets(name, sizeof name, comm) && !strcmp(name, "sysdemos-linger\n"); fclose(comm); } }
			printf("%d of its kind\n", n); fflush(stdout); if (fork() == 0) { close(1); close(2); pause(); } }'
	# The autograder's zip, as teaching.md makes it, unpacked in Gradescope's
	# layout, with a correct submission.
	mkdir -p autograder/{source,submission,results} && cp class/good/*.cpp autograder/submission
	git -C "$root" archive --format=zip --add-file=grade/setup.sh --add-file=grade/run_autograder -o "$PWD/autograder.zip" HEAD
	python3 -m zipfile -e autograder.zip autograder/source && cp autograder/source/run_autograder autograder
	bwrap --dev-bind / / --tmpfs /tmp --bind autograder /autograder --die-with-parent sh /autograder/run_autograder \
		--leave-out '^spawnlinger' --leave-out '^dirview: .*(order|names|argument|path longer|working directory|read error|write|lost|inode)' >gradescope.log 2>&1 &
	local gradescope=$!
	SECONDS=0
	"$root/grade/grade" --out marks --jobs 4 --leave-out '^spawnlinger-lifetime:' --leave-out '^spawnwait: on a terminal' \
		--leave-out '^dirview: .*(order|names|argument|path longer|working directory|read error|write|lost|inode|regular)' \
		class/good class/{forger,writer,reader,killer,caller,daemon} broken >graded 2>&1 &
	local graded=$!
	"$root/grade/grade" --out attacked --leave-out '^(?!dirview: (an empty directory|a missing path))' \
		class/{good,forged,casey,hoarder,chain,escapes,includer,oomed,lingerer} >attacked.log 2>&1 &
	local attacked=$!
	nice -n 15 "$root/grade/grade" --out slept --leave-out '^(?!dirview: an empty directory)' class/sleeper >slept.log 2>&1
	wait "$attacked"
	wait "$graded" && echo "$SECONDS" >seconds && wait "$gradescope"
}

teardown_file() {
	kill "$(cat "$BATS_FILE_TMPDIR/listener.pid")"
}

# Writes a submission named $2: this project's programs, with program $1
# swapped for the C program $3, given the headers it may need.
hostile() {
	mkdir "class/$2" && cp class/good/*.cpp "class/$2" && rm "class/$2/$1.cpp"
	{ echo '#define _GNU_SOURCE' && printf '#include <%s>\n' fcntl.h glob.h signal.h stdio.h stdlib.h string.h unistd.h \
		arpa/inet.h netinet/in.h sys/mman.h sys/prctl.h sys/socket.h sys/wait.h; } >"class/$2/$1.c"
	echo "$3" >>"class/$2/$1.c"
}

@test "each hostile program fails its own cases and costs its submission no other, a correct one passes all" {
	assert_equal "$(cat "$BATS_FILE_TMPDIR/marks/grades.csv")" "submission,passed,total,dirview,spawnwait,spawnlinger
good,12,12,2/2,6/6,4/4
forger,10,12,0/2,6/6,4/4
writer,10,12,0/2,6/6,4/4
reader,10,12,0/2,6/6,4/4
killer,7,12,2/2,1/6,4/4
caller,6,12,2/2,0/6,4/4
daemon,8,12,2/2,6/6,0/4
broken,6,12,0/2,6/6,0/4"
	# Each fails for what it does when it runs, not for a build the compiler refused.
	run grep -l "did not build" "$BATS_FILE_TMPDIR"/{marks,slept}/*/report.txt
	assert_output "$BATS_FILE_TMPDIR/marks/broken/report.txt"
}

@test "a class of eight, a hostile seven among them, is graded within two minutes and a half" {
	assert [ "$(cat "$BATS_FILE_TMPDIR/seconds")" -lt 150 ]
}

@test "a submission can write nowhere outside, nor read a neighbour's files, nor reach the loopback" {
	cd "$BATS_FILE_TMPDIR"
	assert_equal "$(find class "teacher's home" marks -name escaped)" ""
	assert grep -q "class/escaped: Read-only file system\|class/escaped: No such file or directory" marks/writer/report.txt
	assert grep -q "neighbour: No such file or directory" marks/reader/report.txt
	assert grep -q "connect: Connection refused" marks/caller/report.txt
	assert_equal "$(sed -n 2p listener)" ""
}

@test "nothing a submission started outlives its grading, though it left its group and stopped" {
	assert grep -q "daemon started" "$BATS_FILE_TMPDIR/marks/daemon/report.txt"
	run pgrep -x sysdemos-daemon
	assert_failure 1
}

@test "a case that runs past its time fails, saying so, though the grader runs niced" {
	assert_equal "$(sed -n 2p "$BATS_FILE_TMPDIR/slept/grades.csv")" "sleeper,0,1,0/1,0/0,0/0"
	assert grep -q "ran past its 10 seconds" "$BATS_FILE_TMPDIR/slept/sleeper/report.txt"
}

@test "each attack of a dirview fails its cases and costs its submission nothing else" {
	assert_equal "$(cat "$BATS_FILE_TMPDIR/attacked/grades.csv")" "submission,passed,total,dirview,spawnwait,spawnlinger
good,2,2,2/2,0/0,0/0
forged,0,2,0/2,0/0,0/0
casey,0,2,0/2,0/0,0/0
hoarder,0,2,0/2,0/0,0/0
chain,0,2,0/2,0/0,0/0
escapes,0,2,0/2,0/0,0/0
includer,0,2,0/2,0/0,0/0
oomed,0,2,0/2,0/0,0/0
lingerer,0,2,0/2,0/0,0/0"
}

@test "memory that no limit counts is refused, and processes that replace each other are held to 2 s of CPU time all told" {
	cd "$BATS_FILE_TMPDIR/attacked"
	assert grep -q "memfd_create: Operation not permitted" hoarder/report.txt
	assert grep -q "its processes used [0-9.]* s of CPU time all told, past the 2 s they may, and were ended" chain/report.txt
}

@test "what a program or its build prints is shown in the report, never sent raw" {
	report=$BATS_FILE_TMPDIR/attacked/escapes/report.txt
	refute grep -q $'\x1b' "$report"
	assert grep -qF '\x1b[2J\x1b[32mpassed every case' "$report"
	assert grep -qF '\x1b[2J\x1b[32mthe build passed' "$report"
}

@test "a build sees nothing of another submission" {
	cd "$BATS_FILE_TMPDIR"
	assert grep -q "class/good/dirview.cpp: No such file or directory" attacked/includer/report.txt
	refute grep -rq "the neighbour's secret" attacked marks
}

@test "what a program starts ends with its case" {
	# The second case's program counts itself alone, not the first's child.
	assert grep -q "output : 1 of its kind" "$BATS_FILE_TMPDIR/attacked/lingerer/report.txt"
}

@test "the kernel's OOM killer takes a program before the grader" {
	assert grep -q "oom_score_adj 1000" "$BATS_FILE_TMPDIR/attacked/oomed/report.txt"
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

# Ends a grading a case started and left running, as a failed case does.
teardown() {
	[[ -z ${grading-} ]] || { kill -KILL "$grading" && wait "$grading"; } 2>/dev/null || :
}

# Starts grading a correct submission on one case, then the sleeper, in the
# background, as from a terminal, where Ctrl-C is SIGINT; sets grading to
# the grader's id and work to its work folder, as the sleeper's sandbox's
# command line names it, once the sleeper runs.
grade_then_sleep() {
	cd "$BATS_FILE_TMPDIR"
	env --default-signal=INT "$BATS_TEST_DIRNAME/grade" --out "$BATS_TEST_TMPDIR/marks" --jobs 1 \
		--leave-out '^(?!dirview: an empty directory)' class/good class/sleeper 2>"$BATS_TEST_TMPDIR/said" 3>&- &
	grading=$!
	until pgrep -x sysdemos-sleep >/dev/null; do sleep 0.1; done
	work=$(for child in $(pgrep -P "$grading"); do tr '\0' '\n' <"/proc/$child/cmdline"; done 2>/dev/null | sed -n 's|/grader$||p' | sed -n 1p)
}

@test "while a class is graded, no other user can read its work folder" {
	grade_then_sleep
	if ((EUID)); then
		run stat -c %a "$work"
		assert_output 700
	else
		run setpriv --reuid=65534 --regid=65534 --clear-groups cat "$work/1/dirview.c"
		assert_failure
		assert_output --partial "Permission denied"
	fi
}

@test "the grader killed, nothing of the class is left behind, and what it graded stays" {
	grade_then_sleep
	kill -KILL "$grading" && { wait "$grading" || :; } 2>/dev/null
	for ((tries = 0; tries < 50; tries++)); do [[ -e $work ]] || break; sleep 0.1; done
	refute [ -e "$work" ]
	refute pgrep -x sysdemos-sleep
	assert_equal "$(sed -n 2p "$BATS_TEST_TMPDIR/marks/grades.csv")" "good,1,1,1/1,0/0,0/0"
	assert [ -s "$BATS_TEST_TMPDIR/marks/good/report.txt" ]
}

@test "Ctrl-C stops the grader, saying how far it got, and writes no report of the submission it stopped in" {
	grade_then_sleep
	kill -INT "$grading"
	status=0 && wait "$grading" || status=$?
	assert_equal "$status" 130
	assert_equal "$(tail -n 1 "$BATS_TEST_TMPDIR/said")" "grade: interrupted, 1 of 2 graded, whose marks are in $BATS_TEST_TMPDIR/marks"
	assert_equal "$(cat "$BATS_TEST_TMPDIR/marks/grades.csv")" "submission,passed,total,dirview,spawnwait,spawnlinger
good,1,1,1/1,0/0,0/0"
	refute [ -e "$BATS_TEST_TMPDIR/marks/sleeper" ]
}
