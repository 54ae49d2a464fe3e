#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Without bats, the README's build-and-run command works, and its test
# command fails, naming bats.  In a private mount namespace, an empty file
# hides bats; an ordinary user makes one in a user namespace of its own.
source "$(dirname "$0")/../lib.sh"

unshare=(unshare -m)
((EUID == 0)) || unshare=(unshare -rm)
if ! "${unshare[@]}" true 2>/dev/null; then
	echo "skipped: no private mount namespace can be made here"
	exit "$skipped"
fi
run_command=$(readme_command run)
test_command=$(readme_command test)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git clone -q . "$scratch/src"
: >"$scratch/empty"
"${unshare[@]}" bash -euc 'mount --bind "$1/empty" "$(command -v bats)"
	cd "$1/src" && eval "$2"
	if (eval "$3") >log 2>&1; then exit 1; fi
	grep "bats not found" log' - "$scratch" "$run_command" "$test_command"
