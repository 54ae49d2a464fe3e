# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The bounds that hold for all a program under test starts together.

confine runs each program in a user namespace of its own, which all the
program starts shares and none can leave, and announces it: bats's number
for the case running, and a descriptor of the namespace, a domain here,
which is held until the domain is done, so that its inode names no other.  Every
POLL_SECONDS the grader reads the domains' processes from /proc, adds up the
CPU time and the output of each, dead processes included as last seen, and
ends every process of a domain past CPU_ALL_SECONDS or OUTPUT_MIB.  When a
case ends, its domains end with it; those announced outside a case end with
their sandbox.
"""

import os
import signal
import threading
import time

import bounds

TICKS = os.sysconf("SC_CLK_TCK")


class Domains:
    def __init__(self):
        self.lock = threading.Lock()
        self.known = {}  # inode: [run, case, {(pid, start): (ticks, written)}, descriptor]
        self.whys = {}  # (run, case): why its domains were ended
        self.watcher = None

    def add(self, descriptor, run, case):
        with self.lock:
            self.known[os.fstat(descriptor).st_ino] = [run, case, {}, descriptor]
            if not self.watcher:
                self.watcher = threading.Thread(target=self.watch, daemon=True)
                self.watcher.start()

    def close(self, run, case=None):
        """Ends the domains of a run's case, or of all its cases; says why
        any was ended before, past its bounds."""
        with self.lock:
            ended = [inode for inode, (r, c, _, _) in self.known.items() if r is run and case in (None, c)]
            ended = [(inode, self.known.pop(inode)[3]) for inode in ended]
            whys = [why for (r, c), why in self.whys.items() if r is run and case in (None, c)]
            self.whys = {key: why for key, why in self.whys.items() if key[0] is not run or case not in (None, key[1])}
        for inode, descriptor in ended:
            end(inode)
            os.close(descriptor)
        return whys

    def watch(self):
        while True:
            time.sleep(bounds.POLL_SECONDS)
            with self.lock:
                inodes = set(self.known)
            for inode, pids in members(inodes).items():
                for pid in pids:
                    self.count(inode, pid)

    def count(self, inode, pid):
        try:
            fields = stat(pid)
            with open(f"/proc/{pid}/io", "rb") as file:
                written = int(file.read().split(b"wchar:")[1].split()[0])
        except (OSError, IndexError):
            return
        ticks = sum(int(field) for field in fields[11:15])
        with self.lock:
            domain = self.known.get(inode)
            if not domain:
                return
            run, case, used, descriptor = domain
            used[pid, fields[19]] = ticks, written
            cpu = sum(spent for spent, _ in used.values()) / TICKS
            output = sum(wrote for _, wrote in used.values())
            if cpu > bounds.CPU_ALL_SECONDS:
                why = f"its processes used {cpu:.1f} s of CPU time all told, past the {bounds.CPU_ALL_SECONDS} s they may, and were ended"
            elif output > bounds.OUTPUT_MIB << 20:
                why = f"its processes wrote {output >> 20} MiB all told, past the {bounds.OUTPUT_MIB} MiB they may, and were ended"
            else:
                return
            del self.known[inode]
            self.whys[run, case] = why
        end(inode)
        os.close(descriptor)


def stat(pid):
    """The fields of /proc/PID/stat after the command's name, which may hold
    blanks and ")": the state first, then the parent's id."""
    with open(f"/proc/{pid}/stat", "rb") as file:
        return file.read().rpartition(b")")[2].split()


def members(inodes):
    """The ids of the processes of each domain of inodes, but those that
    have ended and wait to be collected."""
    found = {}
    if not inodes:
        return found
    for name in os.listdir("/proc"):
        try:
            inode = int(os.readlink(f"/proc/{name}/ns/user")[6:-1])
            if inode in inodes:
                if stat(name)[0] not in (b"Z", b"X"):
                    found.setdefault(inode, []).append(int(name))
        except (OSError, ValueError, IndexError):
            continue
    return found


def end(inode):
    """Kills every process of a domain, until none is left: through a pidfd,
    so that an id passed on to another process is never signalled."""
    for _ in range(1000):
        pids = members({inode}).get(inode)
        if not pids:
            return
        for pid in pids:
            try:
                pidfd = os.pidfd_open(pid)
            except OSError:
                continue
            try:
                if os.readlink(f"/proc/{pid}/ns/user") == f"user:[{inode}]":
                    signal.pidfd_send_signal(pidfd, signal.SIGKILL)
            except OSError:
                pass
            finally:
                os.close(pidfd)
        time.sleep(0.01)
