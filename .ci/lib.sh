# shellcheck shell=bash disable=SC2034 # the variables are for the scripts that source it
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Sourced by .ci/run and by every step: strict mode, and what more than one
# script needs.  Steps run in the copy of the work tree that .ci/run makes.
set -eEuo pipefail
# A failing step says what failed, in a line; a failed command, where no
# message of the step's does.
fail() { echo "$*" >&2; exit 1; }
trap '[[ $BASHPID != "$$" ]] || echo "${0##*/}: line $LINENO failed: ${BASH_COMMAND%%$'"'\\n'"'*}" >&2' ERR
skipped=77
# A step that cannot run here says why, and skips; under CI=true, on CI's
# own machine, where a skip can only hide a fault, that fails the run.
skip_step() { echo "skipped: $*"; exit "$skipped"; }
programs=(dirview spawnwait spawnlinger)
werror=-DCMAKE_COMPILE_WARNING_AS_ERROR=ON
architectures() { grep -v -e '^#' -e '^$' "$(dirname "${BASH_SOURCE[0]}")/../doc/architectures.txt"; }
as_root() { if ((EUID)); then sudo -n "$@"; else "$@"; fi; }

# The native build in build/, as the README's test command makes it.
native_build() { [[ -e build/CMakeCache.txt ]] || cmake -B build "$werror" >/dev/null; cmake --build build >/dev/null; }

# Each program in the folder $1 needs libc.so.6 and, on some
# architectures, the dynamic loader that it names, and nothing else.
libc_alone() {
	local program loader
	for program in "${programs[@]/#/$1/}"; do
		loader=$(readelf -l "$program" | sed -n 's|.*interpreter: .*/\(.*\)\]$|\1|p')
		! readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' | grep -vx -e libc.so.6 -e "$loader" ||
			{ echo "$program needs more than libc.so.6 and its loader" >&2; return 1; }
	done
}
