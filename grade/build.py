# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
"""The build: each program of a submission compiled in a sandbox of its
own, by the command its report names."""

import errno
import os
import re
import stat
import subprocess

import bounds
import sandbox

# C in GNU's dialect, where the C library declares POSIX's functions, as it
# always does for g++; strict C17 hides kill and dprintf, which GCC 14 then
# refuses.
COMPILERS = {".cpp": ("g++", "-std=c++17", "-O2", "-Wall", "-Wextra"),
             ".c": ("gcc", "-std=gnu17", "-O2", "-Wall", "-Wextra")}


def take(submission, program, folder):
    """Copies the source of a program from the folder submission into
    folder, never through a link, and returns its name; or None and why."""
    for suffix in COMPILERS:
        name = program + suffix
        try:
            fd = os.open(os.path.join(submission, name), os.O_RDONLY | os.O_NOFOLLOW | os.O_NONBLOCK)
        except FileNotFoundError:
            continue
        except OSError as error:
            return None, f"{name} is a symbolic link" if error.errno == errno.ELOOP else f"{name}: {error.strerror}"
        with os.fdopen(fd, "rb") as source:
            if not stat.S_ISREG(os.fstat(fd).st_mode):
                return None, f"{name} is not a regular file"
            text = source.read(bounds.SOURCE_KIB * 1024 + 1)
        if len(text) > bounds.SOURCE_KIB * 1024:
            return None, f"{name} is larger than {bounds.SOURCE_KIB} KiB"
        with open(os.path.join(folder, name), "wb") as copy:
            copy.write(text)
        return name, None
    return None, f"no {program}.cpp nor {program}.c in the submission"


def build(grader, folder, program, source):
    """Compiles source into program in folder; returns the command, what
    the compiler printed, whether it built, and the CPU time it took."""
    command = [*COMPILERS[os.path.splitext(source)[1]], "-o", program, source]
    status, said, spent = sandbox.run(grader, folder, True, command, bounds.BUILD_SECONDS, bounds.KEPT_KIB << 10)
    if status is None:
        said += f"[the build ran past its {bounds.BUILD_SECONDS} seconds, and was ended]\n".encode()
    return " ".join(command), said, status == 0 and os.path.isfile(os.path.join(folder, program)), spent


def confine(program, output):
    """Starts a build of confine into output, to run the program at the
    path program, within the bounds of bounds.py."""
    bound = [f"-D{name}={value}" for name, value in vars(bounds).items() if re.fullmatch("[A-Z_]+", name) and type(value) is int]
    return helper(output, os.path.join(os.path.dirname(os.path.realpath(__file__)), "confine.cpp"), f'-DPROGRAM="{program}"', *bound)


def helper(output, source, *flags):
    """Starts a build of a helper of the grader's, on this machine."""
    return subprocess.Popen(["g++", "-std=c++17", "-O2", *flags, "-o", output, source])
