#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Builds for every architecture in doc/architectures.txt: each program needs
# libc alone, and the fast tests pass, natively where the kernel can run
# the programs, elsewhere under qemu-user through the registration line
# Debian ships, in a binfmt_misc of a user namespace's own where the kernel
# allows it, else in the global one under a name of this run's.
source "$(dirname "$0")/../lib.sh"
native_build # its test helpers serve the emulated builds

binfmt=/proc/sys/fs/binfmt_misc mounted='' entries=() natives=()
cleanup() {
	for entry in "${entries[@]}"; do echo -1 | as_root tee "$binfmt/$entry" >/dev/null; done
	[[ -z $mounted ]] || compgen -G "$binfmt/sysdemos-*" >/dev/null || as_root umount "$binfmt"
}
trap cleanup EXIT
private=yes
if ! unshare -Urm mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
	private= && echo "no binfmt_misc of a user namespace's own here: the global one serves"
	mountpoint -q "$binfmt" || { as_root mount -t binfmt_misc binfmt_misc "$binfmt" && mounted=yes; }
fi
# Debian ships none for i386, which x86_64 kernels run but for some: qemu's own.
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
	status=0
	[[ $native == no ]] || "build-$arch/dirview" . >/dev/null 2>&1 || status=$?
	if [[ $native == yes ]] && ((status == 0)); then
		natives+=("$arch")
		"${test[@]}" </dev/null
		continue
	fi
	# 126 is the shell's word for Exec format error; any other failure is the program's.
	((status == 0 || status == 126)) || { echo "build-$arch/dirview failed natively: $status" >&2; exit 1; }
	line=$(cat "/usr/lib/binfmt.d/qemu-$qemu.conf" 2>/dev/null || echo "$i386")
	line=${line/#:qemu-/:sysdemos-$$-}
	# The host's libc6-i386 serves i386: qemu 7.2 hangs in a forked child with the cross one.
	prefix=/usr/$triple
	if [[ $native == yes ]]; then
		echo "this kernel runs no $arch program natively: qemu-$qemu-static does"
		cmake -B "build-$arch" "${helpers[@]}" -DTEST_HELPERS_DIR="$PWD/build/tests" >/dev/null
		cmake --build "build-$arch" >/dev/null
		prefix=
	fi
	if [[ -n $private ]]; then
		QEMU_LD_PREFIX=$prefix unshare -Urm bash -c 'mount -t binfmt_misc binfmt_misc "$1" &&
			echo "$2" >"$1/register" && shift 2 && exec "$@"' - "$binfmt" "$line" "${test[@]}" </dev/null
		continue
	fi
	entry=$(cut -d: -f2 <<<"$line")
	[[ -e $binfmt/$entry ]] || { echo "$line" | as_root tee "$binfmt/register" >/dev/null && entries+=("$entry"); }
	QEMU_LD_PREFIX=$prefix "${test[@]}" </dev/null
done < <(architectures)
if [[ " ${natives[*]} " == *" i386 "* ]]; then
	echo "the native nofork refuses an i386 program's fork, made through the 32-bit ABI"
	[[ $(build-i386/spawnwait | wc -l) -eq 3 ]]
	refused=$(build/tests/nofork build-i386/spawnwait) # the step fails unless it exits 0
	[[ -z $refused ]]
fi
