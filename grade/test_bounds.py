# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The bounds a program under test is held to, each by a program that tries
to break it: confine's, which the kernel holds, and those the grader counts
for all a program starts.  Run from the checkout:
python3 -m unittest discover -s grade"""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True
import bounds  # noqa: E402
import build  # noqa: E402
import domains  # noqa: E402

HEADERS = "".join(f"#include <{header}>\n" for header in (
    "errno.h", "fcntl.h", "sched.h", "signal.h", "stdio.h", "stdlib.h", "string.h", "unistd.h",
    "sys/mman.h", "sys/prctl.h", "sys/resource.h", "sys/shm.h", "sys/syscall.h", "sys/wait.h"))


class Harness(unittest.TestCase):
    # The kernel exempts root's processes from RLIMIT_NPROC: as root, the
    # programs run as nobody, as the grader's do.
    AS = () if os.geteuid() else ("setpriv", "--reuid=65534", "--regid=65534", "--clear-groups")

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        os.chmod(cls.folder.name, 0o755)
        cls.program = os.path.join(cls.folder.name, "program")
        cls.confine = os.path.join(cls.folder.name, "confine")
        assert build.confine(cls.program, cls.confine).wait() == 0

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def run_confined(self, source, wrapper=(), env=None, domains=None):
        """Builds the C program source and runs it through confine, with
        an announcement socket, as case 7; returns its exit status, what it
        printed, and what it announced: the case and the namespace's inode."""
        with open(self.program + ".c", "w") as file:
            file.write("#define _GNU_SOURCE\n" + HEADERS + source)
        subprocess.run(["gcc", "-o", self.program, self.program + ".c"], check=True)
        grader, end = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        env = {"CONFINE_FD": str(end.fileno()), "BATS_TEST_NUMBER": "7", "BATS_TEST_NAME": "test_7", **(env or {})}
        process = subprocess.Popen([*self.AS, *wrapper, self.confine], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   pass_fds=(end.fileno(),), env=env, cwd=self.folder.name)
        end.close()
        announced, inode = b"", None
        message, rights, _, _ = grader.recvmsg(64, socket.CMSG_SPACE(4))
        if rights:
            ns = int.from_bytes(rights[0][2][:4], sys.byteorder)
            announced, inode = message, os.fstat(ns).st_ino
            if domains:
                domains.add(ns, self, 7)
            else:
                os.close(ns)
        output = process.communicate(timeout=60)[0].decode()
        grader.close()
        return process.returncode, output, (announced, inode)


