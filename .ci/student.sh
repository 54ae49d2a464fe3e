#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Runs a command as the ordinary user 4242 on a machine root makes for it: a
# user namespace that maps each id to itself and allows none inside, so that
# the kernel refuses the user one, with a passwd, group and sudoers.d of its
# own, where sudo works without a password if $1 is sudo.  usage:
# .ci/student.sh sudo|none COMMAND...
source "$(dirname "$0")/lib.sh"
etc=$(mktemp -d) && trap 'rm -rf "$etc"' EXIT
mkfifo "$etc/mapped" && mkdir "$etc/sudoers.d" "$etc/home" && chown 4242:4242 "$etc/home" && chmod 755 "$etc"
# No password, and so no shadow entry, which a minimal system has no file for.
{ cat /etc/passwd && echo "student:*:4242:4242::$etc/home:/bin/bash"; } >"$etc/passwd"
{ cat /etc/group && echo student:x:4242:; } >"$etc/group"
[[ $1 != sudo ]] || echo 'student ALL=(ALL) NOPASSWD: ALL' >"$etc/sudoers.d/student"
# Only a program started once the map is written has its capabilities.
unshare -Um bash -c 'read -r _ <"$1"; shift; exec "$@"' - "$etc/mapped" bash -c '
	echo 0 >/proc/sys/user/max_user_namespaces
	for file in passwd group sudoers.d; do mount --bind "$1/$file" "/etc/$file"; done
	exec setpriv --reuid=4242 --regid=4242 --clear-groups env HOME="$1/home" USER=student "${@:2}"' - "$etc" "${@:2}" &
while [[ $(readlink "/proc/$!/ns/user") == "$(readlink /proc/self/ns/user)" ]]; do sleep 0.1; done
echo 0 0 65536 >"/proc/$!/uid_map" && echo 0 0 65536 >"/proc/$!/gid_map" && echo >"$etc/mapped"
wait $!
