#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Builds for every architecture in doc/architectures.txt: each program needs
# libc alone, and the fast tests pass, natively where the kernel can run
# the programs, elsewhere under qemu-user through the registration line
# Debian ships, named for this run, in a binfmt_misc of a user namespace's
# own where the kernel allows it (6.7 and later), else in the global one.
source "$(dirname "$0")/../lib.sh"
native_build # its test helpers serve the emulated builds

binfmt=/proc/sys/fs/binfmt_misc mounted='' entries=() natives=()
if unshare -Urm mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
	emulated() { unshare -Urm bash -c 'mount -t binfmt_misc binfmt_misc "$1" && echo "$2" >"$1/register" && exec "${@:3}"' - "$binfmt" "$@"; }
else
	echo "no binfmt_misc of a user namespace's own here: the global one serves, and loses only this run's entries"
	mountpoint -q "$binfmt" || { as_root mount -t binfmt_misc binfmt_misc "$binfmt" && mounted=yes; }
	emulated() {
		entry=$(cut -d: -f2 <<<"$1")
		[[ -e $binfmt/$entry ]] || { echo "$1" | as_root tee "$binfmt/register" >/dev/null && entries+=("$entry"); }
		"${@:2}"
	}
	trap 'for entry in "${entries[@]}"; do echo -1 | as_root tee "$binfmt/$entry" >/dev/null; done
		[[ -z $mounted ]] || compgen -G "$binfmt/sysdemos-*" >/dev/null || as_root umount "$binfmt"' EXIT
fi
# Debian ships no line for i386, which most x86_64 kernels run: qemu's own.
i386=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

while read -r arch processor triple qemu native; do
	printf -- '-- %s\n' "$arch"
	# qemu-user refuses the helpers' seccomp and subreaper requests.
	helpers=(-DTEST_HELPERS_DIR="$PWD/build/tests")
	[[ $native == no ]] || helpers=()
	cmake -B "build-$arch" "$werror" -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$processor" \
		-DCMAKE_CXX_COMPILER="$triple-g++" "${helpers[@]}" >/dev/null
	cmake --build "build-$arch" >/dev/null
	libc_alone "build-$arch"
	test=(ctest --test-dir "build-$arch" --output-on-failure -j4 -LE slow)
	status=0 prefix=/usr/$triple line=$i386
	[[ $native == no ]] || "build-$arch/dirview" . >/dev/null 2>&1 || status=$?
	if ((status == 126)); then # the shell's word for Exec format error
		echo "this kernel runs no $arch program natively: qemu-$qemu-static does, with the host's libc6-i386"
		cmake -B "build-$arch" -DTEST_HELPERS_DIR="$PWD/build/tests" >/dev/null && cmake --build "build-$arch" >/dev/null
		prefix='' # with the cross C library, qemu 7.2 hangs in a forked child
	elif [[ $native == yes ]]; then
		((status == 0)) || { echo "build-$arch/dirview failed natively: $status" >&2; exit 1; }
		natives+=("$arch")
		"${test[@]}" </dev/null
		continue
	fi
	[[ $qemu == i386 ]] || line=$(<"/usr/lib/binfmt.d/qemu-$qemu.conf")
	QEMU_LD_PREFIX=$prefix emulated "${line/#:qemu-/:sysdemos-$$-}" "${test[@]}" </dev/null
done < <(architectures)
if [[ " ${natives[*]} " == *" i386 "* ]]; then
	echo "the native nofork refuses an i386 program's fork, made through the 32-bit ABI"
	refused=$(build/tests/nofork build-i386/spawnwait) # the step fails unless it exits 0
	[[ $(build-i386/spawnwait | wc -l) -eq 3 && -z $refused ]]
fi
