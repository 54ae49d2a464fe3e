# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The grader's numbers and the programs it grades, each written once.

grade/grade reads them all.  confine is built with those of its part, by the
names given here: a line NAME = NUMBER, which grade/CMakeLists.txt reads too.
"""

PROGRAMS = ("dirview", "spawnwait", "spawnlinger")

# What a program under test and all it starts may use.  confine has the
# kernel hold each of its processes to these, in a user namespace of their
# own, where the processes are counted all together:
PROCESSES = 4  # processes and threads at once, all told
CPU_SECONDS = 1  # of CPU time each: then SIGXCPU, and a second later SIGKILL
MEMORY_MIB = 64  # of address space each
DESCRIPTORS = 16  # open at once, each
FILE_MIB = 1  # the largest file each may write
NICE = 10  # steps below the suite's share of the processors
# The grader counts these for all of them together, from /proc, and ends
# them all once past them; and ends them all when their case ends.
CPU_ALL_SECONDS = 2
OUTPUT_MIB = 4  # written, to any file or pipe
POLL_SECONDS = 0.2  # between two readings

# Seconds bats may go without a word, by suite: from its start, or a case's
# result, to the next case's start, and from that to its result; the
# lifetime suite's setup follows an orphan for 100 seconds.  Past them, the
# case running fails, and the cases after it run in two new sandboxes, side
# by side.
CASE_SECONDS = {"dirview": 10, "spawnwait": 10, "spawnlinger": 20, "spawnlinger-lifetime": 150}
# The suites that mostly sleep, which run beside the pool of --jobs, not in it.
WAITING = ("spawnwait", "spawnlinger", "spawnlinger-lifetime")
BUILD_SECONDS = 120
SOURCE_KIB = 256  # the largest source file a program may have
KEPT_KIB = 64  # of what a case or a build printed, in its report

# Each build and each suite's run is a sandbox, held to these:
SANDBOX_PROCESSES = 128
SANDBOX_MEMORY_MIB = 1024  # of address space each, the compiler's included
SANDBOX_CPU_SECONDS = 600  # each
SANDBOX_FILE_MIB = 64
SANDBOX_TMP_MIB = 256  # of its private /tmp
