# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The sandbox that each build and each suite's run is made in.

bubblewrap gives it its own user, PID, mount, IPC, UTS and network
namespaces and a session of its own; the system read-only, a private /tmp,
the grader's files read-only at /grader and one submission's folder at
/submission, and nothing else of the machine; and whatever it starts ends
with it, or with the grader.  prlimit holds it to the SANDBOX_ bounds.  The
kernel's OOM killer takes its processes before any other, and a terminal's
Ctrl-C reaches the grader alone.  As root, it runs as an id of the
grading's own.

On the socket that CONFINE_FD names, confine announces the programs it
runs, and the command's shell, once the command has ended, tells the CPU
time of all it waited for, as the shell's times prints it.
"""

import grp
import os
import pwd
import random
import re
import select
import socket
import subprocess
import time

import bounds

MIB = 1 << 20
# What the shell around the command prints: its own CPU time, then that of
# the processes it waited for, user and system, as "0m0.000000s 0m0.000000s".
TIMES = re.compile(rb"(\d+)m([\d.]+)s (\d+)m([\d.]+)s")


def system():
    """The system read-only, as this machine lays it out: /bin and /lib
    are links into /usr on Debian 12 and later, folders before."""
    binds = ["--ro-bind", "/usr", "/usr", "--ro-bind", "/etc", "/etc"]
    for top in ("/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32"):
        if os.path.islink(top):
            binds += ["--symlink", os.readlink(top), top]
        elif os.path.isdir(top):
            binds += ["--ro-bind", top, top]
    return binds


SYSTEM = system()
AS = {}  # as root, the user and group of the grading's own that run the sandboxes


def own_id():
    """An id that no user, group or process of this machine has, which
    sandboxes run as, as root: the kernel exempts root's processes from
    RLIMIT_NPROC, in every namespace; nobody is many programs' user."""
    taken = {user.pw_uid for user in pwd.getpwall()} | {group.gr_gid for group in grp.getgrall()}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/status") as status:
                taken |= {int(id) for line in status if line.startswith(("Uid:", "Gid:")) for id in line.split()[1:]}
        except OSError:
            continue
    while True:
        chosen = random.randrange(1 << 30, 1 << 31)
        if chosen not in taken:
            AS.update(user=chosen, group=chosen, extra_groups=[])
            return chosen


def start(grader, folder, writable, command, env=()):
    """Starts command in a sandbox, in /submission, which is folder; returns
    the process, the reading end of a pipe of what it prints, on standard
    output and error, and the socket of CONFINE_FD."""
    output, output_end = os.pipe()
    report, report_end = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    argv = ["choom", "-n", "1000", "--", "bwrap", "--unshare-all", "--unshare-user", "--uid", "1000", "--gid", "1000",
            "--die-with-parent", "--new-session", *SYSTEM, "--proc", "/proc", "--dev", "/dev",
            "--size", str(bounds.SANDBOX_TMP_MIB * MIB), "--tmpfs", "/tmp",
            "--ro-bind", grader, "/grader", "--bind" if writable else "--ro-bind", folder, "/submission",
            "--chdir", "/submission", "--clearenv", "--setenv", "PATH", "/usr/bin:/bin", "--setenv", "HOME", "/tmp",
            "--setenv", "LC_ALL", "C.UTF-8", "--setenv", "CONFINE_FD", str(report_end.fileno())]
    for variable in env:
        argv += ["--setenv", *variable.split("=", 1)]
    argv += [*limited(bounds.SANDBOX_PROCESSES), *command]
    try:
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=output_end, stderr=output_end,
                                   pass_fds=(report_end.fileno(),), start_new_session=True, **AS)
    finally:
        os.close(output_end)
        report_end.close()
    return process, output, report


def limited(processes):
    """The words that run a command within the SANDBOX_ bounds and this
    many processes, in a shell that then tells its CPU time."""
    return ["prlimit", f"--nproc={processes}", f"--as={bounds.SANDBOX_MEMORY_MIB * MIB}",
            f"--cpu={bounds.SANDBOX_CPU_SECONDS}", f"--fsize={bounds.SANDBOX_FILE_MIB * MIB}", "--core=0", "--",
            "bash", "-c", '"$@"; status=$?; times >&"$CONFINE_FD"; exit "$status"', "bash"]


def run(grader, folder, writable, command, seconds, keep):
    """Runs command in a sandbox for seconds at most; returns its exit
    status (None if it ran past them), the first keep bytes it printed,
    saying how many more were cut, and its CPU time."""
    process, output, report = start(grader, folder, writable, command)
    kept, cut, deadline = bytearray(), 0, time.monotonic() + seconds
    try:
        while True:
            left = deadline - time.monotonic()
            if left <= 0 or not wait_readable(output, left):
                process.kill()
                process.wait()
                return None, noted(kept, cut), 0.0
            data = os.read(output, 1 << 16)
            if not data:
                break
            room = max(0, keep - len(kept))
            kept += data[:room]
            cut += len(data) - len(data[:room])
        process.wait()
        told = b""
        while message := report.recv(1 << 12):
            told += message
        return process.returncode, noted(kept, cut), cpu(told)
    finally:
        os.close(output)
        report.close()


def noted(kept, cut):
    """What was kept of what a command printed, saying how much was cut."""
    if not cut:
        return bytes(kept)
    return bytes(kept) + (b"" if kept.endswith(b"\n") else b"\n") + f"[{cut} bytes more, cut]\n".encode()


def wait_readable(fd, seconds):
    return bool(select.select([fd], [], [], seconds)[0])


def cpu(report):
    """The CPU time in seconds of what the command's shell waited for."""
    spent = TIMES.findall(report)
    return float(spent[-1][0]) * 60 + float(spent[-1][1]) + float(spent[-1][2]) * 60 + float(spent[-1][3]) if spent else 0.0
