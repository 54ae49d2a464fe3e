#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Each way a builder gives flags, alone; a distribution's full set; none,
# with g++ and clang++; hardening off.  On each program's lines, as Ninja
# lists them, the builder's flags stand verbatim, with what the programs
# need and none of the project's defaults (all, given no flags), which
# hardening-check finds in the binary.  Each build passes the fast tests.
source "$(dirname "$0")/../lib.sh"
# name|compiler|CXXFLAGS|LDFLAGS|one more cmake argument
rows='cxxflags|g++|-O1 -fno-omit-frame-pointer||
ldflags|g++||-Wl,-z,defs|
cmake-cxx|g++|||-DCMAKE_CXX_FLAGS=-Os -g1
cmake-ld|g++|||-DCMAKE_EXE_LINKER_FLAGS=-Wl,--build-id=sha1
heavy|g++|-O2 -flto=auto -ffat-lto-objects -fexceptions -g -Wp,-D_FORTIFY_SOURCE=3 -Wp,-D_GLIBCXX_ASSERTIONS -fstack-protector-strong -fcf-protection|-Wl,--as-needed,-O1,--sort-common -Wl,-z,relro -flto=auto|-DCMAKE_BUILD_TYPE=None
g++|g++|||
clang++|clang++|||
hardening-off|g++|||-DSYSDEMOS_HARDENING=OFF'
# Each word $3... is on the line $2 (has) or is not (lacks), as $1 says.
words() {
	for word in "${@:3}"; do
		case " $2 " in *[\ \"]"$word"[=\ ]*) found=has ;; *) found=lacks ;; esac
		[[ $found == "$1" ]] || { echo "$name: $program $found $word:$2" >&2; exit 1; }
	done
}
work=$(mktemp -d)
trap 'wait; rm -rf "$work"' EXIT
while IFS='|' read -r name compiler cxx ld arg; do
	echo "-- $name"
	env -u CXXFLAGS -u LDFLAGS CXX="$compiler" ${cxx:+"CXXFLAGS=$cxx"} ${ld:+"LDFLAGS=$ld"} \
		cmake -G Ninja -B "$work/$name" "$werror" ${arg:+"$arg"} >/dev/null
	ninja --quiet -C "$work/$name"
	case $arg in -DCMAKE_CXX_FLAGS=*) cxx=${arg#*=} ;; -DCMAKE_EXE_LINKER_FLAGS=*) ld=${arg#*=} ;; esac
	mine=has exceptions=has as_needed=has
	[[ -z $cxx$ld ]] || mine=lacks
	[[ ! $cxx =~ (^| )-f(no-)?exceptions( |$) ]] || exceptions=lacks
	[[ ! $ld =~ --(no-)?as-needed ]] || as_needed=lacks
	hard=$mine && [[ $arg != *HARDENING=OFF ]] || hard=lacks
	for program in "${programs[@]}"; do
		lines=$(ninja -C "$work/$name" -t commands "$program")
		compile=" $(grep -- ' -c ' <<<"$lines") " link=" $(tail -n1 <<<"$lines") "
		[[ (-z $cxx || ($compile == *" $cxx "* && $link == *" $cxx "*)) && (-z $ld || $link == *" $ld "*) ]] ||
			{ echo "$name: the builder's flags are not verbatim on:$compile$link" >&2; exit 1; }
		# What is left, each linker option a word.
		compile=${compile/" $cxx "/ } link=${link/" $cxx "/ } link=${link/" $ld "/ }
		link=$(sed 's/-Xlinker /-Wl,/g; s/-Wl,//g; s/,/ /g' <<<"$link")
		words has "$compile" -std=c++17 -D_FILE_OFFSET_BITS=64 -Wall -Wextra -Wpedantic
		words "$exceptions" "$compile" -fno-exceptions && words "$as_needed" "$link" --as-needed
		words "$mine" "$compile" -O2 -g -ffile-prefix-map
		words "$hard" "$compile" -D_FORTIFY_SOURCE=3 -fstack-protector-strong -fstack-clash-protection -fcf-protection -fPIE
		words "$hard" "$link" -pie relro now
	done
	if [[ $compiler$cxx$ld == g++ ]]; then
		yes=$(hardening-check "$work/$name/dirview" | grep -cE '(Stack protected|Fortify Source functions|Immediate binding): yes' || :)
		[[ $hard$yes == has3 || $hard$yes == lacks0 ]] || { echo "$name: hardening-check finds $yes of 3:" >&2; hardening-check "$work/$name/dirview"; exit 1; }
	fi
	ctest --test-dir "$work/$name" --output-on-failure -j4 -LE slow >"$work/$name.log" 2>&1 </dev/null & tests[$!]=$work/$name.log
done <<<"$rows"
for pid in "${!tests[@]}"; do wait "$pid" || { cat "${tests[$pid]}"; exit 1; }; done
