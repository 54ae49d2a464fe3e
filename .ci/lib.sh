# shellcheck shell=bash disable=SC2034 # the variables are for the scripts that source it
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Sourced by .ci/run and by every step: strict mode, the tools CI uses, and
# the helpers that more than one step needs.  Steps run in the copy of the
# work tree that .ci/run makes.

set -euo pipefail
shopt -s extglob

# The status of a step that cannot run here: it says why, and counts as
# skipped, not passed.
skipped=77

programs=(dirview spawnwait spawnlinger)

# The architectures CI cross-builds, without the table's comments.
architectures() { grep -v -e '^#' -e '^$' "$(dirname "${BASH_SOURCE[0]}")/../doc/architectures.txt"; }

# Every tool used beyond g++, make, cmake and git, with the Debian package
# that brings it; a file stands for a package that brings no command.  i386
# programs run through the loader from libc6-i386.
declare -A package_of=([bats]=bats [clang++]=clang [clang-tidy]=clang-tidy
	[cram3]=python3-cram [dpkg-buildflags]=dpkg-dev [groff]=groff-base
	[mandoc]=mandoc [ninja]=ninja-build [ps]=procps [reuse]=reuse
	[shellcheck]=shellcheck [strace]=strace
	[/usr/lib/bats/bats-assert/load.bash]=bats-assert
	[/usr/lib/bats/bats-support/load.bash]=bats-support
	[/lib/ld-linux.so.2]=libc6-i386 [qemu-arm-static]=qemu-user-static)
while read -r _ _ triple _; do
	package_of[$triple-g++]=g++-$triple
done < <(architectures)
# What the suites need, for the steps that run them.
suites=(bats strace ps /usr/lib/bats/bats-assert/load.bash /usr/lib/bats/bats-support/load.bash)

# Runs a command as root: through sudo, which must not ask, where CI is not.
as_root() {
	if ((EUID == 0)); then
		"$@"
	elif sudo -n true 2>/dev/null; then
		sudo -n "$@"
	else
		echo "CI needs root, or sudo without a password, to run: $*" >&2
		return 1
	fi
}

# Installs, where they are missing, the packages that bring the tools $@.
needs() {
	local tool missing=()
	for tool; do
		[[ -e $tool ]] || command -v "$tool" >/dev/null || missing+=("${package_of[$tool]}")
	done
	((${#missing[@]})) || return 0
	printf 'install %s\n' "${missing[*]}"
	as_root apt-get update -qq
	as_root env DEBIAN_FRONTEND=noninteractive \
		apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The README's lines that CI runs as a newcomer types them, read by their
# form: a line of a fenced block, starting `cmake -B build `, with `ctest`
# for the test command and `./build/` for the build-and-run command.
readme_command() {
	local line
	case $1 in
	test) line=$(sed -n 's/^\(cmake -B build .*ctest .*\)$/\1/p' README.md) ;;
	run) line=$(sed -n 's/^\(cmake -B build .*\.\/build\/.*\)$/\1/p' README.md) ;;
	esac
	[[ -n $line ]] || { echo "README.md shows no $1 command" >&2; return 1; }
	echo "$line"
}

# Warnings as errors, without giving flags of the builder's: the binaries
# are those a newcomer builds.
werror=-DCMAKE_COMPILE_WARNING_AS_ERROR=ON

# The native build in build/, for the steps that need one; made once, as
# the README's test command makes it.
native_build() {
	[[ -e build/CMakeCache.txt ]] || cmake -B build "$werror" >/dev/null
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
		echo "$1/$program:" "${needed//$'\n'/ }"
		if ! grep -qx libc.so.6 <<<"$needed" ||
			grep -qvx -e libc.so.6 -e "$loader" <<<"$needed"; then
			echo "$1/$program needs more than libc.so.6 and its loader" >&2
			return 1
		fi
	done
}
