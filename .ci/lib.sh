# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Sourced by .ci/run and by every step: strict mode, the tools CI uses, and
# the helpers that more than one step needs.  Steps run in the copy of the
# work tree that .ci/run makes.

set -euo pipefail

programs=(dirview spawnwait spawnlinger)

# The architectures CI cross-builds, without the table's comments.
architectures() { grep -v -e '^#' -e '^$' "$(dirname "${BASH_SOURCE[0]}")/../doc/architectures.txt"; }

# Every tool used beyond g++, make, cmake and git, with the Debian package
# that brings it.  i386 programs run through the loader from libc6-i386.
declare -A package_of=([bats]=bats [clang++]=clang [clang-tidy]=clang-tidy
	[dpkg-buildflags]=dpkg-dev [groff]=groff-base [mandoc]=mandoc [ninja]=ninja-build
	[reuse]=reuse [strace]=strace [/lib/ld-linux.so.2]=libc6-i386
	[qemu-arm-static]=qemu-user-static)
while read -r _ _ triple _; do
	package_of[$triple-g++]=g++-$triple
done < <(architectures)

# Runs a command as root: through sudo, which must not ask, where CI is not.
as_root() {
	if ((EUID == 0)); then "$@"; else sudo -n "$@"; fi
}

# The README's lines that CI runs as a newcomer types them, read by their
# form: indented four blanks, starting `cmake -B build `, with `ctest` for
# the test command and `./build/` for the build-and-run command.
readme_command() {
	local line
	case $1 in
	test) line=$(sed -n 's/^    \(cmake -B build .*ctest .*\)$/\1/p' README.md) ;;
	run) line=$(sed -n 's/^    \(cmake -B build .*\.\/build\/.*\)$/\1/p' README.md) ;;
	esac
	[[ -n $line ]] || { echo "README.md shows no $1 command" >&2; return 1; }
	echo "$line"
}

# The native build in build/, with warnings as errors, for the steps that
# need one; made once, as the README's test command makes it.
native_build() {
	[[ -e build/CMakeCache.txt ]] || CXXFLAGS=-Werror cmake -B build >/dev/null
	cmake --build build >/dev/null
}

# Makes the release archive in build/ and prints its path.
release_archive() {
	native_build
	cmake --build build --target dist >/dev/null
	echo "$PWD/build/sysdemos-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt).tar.gz"
}

# Each program in build folder $1 needs libc.so.6 and nothing else but,
# on some architectures, the dynamic loader that it names.
needs_libc_alone() {
	local program needed loader
	for program in "${programs[@]}"; do
		needed=$(readelf -d "$1/$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
		loader=$(readelf -l "$1/$program" | sed -n 's|.*interpreter: .*/\(.*\)\]$|\1|p')
		echo "$1/$program:" $needed
		grep -qx libc.so.6 <<<"$needed"
		[[ -z $(grep -vx -e libc.so.6 -e "$loader" <<<"$needed") ]]
	done
}