class Confined(Harness):
    """The bounds confine has the kernel hold each process to."""

    def test_processes(self):
        """A program and all it starts are held to 4 processes at once."""
        _, output, _ = self.run_confined("""int main(void) {
            pid_t children[100]; int n = 0; pid_t child = 1;
            while (n < 100 && (child = fork()) > 0) children[n++] = child;
            if (child == 0) pause();
            printf("forked %d, then %m\\n", n); fflush(stdout); while (n--) kill(children[n], SIGKILL); }""")
        self.assertEqual(output, f"forked {bounds.PROCESSES - 1}, then Resource temporarily unavailable\n")

    def test_cpu(self):
        """Each process is held to 1 s of CPU time, then SIGXCPU."""
        status, _, _ = self.run_confined("int main(void) { for (;;) continue; }")
        self.assertEqual(status, -signal.SIGXCPU)

    def test_memory(self):
        """Each process is held to 64 MiB of address space."""
        _, output, _ = self.run_confined(f"""int main(void) {{
            if (!malloc({bounds.MEMORY_MIB} << 20)) perror("malloc"); }}""")
        self.assertEqual(output, "malloc: Cannot allocate memory\n")

    def test_memory_no_limit_counts(self):
        """The memory that no limit counts is refused: memfds, System V's
        shared memory, fallocate and larger pipes."""
        _, output, _ = self.run_confined("""int main(void) {
            int pipes[2]; pipe(pipes);
            if (memfd_create("hoard", 0) == -1) perror("memfd_create");
            if (shmget(IPC_PRIVATE, 1 << 20, IPC_CREAT | 0600) == -1) perror("shmget");
            if (fallocate(1, FALLOC_FL_KEEP_SIZE, 0, 1 << 30) == -1) perror("fallocate");
            if (fcntl(pipes[0], F_SETPIPE_SZ, 1 << 20) == -1) perror("F_SETPIPE_SZ"); }""")
        self.assertEqual(output, "".join(f"{call}: Operation not permitted\n"
                                         for call in ("memfd_create", "shmget", "fallocate", "F_SETPIPE_SZ")))

    def test_namespaces(self):
        """No new namespace can be made: none of its processes leaves the
        user namespace the grader counts."""
        _, output, _ = self.run_confined("""int main(void) {
            if (unshare(CLONE_NEWUSER) == -1) perror("unshare");
            if (syscall(SYS_clone, CLONE_NEWUSER | SIGCHLD, 0, 0, 0, 0) == -1) perror("clone");
            if (syscall(SYS_clone3, 0, 0) == -1) perror("clone3"); }""")
        self.assertEqual(output, "unshare: Operation not permitted\nclone: Operation not permitted\n"
                                 "clone3: Function not implemented\n")

    @unittest.skipUnless(os.uname().machine == "x86_64", "the 32-bit ABI of x86_64")
    def test_other_abi(self):
        """A call through another ABI, whose numbers mean other calls, is
        refused."""
        _, output, _ = self.run_confined("""int main(void) {
            long result; __asm__ volatile ("int $0x80" : "=a"(result) : "a"(20) : "memory");
            printf("%ld\\n", result); }""")
        self.assertEqual(output, f"{-38}\n")  # -ENOSYS

    def test_descriptors(self):
        """Each process is held to 16 descriptors, and has none above 2."""
        _, output, _ = self.run_confined("""int main(void) {
            int open_above = 0, more = 0;
            for (int fd = 3; fd < 64; fd++) open_above += fcntl(fd, F_GETFD) != -1;
            while (open("/dev/null", O_RDONLY) != -1) more++;
            printf("%d open above 2, %d more, then %m\\n", open_above, more); }""")
        self.assertEqual(output, f"0 open above 2, {bounds.DESCRIPTORS - 3} more, then Too many open files\n")

    def test_file_size(self):
        """Each process is held to files of 1 MiB."""
        written = os.path.join(self.folder.name, "written")
        os.close(os.open(written, os.O_CREAT | os.O_WRONLY, 0o666))
        os.chmod(written, 0o666)
        status, _, _ = self.run_confined(f"""int main(void) {{
            static char block[1 << 16]; for (int i = 0; i <= {bounds.FILE_MIB} << 4; i++) fwrite(block, 1, sizeof block, stdout); }}""",
                                         wrapper=("sh", "-c", f'exec "$0" >{written}'))
        self.assertEqual(status, -signal.SIGXFSZ)

    def test_landlock(self):
        """It can write no file outside /dev, nor reach the descriptors of a
        process outside: here, a shell of its own user's, in a folder open
        to all."""
        writable = os.path.join(self.folder.name, "writable")
        os.mkdir(writable)
        os.chmod(writable, 0o777)
        _, output, _ = self.run_confined(f"""int main(void) {{
            char path[64]; snprintf(path, sizeof path, "/proc/%d/fd/1", getppid());
            if (creat("{writable}/escaped", 0644) == -1) perror("creat");
            if (open(path, O_WRONLY) == -1) perror("/proc/PPID/fd/1"); }}""", wrapper=("sh", "-c", '"$0"; :'))
        self.assertEqual(output, "creat: Permission denied\n/proc/PPID/fd/1: Permission denied\n")

    def test_environment(self):
        """Its environment names no case."""
        _, output, _ = self.run_confined("""extern char **environ;
            int main(void) { for (char **variable = environ; *variable; variable++) puts(*variable); }""")
        self.assertEqual(output, "PATH=/usr/bin:/bin\nLC_ALL=C\n")

    def test_nice(self):
        """It runs 10 steps below its caller, however niced, 19 at most."""
        source = 'int main(void) { printf("%d\\n", getpriority(PRIO_PROCESS, 0)); }'
        self.assertEqual(self.run_confined(source)[1], f"{bounds.NICE}\n")
        self.assertEqual(self.run_confined(source, wrapper=("nice", "-n", "15"))[1], "19\n")

    def test_announcement(self):
        """It announces its case and its user namespace to the grader, and
        runs nothing without one."""
        _, output, (announced, inode) = self.run_confined(
            'int main(void) { char ns[64]; ns[readlink("/proc/self/ns/user", ns, sizeof ns - 1)] = 0; puts(ns); }')
        self.assertEqual((announced, output), (b"7\n", f"user:[{inode}]\n"))
        alone = subprocess.run([self.confine], capture_output=True, text=True)
        self.assertEqual((alone.returncode, alone.stderr), (126, "confine: no grader to announce the program to on CONFINE_FD\n"))


class Counted(Harness):
    """The bounds the grader counts for all a program starts together."""

    def run_counted(self, source):
        counted = domains.Domains()
        status, output, _ = self.run_confined(source, domains=counted)
        return status, output, counted.close(self, 7)

    def test_cpu_all_told(self):
        """Its processes, each replaced as it runs out of CPU time, are ended
        once they have used 2 s all told."""
        status, _, whys = self.run_counted("""int main(void) {
            for (;;) if (fork() == 0) for (;;) continue; else wait(NULL); }""")
        used = float(whys[0].split()[3])
        self.assertEqual(status, -signal.SIGKILL)
        self.assertRegex(whys[0], f"^its processes used [0-9.]+ s of CPU time all told, past the {bounds.CPU_ALL_SECONDS} s")
        self.assertLess(used, bounds.CPU_ALL_SECONDS + 1)

    def test_output_all_told(self):
        """Its processes are ended once they have written 4 MiB all told."""
        status, _, whys = self.run_counted("""int main(void) {
            static char block[1 << 16]; int null = open("/dev/null", O_WRONLY);
            fork(); for (;;) write(null, block, sizeof block); }""")
        self.assertEqual(status, -signal.SIGKILL)
        self.assertRegex(whys[0], f"^its processes wrote [0-9]+ MiB all told, past the {bounds.OUTPUT_MIB} MiB")

    def test_case_end(self):
        """When its case ends, all it started ends, though it left its
        session and stopped."""
        counted = domains.Domains()
        self.run_confined("""int main(void) {
            prctl(PR_SET_NAME, "sysdemos-left"); close(1); close(2);
            if (fork() == 0) raise(SIGSTOP); else if (fork() == 0 && setsid() && fork() == 0) for (;;) pause(); }""",
                          domains=counted)
        running = ["pgrep", "--runstates", "RSDT", "-x", "sysdemos-left"]
        for _ in range(50):  # the grandchild comes after its parent's setsid
            left = subprocess.run(running, capture_output=True, text=True).stdout.split()
            if len(left) == 2:
                break
            time.sleep(0.1)
        counted.close(self, 7)
        self.assertEqual(len(left), 2)
        self.assertEqual(subprocess.run(running).returncode, 1)

