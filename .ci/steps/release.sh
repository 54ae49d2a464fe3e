#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The release archive holds the files git tracks.  Unpacked outside git in
# two folders, it builds the same programs with clang++, passes the tests
# (the slow one aside), and dist refuses to run there.
source "$(dirname "$0")/../lib.sh"

needs clang++ "${suites[@]}"
run_command=$(readme_command run)
archive=$(release_archive)
release=$(basename "$archive" .tar.gz)
diff <(git ls-files | sort) <(tar -tzf "$archive" | sed -n "s|^$release/\(.*[^/]\)$|\1|p" | sort)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export CXX=clang++
for folder in "$scratch/one" "$scratch/another place"; do
	mkdir "$folder"
	tar -xzf "$archive" -C "$folder"
	(cd "$folder/$release" && eval "$run_command" >/dev/null)
done
for program in "${programs[@]}"; do
	cmp "$scratch/one/$release/build/$program" "$scratch/another place/$release/build/$program"
done
cd "$scratch/one/$release" || exit
ctest --test-dir build --output-on-failure -j4 -LE slow
if cmake --build build --target dist >log 2>&1; then
	echo "dist made an archive outside a git checkout" >&2
	exit 1
fi
grep 'not in a git checkout' log
[[ ! -e build/$release.tar.gz ]]
