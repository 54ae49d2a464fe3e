# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The release archive, from git archive, holds the commit's files.  Unpacked
# outside git in two folders, it builds with clang++ by the README's
# build-and-run command, to the same programs.  In one the README's test
# command passes, and the install tree holds the programs, each needing libc
# alone, and their manual pages, lint-clean under mandoc, and nothing else;
# in the other, bats hidden, the test command fails, naming bats, and the
# build still makes the test helpers, which the lab runs.
source "$(dirname "$0")/../lib.sh"
run_command=$(grep -m1 '^cmake -B build .*\./build/' README.md) || fail "README.md has no line that starts 'cmake -B build ' and runs ./build/"
test_command=$(grep -m1 '^cmake -B build .*ctest ' README.md) || fail "README.md has no line that starts 'cmake -B build ' and runs ctest"
scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT
git archive --prefix=sysdemos/ -o "$scratch/sysdemos.tar" HEAD
diff <(git ls-tree -r --name-only HEAD | sort) <(tar -tf "$scratch/sysdemos.tar" | sed -n 's|^sysdemos/\(.*[^/]\)$|\1|p' | sort)
mkdir "$scratch/one" && tar -xf "$scratch/sysdemos.tar" -C "$scratch/one" && cp -a "$scratch/one" "$scratch/another place"
export CXX=clang++
cd "$scratch/one/sysdemos" && cmake -B build "$werror" >/dev/null && eval "$run_command" >/dev/null
eval "$test_command"
cmake --install build --prefix "$scratch/installed" >/dev/null
diff <({ printf 'bin/%s\n' "${programs[@]}" && printf 'share/man/man1/%s.1\n' "${programs[@]}"; } | sort) \
	<(find "$scratch/installed" ! -type d -printf '%P\n' | sort)
mandoc -Tlint -Wwarning "$scratch"/installed/share/man/man1/*.1
libc_alone build
cd "$scratch/another place/sysdemos" && : >"$scratch/empty"
unshare=(unshare -m) && ((EUID == 0)) || unshare=(unshare -rm)
"${unshare[@]}" true 2>/dev/null || skip_step "no private mount namespace here, to hide bats in"
"${unshare[@]}" bash -euc 'mount --bind "$1" "$(command -v bats)"
	cmake -B build "$2" >/dev/null && eval "$3" >/dev/null
	test -x build/tests/subreaper || { echo "without bats, the build made no test helpers" >&2; exit 1; }
	if (eval "$4") >log 2>&1; then echo "the test command passed without bats" >&2; exit 1; fi
	grep "bats not found" log' - "$scratch/empty" "$werror" "$run_command" "$test_command"
for program in "${programs[@]}"; do cmp "$scratch/one/sysdemos/build/$program" "build/$program"; done
