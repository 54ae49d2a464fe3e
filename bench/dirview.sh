#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Times dirview against ls -f on one directory of N entries (default 200000):
# median wall time and largest peak resident memory over several runs, output to
# /dev/null.  dirview streams its listing, so its memory should not grow
# with N; compare a run at N=1000.
#
# usage: bench/dirview.sh [N]   (builds ./build first if need be)
set -euo pipefail
# A failed measurement inside $(...) would go unnoticed: check up front.
[[ -x /usr/bin/time ]] || {
	echo "bench/dirview.sh: needs /usr/bin/time (Debian package: time)" >&2
	exit 1
}
n=${1:-200000}
runs=7
cd "$(dirname "$0")/.."
cmake -B build >/dev/null && cmake --build build --target dirview >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/dir"
(cd "$work/dir" && seq -f 'entry%.0f' "$n" | xargs touch)

# Prints the median wall seconds and the largest peak KiB over the runs.
measure() {
	local i
	for ((i = 0; i < runs; i++)); do
		/usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null
		cat "$work/time"
	done | sort -n | awk '{ t[NR] = $1; if ($2 > m) m = $2 }
		END { print t[int((NR + 1) / 2)], m }'
}

printf '%d entries, median of %d runs\n' "$n" "$runs"
printf '%-10s %8s %10s\n' program seconds peak-KiB
read -r seconds kib < <(measure build/dirview "$work/dir")
printf '%-10s %8s %10s\n' dirview "$seconds" "$kib"
read -r seconds kib < <(measure ls -f "$work/dir")
printf '%-10s %8s %10s\n' 'ls -f' "$seconds" "$kib"
