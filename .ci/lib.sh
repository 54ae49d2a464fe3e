# shellcheck shell=bash disable=SC2034 # the variables are for the scripts that source it
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Sourced by .ci/run and by every step: strict mode, and what more than one
# script needs.  Steps run in the copy of the work tree that .ci/run makes.
set -eEuo pipefail
# A failing step says in a line what failed, by fail, or else by the trap.
fail() { echo "$*" >&2; exit 1; }
trap '[[ $BASHPID != "$$" ]] || echo "${0##*/}: line $LINENO failed: ${BASH_COMMAND%%$'"'\\n'"'*}" >&2' ERR
# A step that cannot run here says why and skips; under CI=true, on CI's
# own machine, where a skip can only hide a fault, .ci/run fails it.
skipped=77 && skip_step() { echo "skipped: $*"; exit "$skipped"; }
programs=(dirview spawnwait spawnlinger) werror=-DCMAKE_COMPILE_WARNING_AS_ERROR=ON
as_root() { if ((EUID)); then sudo -n "$@"; else "$@"; fi; }
build_in() { cmake -B "$1" "$werror" "${@:2}" >/dev/null && cmake --build "$1" >/dev/null; }
# Each program in the folder $1 needs libc.so.6 alone, and the loader it names.
libc_alone() (
	for program in "${programs[@]/#/$1/}"; do
		loader=$(readelf -l "$program" | sed -n 's|.*interpreter: .*/\(.*\)\]$|\1|p')
		! readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | grep -vx -e libc.so.6 -e "$loader" || fail "$program needs more than libc.so.6 and its loader"
	done
)
