#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The release archive, from git archive, holds the commit's files.  Unpacked
# outside git in two folders, it builds with clang++ by the README's
# build-and-run command, to the same programs.  In one, the README's test
# command passes; in the other, where bats is hidden, it fails, naming bats,
# and the build still makes the test helpers, which the lab runs.
source "$(dirname "$0")/../lib.sh"
run_command=$(grep -m1 '^cmake -B build .*\./build/' README.md) || fail "README.md has no line that starts 'cmake -B build ' and runs ./build/"
test_command=$(grep -m1 '^cmake -B build .*ctest ' README.md) || fail "README.md has no line that starts 'cmake -B build ' and runs ctest"
release=sysdemos-$(sed -n 's/^project(sysdemos VERSION \([^ ]*\) .*/\1/p' CMakeLists.txt)
scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
git archive --prefix="$release/" -o "$scratch/$release.tar" HEAD
diff <(git ls-tree -r --name-only HEAD | sort) <(tar -tf "$scratch/$release.tar" | sed -n "s|^$release/\(.*[^/]\)$|\1|p" | sort)
export CXX=clang++
for folder in one "another place"; do
	mkdir "$scratch/$folder" && tar -xf "$scratch/$release.tar" -C "$scratch/$folder"
	(cd "$scratch/$folder/$release" && cmake -B build "$werror" >/dev/null && eval "$run_command" >/dev/null)
done
for program in "${programs[@]}"; do cmp "$scratch/one/$release/build/$program" "$scratch/another place/$release/build/$program"; done
cd "$scratch/one/$release" && eval "$test_command"
cd "$scratch/another place/$release" && rm -rf build && : >"$scratch/empty"
unshare=(unshare -m) && ((EUID == 0)) || unshare=(unshare -rm)
"${unshare[@]}" true 2>/dev/null || skip_step "no private mount namespace here, to hide bats in"
"${unshare[@]}" bash -euc 'mount --bind "$1" "$(command -v bats)"
	cmake -B build "$2" >/dev/null && eval "$3" >/dev/null
	test -x build/tests/subreaper || { echo "without bats, the build made no test helpers" >&2; exit 1; }
	if (eval "$4") >log 2>&1; then echo "the test command passed without bats" >&2; exit 1; fi
	grep "bats not found" log' - "$scratch/empty" "$werror" "$run_command" "$test_command"
