# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Each way a builder gives flags, alone; a distribution's full set; none,
# with g++, clang++ and a g++ that defines _FORTIFY_SOURCE, as Ubuntu's
# does; hardening off: the rows of .ci/builders.txt.  What each program's
# lines, as Ninja lists them, hold beyond a bare project's, configured
# alike, is what the row says the project adds, word for word, in any
# order.  A row builds only to find warnings or read hardening-check, or,
# with g++ alone, to run every suite and find each program needs libc alone.
source "$(dirname "$0")/../lib.sh"
# The hardening flags of the compile lines (compile) or the link lines (link).
hardening() { awk -v cpu="$(uname -m)" -v link="$1" '/^[a-z]/ && ($1 == "link") == (link == "link") && (NF == 2 || index($0 " ", " " cpu " ")) { print $2 }' cmake/hardening.txt | paste -sd' '; }
# The words of Ninja's lines for program $2 in the build folder $1, a line each, the folder $3 named SOURCE.
words() { while IFS= read -r line; do eval "w=(${line//&&/})" && printf '%s\n' "${w[@]//"$3"/SOURCE}"; done < <(ninja -C "$1" -t commands "$2"); }
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
mkdir "$work/bare" && ln -s "${programs[@]/#/"$PWD"/}" "$work/bare"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(bare CXX)\nforeach(p %s)\n  add_executable(${p} ${p}/${p}.cpp)\nendforeach()\n' "${programs[*]}" >"$work/bare/CMakeLists.txt"
while IFS='|' read -r name compiler cxx ld arg build compile link; do
	echo "-- $name"
	for source in bare .; do
		env -u CXXFLAGS -u LDFLAGS CXX="$compiler" ${cxx:+"CXXFLAGS=$cxx"} ${ld:+"LDFLAGS=$ld"} cmake -G Ninja --no-warn-unused-cli \
			-S "${source/bare/$work/bare}" -B "$work/$source$name" "$werror" ${arg:+"$arg"} >/dev/null || fail "$name: cmake cannot configure $source"
	done
	read -ra want <<<"${compile/HARDENING/$(hardening compile)} ${link/HARDENING/$(hardening link)}"
	for program in "${programs[@]}"; do # sorted, as CMake 3.31 puts -std first, 3.25 last
		diff <({ words "$work/bare$name" "$program" "$work/bare" && printf '%s\n' "${want[@]}"; } | sort) \
			<(words "$work/.$name" "$program" "$PWD" | sort) || fail "$name: $program's lines (>) hold other words than a bare project's and the row's (<)"
	done
	[[ -n $build ]] || continue
	ninja --quiet -C "$work/.$name" "$build" || fail "$name: the build fails or warns"
	yes=$(hardening-check "$work/.$name/dirview" | grep -cE '(Stack protected|Fortify Source functions|Immediate binding): yes' || :)
	[[ $yes == 3 && $compile == *HARDENING* || $yes == 0 && $compile != *HARDENING* ]] || { hardening-check "$work/.$name/dirview" || :; fail "$name: hardening-check finds $yes of 3 in dirview"; }
	[[ $build == all ]] || continue
	diff <(cd tests && printf '%s\n' *.bats | sed 's/\.bats$//' | sort) <(ctest --test-dir "$work/.$name" -N | sed -n 's/^ *Test *#[0-9]*: //p' | sort) || fail "$name: CTest's tests are not the suites under tests/"
	ctest --test-dir "$work/.$name" --output-on-failure -j2 -LE slow </dev/null || fail "$name: the tests fail"
	libc_alone "$work/.$name"
done < <(grep -v -e '^#' -e '^$' .ci/builders.txt)
