#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The release archive, from git archive, holds the commit's files.
# Unpacked outside git in two folders, it builds with clang++ through the
# README's build-and-run command, to the same programs, and the README's
# test command passes there, as a newcomer types it.
source "$(dirname "$0")/../lib.sh"

run_command=$(readme_command run)
test_command=$(readme_command test)
release=sysdemos-$(sed -n 's/^project(sysdemos VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git archive --prefix="$release/" -o "$scratch/$release.tar.gz" HEAD
diff <(git ls-tree -r --name-only HEAD | sort) <(tar -tzf "$scratch/$release.tar.gz" | sed -n "s|^$release/\(.*[^/]\)$|\1|p" | sort)
export CXX=clang++
for folder in "$scratch/one" "$scratch/another place"; do
	mkdir "$folder" && tar -xzf "$scratch/$release.tar.gz" -C "$folder"
	(cd "$folder/$release" && cmake -B build "$werror" >/dev/null && eval "$run_command" >/dev/null)
done
for program in "${programs[@]}"; do
	cmp "$scratch/one/$release/build/$program" "$scratch/another place/$release/build/$program"
done
cd "$scratch/one/$release"
echo "$test_command"
eval "$test_command"
