#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Builds for every architecture in doc/architectures.txt, with warnings as
# errors: each program needs libc alone, and the tests pass, the slow one
# aside: natively where the kernel can run the programs, elsewhere under
# qemu-user, through the system's binfmt_misc entry for it or, where there
# is none, one of this run's own, named for it and removed at its end.
source "$(dirname "$0")/../lib.sh"
compilers=()
while read -r _ _ triple _; do compilers+=("$triple-g++"); done < <(architectures)
needs "${compilers[@]}" qemu-arm-static /lib/ld-linux.so.2 "${suites[@]}"

native_build # its test helpers serve the emulated builds
binfmt=/proc/sys/fs/binfmt_misc
binfmt_write() { printf '%s' "$1" | as_root tee "$binfmt/$2" >/dev/null; }
run=sysdemos-$$ entries=() mounted=
cleanup() {
	for entry in "${entries[@]}"; do
		binfmt_write -1 "$entry"
	done
	# Another run may use the mount still.
	if [[ -n $mounted ]] && ! compgen -G "$binfmt/sysdemos-*" >/dev/null; then
		as_root umount "$binfmt"
	fi
}
trap cleanup EXIT
if ! mountpoint -q "$binfmt"; then
	as_root mount -t binfmt_misc binfmt_misc "$binfmt"
	mounted=yes
fi

natives=()
while read -r arch processor triple qemu native; do
	printf -- '-- %s\n' "$arch"
	# qemu-user refuses the helpers' seccomp and subreaper requests: the
	# emulated suites take the native ones, and qemu forks natively.
	helpers=()
	[[ $native == yes ]] || helpers=(-DTEST_HELPERS_DIR="$PWD/build/tests")
	cmake -B "build-$arch" "$werror" -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$processor" \
		-DCMAKE_CXX_COMPILER="$triple-g++" "${helpers[@]}" >/dev/null
	cmake --build "build-$arch" >/dev/null
	needs_libc_alone "build-$arch"
	if [[ $native == yes ]]; then
		status=0
		"build-$arch/dirview" . >/dev/null 2>&1 || status=$?
		# 126 is the shell's word for the kernel's Exec format error; any
		# other failure is the program's own.
		if ((status == 126)); then
			echo "this kernel runs no $arch program natively: qemu-$qemu-static does"
			native=emulated
			cmake -B "build-$arch" -DTEST_HELPERS_DIR="$PWD/build/tests" >/dev/null
			cmake --build "build-$arch" >/dev/null
		elif ((status != 0)); then
			echo "build-$arch/dirview failed natively, with status $status" >&2
			exit 1
		fi
	fi
	if [[ $native == yes ]]; then
		natives+=("$arch")
	elif [[ ! -e $binfmt/$run-$qemu ]] && ! grep -qsx enabled "$binfmt/qemu-$qemu"; then
		# One entry serves each qemu (armel and armhf share qemu-arm's): the
		# kernel hands qemu each program whose first 20 bytes match this
		# build's, but for the OS ABI byte and the type (a PIE or not);
		# F: it opens qemu now, so that qemu serves in any mount namespace.
		entry=$run-$qemu
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
	[[ $(build-i386/spawnwait | wc -l) -eq 3 ]]
	refused=$(build/tests/nofork build-i386/spawnwait) # the step fails unless it exits 0
	[[ -z $refused ]]
fi
