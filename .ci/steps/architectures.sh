#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Builds for every architecture in doc/architectures.txt, with warnings as
# errors: each program needs libc alone, and the tests pass, the slow one
# aside: natively where the kernel can run the programs, elsewhere under
# qemu-user, through binfmt_misc entries made here and removed at the end.
source "$(dirname "$0")/../lib.sh"

native_build # its test helpers serve the emulated builds
binfmt=/proc/sys/fs/binfmt_misc
binfmt_write() { printf '%s' "$1" | as_root tee "$binfmt/$2" >/dev/null; }
entries=() mounted=
cleanup() {
	for entry in "${entries[@]}"; do
		binfmt_write -1 "$entry"
	done
	[[ -z $mounted ]] || as_root umount "$binfmt"
}
trap cleanup EXIT
if ! mountpoint -q "$binfmt"; then
	as_root mount -t binfmt_misc binfmt_misc "$binfmt"
	mounted=yes
fi
for stale in "$binfmt"/sysdemos-*; do # left by a run cut short
	[[ ! -e $stale ]] || binfmt_write -1 "${stale##*/}"
done

export CXXFLAGS=-Werror
natives=()
while read -r arch processor triple qemu native; do
	printf -- '-- %s\n' "$arch"
	# qemu-user refuses the helpers' seccomp and subreaper requests: the
	# emulated suites take the native ones, and qemu forks natively.
	helpers=()
	[[ $native == yes ]] || helpers=(-DTEST_HELPERS_DIR="$PWD/build/tests")
	cmake -B "build-$arch" -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$processor" \
		-DCMAKE_CXX_COMPILER="$triple-g++" "${helpers[@]}" >/dev/null
	cmake --build "build-$arch" >/dev/null
	needs_libc_alone "build-$arch"
	if [[ $native == yes ]] && ! "build-$arch/dirview" . >/dev/null 2>&1; then
		echo "this kernel runs no $arch program natively: qemu-$qemu-static does"
		native=emulated
		cmake -B "build-$arch" -DTEST_HELPERS_DIR="$PWD/build/tests" >/dev/null
		cmake --build "build-$arch" >/dev/null
	fi
	entry=sysdemos-$qemu
	if [[ $native == yes ]]; then
		natives+=("$arch")
	elif [[ ! -e $binfmt/$entry ]]; then
		# The kernel hands qemu each program whose first 20 bytes match this
		# build's, but for the OS ABI byte and the type (a PIE or not);
		# F: it opens qemu now, so that qemu serves in any mount namespace.
		magic=$(od -An -v -tx1 -N20 "build-$arch/dirview" | tr -d ' \n' | sed 's/../\\x&/g')
		mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\x00\x00\xff\xff'
		emulator=$(readlink -f "$(command -v "qemu-$qemu-static")")
		binfmt_write ":$entry:M::$magic:$mask:$emulator:F" register
		entries+=("$entry")
	fi
	# qemu finds the cross C library there; an i386 program, the host's from
	# libc6-i386, as qemu 7.2 hangs in its forked child with the cross one.
	prefix=/usr/$triple
	[[ $native == no ]] || prefix=
	QEMU_LD_PREFIX=$prefix ctest --test-dir "build-$arch" --output-on-failure -j4 -LE slow </dev/null
done < <(architectures)
if [[ " ${natives[*]} " == *" i386 "* ]]; then
	echo "the native nofork refuses an i386 program's fork, made through the 32-bit ABI"
	[[ -z $(build/tests/nofork build-i386/spawnwait) ]]
fi
