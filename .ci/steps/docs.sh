#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Every shell session in the README and under doc/ prints what it shows,
# in bash, with the programs and test helpers on PATH and SYSDEMOS naming
# the checkout (cram matches by pattern only the lines marked so).  The
# sessions run three times side by side: as root, where the whole lab must
# run; and as an ordinary user where the kernel refuses user namespaces,
# with sudo and without.  doc/machine-check leaves out the sessions that
# need what a machine lacks, and may leave out no other.
source "$(dirname "$0")/../lib.sh"
native_build
((EUID == 0)) || { echo "skipped: only root can make the ordinary user's machines"; exit "$skipped"; }
world=$(mktemp -d) && chmod 755 "$world" && trap 'rm -rf "$world"' EXIT
cp -a . "$world/it's \$HOME" && cd "$world/it's \$HOME"

# Runs the sessions that may run here, each section of each file side by
# side, in a folder and a session of its own, with SIGINT at its default,
# as under a terminal's login shell, which a runner may not give CI; a
# section is as a student pastes it, from a fresh folder, and fails
# after 300 seconds.  $1 matches every need that may be missing here.
sessions() {
	local out file
	out=$(mktemp -d) && export PATH="$PWD/build:$PWD/build/tests:$PATH" SYSDEMOS="$PWD"
	for file in README.md doc/*.md; do
		grep -q '^    \$ ' "$file" && doc/machine-check --sessions "$file" 2>>"$out/left-out" |
			awk -v part="$out/${file//\//-}:" '/^#+ /{ close(to); to = part NR ".md" } { print >(to ? to : part "0.md") }'
	done
	! grep -v -x -E ".*: needs ($1)" "$out/left-out" || { echo "left out for what this machine lacks" >&2; return 1; }
	grep -l '^    \$ ' "$out"/*.md | xargs -d "\n" -P0 -n1 setsid -w env --default-signal=INT timeout 300 cram3 --shell=bash --indent=4
}
export -f sessions

# A container's seccomp filter, as Docker's default profile, refuses
# unshare and mount even to root (a filter of five instructions here); a
# container's shell as PID 1 adopts the orphans: the check names the
# options that lift each.
read -r unshare mount < <(printf '#include <sys/syscall.h>\nSYS_unshare SYS_mount\n' | cpp -P | tail -n 1)
python3 -c 'import struct, sys; sys.stdout.buffer.write(b"".join(struct.pack("HBBI", *i) for i in [(0x20, 0, 0, 0),
	(0x15, 2, 0, int(sys.argv[1])), (0x15, 1, 0, int(sys.argv[2])), (6, 0, 0, 0x7fff0000), (6, 0, 0, 0x50001)]))' \
	"$unshare" "$mount" >"$world/filter"
bwrap --dev-bind / / --seccomp 3 doc/machine-check 3<"$world/filter" | grep -e '--security-opt seccomp=unconfined'
unshare -fp --mount-proc bash -c 'doc/machine-check; :' | grep -e '--init'

declare -A as
sessions 'no user namespaces|no sudo' >"$world/root.log" 2>&1 & as[$!]=root
.ci/student.sh sudo bash -c 'sessions "user namespaces|no sudo"' >"$world/sudo.log" 2>&1 & as[$!]=sudo
.ci/student.sh none bash -c 'sessions "user namespaces|sudo"' >"$world/none.log" 2>&1 & as[$!]=none
declare -A who=([root]=root [sudo]="an ordinary user with sudo, user namespaces refused"
	[none]="an ordinary user without sudo, user namespaces refused")
status=0
for pid in "${!as[@]}"; do
	wait "$pid" || { status=1 && echo "-- failed as ${who[${as[$pid]}]}:" && cat "$world/${as[$pid]}.log"; }
done
exit "$status"
