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
# section is as a student pastes it, from a fresh folder.  $1 matches
# every need that may be missing here.
sessions() {
	local out file
	out=$(mktemp -d) && export PATH="$PWD/build:$PWD/build/tests:$PATH" SYSDEMOS="$PWD"
	for file in README.md doc/*.md; do
		grep -q '^    \$ ' "$file" && doc/machine-check --sessions "$file" 2>>"$out/left-out" |
			awk -v part="$out/${file//\//-}:" '/^#+ /{ close(to); to = part NR ".md" } { print >(to ? to : part "0.md") }'
	done
	! grep -v -x -E ".*: needs ($1)" "$out/left-out" || { echo "left out for what this machine lacks" >&2; return 1; }
	grep -l '^    \$ ' "$out"/*.md | xargs -d '\n' -P0 -n1 setsid -w env --default-signal=INT cram3 --shell=bash --indent=4
}
export -f sessions

# Runs $2... as the ordinary user 4242, in a user namespace that maps each
# id to itself and allows none inside: the kernel refuses the user one.
# sudo works there without a password where $1 is sudo.
student() {
	local etc ns
	etc=$(mktemp -d -p "$world") && mkfifo "$etc/mapped" && mkdir "$etc/sudoers.d" "$etc/home"
	cp /etc/passwd /etc/group /etc/shadow "$etc" && chown 4242:4242 "$etc/home" && chmod 755 "$etc"
	echo "student:x:4242:4242::$etc/home:/bin/bash" >>"$etc/passwd" && echo student:x:4242: >>"$etc/group"
	echo 'student:*:20000:0:99999:7:::' >>"$etc/shadow"
	[[ $1 != sudo ]] || echo 'student ALL=(ALL) NOPASSWD: ALL' >"$etc/sudoers.d/student"
	# The first program runs before the map is written: only the next has
	# its capabilities in the namespace.
	unshare -Um bash -c 'read -r _ <"$1"; shift; exec "$@"' - "$etc/mapped" bash -c '
		echo 0 >/proc/sys/user/max_user_namespaces
		for file in passwd group shadow sudoers.d; do mount --bind "$1/$file" "/etc/$file"; done
		exec setpriv --reuid=4242 --regid=4242 --clear-groups env HOME="$1/home" USER=student "${@:2}"' - "$etc" "${@:2}" &
	ns=$!
	while [[ $(readlink "/proc/$ns/ns/user") == "$(readlink /proc/self/ns/user)" ]]; do sleep 0.1; done
	echo 0 0 65536 >"/proc/$ns/uid_map" && echo 0 0 65536 >"/proc/$ns/gid_map" && echo >"$etc/mapped"
	wait "$ns"
}
declare -A as
sessions 'no user namespaces|no sudo' >"$world/root.log" 2>&1 & as[$!]=root
student sudo bash -c 'sessions "user namespaces|no sudo"' >"$world/sudo.log" 2>&1 & as[$!]=sudo
student none bash -c 'sessions "user namespaces|sudo"' >"$world/none.log" 2>&1 & as[$!]=none
declare -A who=([root]=root [sudo]="an ordinary user with sudo, user namespaces refused"
	[none]="an ordinary user without sudo, user namespaces refused")
status=0
for pid in "${!as[@]}"; do
	wait "$pid" || { status=1 && echo "-- failed as ${who[${as[$pid]}]}:" && cat "$world/${as[$pid]}.log"; }
done
exit "$status"
