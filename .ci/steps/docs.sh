# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Every shell session in the README and under doc/ prints what it shows, in
# bash, with the programs and helpers on PATH and SYSDEMOS naming the
# checkout: as the user running CI, where the whole lab runs, and as an
# ordinary user whose user namespaces the kernel refuses, which only root
# can make, with sudo and without, side by side.  doc/machine-check leaves
# out only what needs what the machine lacks; its reading of the sessions
# is tested first, on a page of its own.
source "$(dirname "$0")/../lib.sh"
python3 -B -m unittest discover -s doc
build_in build
world=$(mktemp -d) && chmod 755 "$world" && trap 'rm -rf "$world"' EXIT
cp -a . "$world/it's \$HOME" && cd "$world/it's \$HOME"
# Each section of each file from a folder of its own, as a student pastes
# it; in a session of its own, SIGINT at its default, as under a terminal's
# login shell; for 300 seconds at most.  $1: the needs the machine lacks.
sessions() {
	out=$(mktemp -d) && trap 'rm -rf "$out"' EXIT
	export PATH="$PWD/build:$PWD/build/tests:$PATH" SYSDEMOS="$PWD" TMPDIR=$out
	for file in README.md doc/*.md; do
		doc/machine-check --sessions "$file" 2>>"$out/left-out" |
			awk -v part="$out/${file//\//-}:" '/^#+ /{ close(to); to = part NR ".md" } { print >(to ? to : part "0.md") }'
	done
	! grep -vxE ".*: needs ($1)" "$out/left-out" || { echo "left out for what this machine lacks" >&2; return 1; }
	grep -l '^    \$ ' "$out"/*.md | xargs -d '\n' -P0 -n1 setsid -w env --default-signal=INT timeout 300 cram3 --shell=bash --indent=4
}
code="$(declare -f sessions); sessions \"\$1\"" # which sudo passes on, unlike an exported function
# The check names what lifts a seccomp filter that refuses unshare and mount, as
# Docker's default profile does (here strace's, which /proc shows), and a shell as PID 1.
strace -qf --seccomp-bpf -o /dev/null -e trace=unshare,mount -e inject=unshare,mount:error=EPERM doc/machine-check |
	grep -e '--security-opt seccomp=unconfined'
unshare -rfp --mount-proc bash -c 'doc/machine-check; :' | grep -e '--init'
# Read in part, as through head, it ends without a word, by SIGPIPE.
said=$({ doc/machine-check | true; } 2>&1 || true)
[[ -z $said ]] || fail "doc/machine-check, read in part, says: $said"

as() { "${@:2}" >"$world/$1" 2>&1 || mv "$world/$1" "$world/failed as $1"; }
as "$(id -un)" bash -c "$code" - 'no user namespaces|no sudo' &
as "an ordinary user with sudo" as_root .ci/student.sh sudo bash -c "$code" - 'user namespaces|no sudo' &
as "an ordinary user without sudo" as_root .ci/student.sh none bash -c "$code" - 'user namespaces|sudo' &
wait && cd "$world" && shopt -s nullglob && failed=(failed*)
((${#failed[@]} == 0)) || { tail -vn +1 "${failed[@]}"; fail "docs: the sessions fail, as $(printf '%s; ' "${failed[@]#failed as }")"; }
