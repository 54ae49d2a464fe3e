#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Grades a generated class of N submissions (default 100), every case of
# every suite, and says how long it took, the most memory the machine had in
# use meanwhile beyond what it had before, and, from the grader's last
# lines, the CPU time a submission took and where it went.  A submission
# in five has a spawnwait that waits for any child; one in seven, a
# spawnlinger that does not build.  Not a test: its time depends on the
# machine.
#
# usage: grade/bench.sh [N]
set -euo pipefail
n=${1:-100}
cd "$(dirname "$0")/.."
class=$(mktemp -d) && trap 'rm -rf "$class"' EXIT
for ((i = 1; i <= n; i++)); do
	mkdir "$class/$i" && cp {dirview,spawnwait,spawnlinger}/*.cpp "$class/$i"
	((i % 5)) || sed -i 's/waitpid(pid,/waitpid(-1,/' "$class/$i/spawnwait.cpp"
	((i % 7)) || echo 'int main( {' >>"$class/$i/spawnlinger.cpp"
done
available() { sed -n 's/^MemAvailable: *\([0-9]*\) kB$/\1/p' /proc/meminfo; }
before=$(available) && SECONDS=0
grade/grade --out "$class/marks" "$class"/[0-9]* 2>"$class/said" &
least=$before
while kill -0 $! 2>/dev/null; do least=$(($(available) < least ? $(available) : least)) && sleep 1; done
wait $!
printf '%d submissions on %d processors: %d min %d s; at most %d MiB in use beyond what was before\n' \
	"$n" "$(nproc)" $((SECONDS / 60)) $((SECONDS % 60)) $(((before - least) / 1024))
tail -n 1 "$class/said"
awk -F, 'NR > 1 { rows[$2 "," $4 "," $5 "," $6]++ } END { for (r in rows) print rows[r] " graded " r }' "$class/marks/grades.csv" | sort -rn
