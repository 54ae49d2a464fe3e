# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Builds each architecture of doc/architectures.txt, every line of it: each
# program needs libc alone, and the fast tests pass, natively where the
# kernel runs its programs, elsewhere under qemu-user, registered by Debian's
# line in a user namespace's binfmt_misc (kernel 6.7 on), else the global one.
source "$(dirname "$0")/../lib.sh"
rows=$(grep -v -e '^#' -e '^$' doc/architectures.txt) # fails where the table is missing or empty
! grep -E '^#\s*(\S+\s+){4}(yes|no)\s*$' doc/architectures.txt || fail "doc/architectures.txt has the line above commented out"
! grep -vE '^\S+(\s+\S+){3}\s+(yes|no)$' <<<"$rows" || fail "doc/architectures.txt: the line above is not five words ending yes or no"
build_in build # its test helpers serve the emulated builds
binfmt=/proc/sys/fs/binfmt_misc mounted='' waiting=()
if unshare -Urm mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
	emulated() { unshare -Urm bash -c 'mount -t binfmt_misc binfmt_misc "$1" && echo "$2" >"$1/register" && exec "${@:3}"' - "$binfmt" "$@"; }
else
	echo "no binfmt_misc of a user namespace's own here: the global one serves, and loses only this run's entries"
	mountpoint -q "$binfmt" || { as_root mount -t binfmt_misc binfmt_misc "$binfmt" && mounted=yes; }
	emulated() { [[ -e $binfmt/$(cut -d: -f2 <<<"$1") ]] || echo "$1" | as_root tee "$binfmt/register" >/dev/null; "${@:2}"; }
	trap 'for entry in $(compgen -G "$binfmt/sysdemos-$$-*"); do echo -1 | as_root tee "$entry" >/dev/null; done
		[[ -z $mounted ]] || compgen -G "$binfmt/sysdemos-*" >/dev/null || as_root umount "$binfmt"' EXIT
fi
# Debian ships no line for i386, which most x86_64 kernels run: qemu's own.
i386=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
while read -r arch processor triple qemu native; do
	printf -- '-- %s\n' "$arch" && status=0 prefix=/usr/$triple line=$i386
	helpers=(-DTEST_HELPERS_DIR="$PWD/build/tests") # qemu-user refuses their seccomp and subreaper requests
	[[ $native == no ]] || helpers=()
	build_in "build-$arch" -DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$processor" \
		-DCMAKE_CXX_COMPILER="$triple-g++" "${helpers[@]}"
	libc_alone "build-$arch"
	[[ $qemu == i386 ]] || line=$(<"/usr/lib/binfmt.d/qemu-$qemu.conf")
	run=(emulated "${line/#:qemu-/:sysdemos-$$-}")
	[[ $native == no ]] || "build-$arch/dirview" . >/dev/null 2>&1 || status=$?
	if ((status == 126)); then # the shell's word for Exec format error
		echo "this kernel runs no $arch program natively: qemu-$qemu-static does, with the host's libc6-i386"
		build_in "build-$arch" -DTEST_HELPERS_DIR="$PWD/build/tests"
		prefix='' # with the cross C library, qemu 7.2 hangs in a forked child
	elif [[ $native == yes ]]; then
		# The native nofork refuses fork to a program of this 32-bit ABI too.
		run=(env) refused=$(build/tests/nofork "build-$arch/spawnwait")
		[[ -z $refused ]] || fail "the native nofork lets an $arch program fork"
	fi
	test=(ctest --test-dir "build-$arch" --output-on-failure -LE slow)
	QEMU_LD_PREFIX=$prefix "${run[@]}" "${test[@]}" -j2 -E '^spawnlinger$' </dev/null || fail "$arch: the tests fail"
	# The spawnlinger suite, which mostly waits, runs beside the next architectures'.
	QEMU_LD_PREFIX=$prefix "${run[@]}" "${test[@]}" -R '^spawnlinger$' </dev/null >"build-$arch/spawnlinger.log" 2>&1 & waiting[$!]=$arch
done <<<"$rows"
((${#waiting[@]} == $(wc -l <<<"$rows"))) || fail "of the table's $(wc -l <<<"$rows") architectures, ${#waiting[@]} were tested"
for pid in "${!waiting[@]}"; do wait "$pid" || { cat "build-${waiting[$pid]}/spawnlinger.log"; fail "${waiting[$pid]}: the spawnlinger suite fails"; }; done
