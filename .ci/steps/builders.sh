#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The release archive, taken as it is by each distribution's builder with
# its own flags, and by plain g++ and clang++: it builds without a warning
# and passes the fast tests.  A builder's flags stand alone on each
# program's compile and link lines, verbatim, beside CMake's own and what
# the programs need; without flags, every default of the project is there.
source "$(dirname "$0")/../lib.sh"
needs dpkg-buildflags clang++ ninja bats strace
# name | compiler | flags given in the environment or as CMake variables |
# CXXFLAGS | LDFLAGS | more of the builder's cmake arguments.  Taken from
# each distribution's packaging macros; SRC is the unpacked archive.
builders() {
	local deb=(env DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get)
	# debhelper hands CMake the preprocessor flags with the compiler's.
	cat <<-TABLE
	fedora|g++|env|-O2 -flto=auto -ffat-lto-objects -fexceptions -g -grecord-gcc-switches -pipe -Wall -Werror=format-security -Wp,-U_FORTIFY_SOURCE,-D_FORTIFY_SOURCE=3 -Wp,-D_GLIBCXX_ASSERTIONS -fstack-protector-strong -m64 -march=x86-64 -mtune=generic -fasynchronous-unwind-tables -fstack-clash-protection -fcf-protection -mtls-dialect=gnu2 -fno-omit-frame-pointer -mno-omit-leaf-frame-pointer|-Wl,-z,relro -Wl,--as-needed -Wl,-z,pack-relative-relocs -Wl,-z,now -Wl,--build-id=sha1|-DCMAKE_CXX_FLAGS_RELEASE:STRING=-DNDEBUG -DCMAKE_VERBOSE_MAKEFILE:BOOL=ON -DCMAKE_INSTALL_PREFIX:PATH=/usr -DBUILD_SHARED_LIBS:BOOL=ON
	arch|g++|env|-march=x86-64 -mtune=generic -O2 -pipe -fno-plt -fexceptions -Wp,-D_FORTIFY_SOURCE=3 -Wformat -Werror=format-security -fstack-clash-protection -fcf-protection -fno-omit-frame-pointer -mno-omit-leaf-frame-pointer -Wp,-D_GLIBCXX_ASSERTIONS -g -ffile-prefix-map=SRC=/usr/src/debug/sysdemos -flto=auto|-Wl,-O1 -Wl,--sort-common -Wl,--as-needed -Wl,-z,relro -Wl,-z,now -Wl,-z,pack-relative-relocs -flto=auto|-DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr
	opensuse|g++|cmake|-O2 -Wall -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3 -fstack-protector-strong -funwind-tables -fasynchronous-unwind-tables -fstack-clash-protection -Werror=return-type -flto=auto -g|-Wl,--as-needed -Wl,-z,now|-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	alpine|g++|env|-Os -fstack-clash-protection -Wformat -Werror=format-security -D_GLIBCXX_ASSERTIONS=1|-Wl,--as-needed,-O1,--sort-common|-G Ninja -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=None
	debian|g++|env|$(cd "$1" && "${deb[@]}" CXXFLAGS) $("${deb[@]}" CPPFLAGS)|$("${deb[@]}" LDFLAGS)|-DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr
	g++|g++|env|||
	clang++|clang++|env|||
	hardening-off|g++|env|||-DSYSDEMOS_HARDENING=OFF
	TABLE
}

# The words of the compile or link line $1 that are neither the builder's
# flags nor CMake's own, sorted, one a line.  Each line of $2 is a string of
# the builder's flags that must stand on it verbatim; $3 holds the flags
# of the build type.  CMake's own are the compiler, the type's flags, the
# files it names, and Ninja's progress and no-op commands.
others() {
	local line=" $1 " flags words i
	while read -r flags; do
		[[ -n $flags ]] || continue
		[[ $line == *" $flags "* ]] || { echo "the builder's $flags are not all on: $1" >&2; return 1; }
		line=${line/" $flags "/ }
	done <<<"$2"$'\n'"$3"
	read -ra words <<<"$line"
	for ((i = 0; i < ${#words[@]}; i++)); do
		case ${words[i]} in
		-MT | -MF | -o | -c) ((++i)) ;;
		-MD | *.o | /*++ | \[+([0-9])/+([0-9])\] | : | "&&") ;;
		*) echo "${words[i]}" ;;
		esac
	done | sort
}

# What the programs need to be correct, on a compile line and a link line,
# with the builder's flags $1 and $2; then the project's defaults, for a
# build with no flags: "hardened" or not ($3), the source folder $4.
# CMake passes a linker flag to clang++ ($5) as words after -Xlinker.
needs_of() {
	local needs=(-D_FILE_OFFSET_BITS=64 -Wall -Wextra -Wpedantic -std=c++17) linking=()
	[[ " $1 " == *" -f"?(no-)exceptions" "* ]] || needs+=(-fno-exceptions)
	[[ $2 == *--?(no-)as-needed* ]] || linking+=("-Wl,--as-needed")
	if [[ -z $1$2 ]]; then
		needs+=(-O2 -g "-ffile-prefix-map=$4=.")
		if [[ $3 == hardened ]]; then
			needs+=(-fPIE -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3 -fstack-protector-strong
				-fstack-clash-protection -fcf-protection)
			linking+=(-fPIE -pie "-Wl,-z,relro" "-Wl,-z,now")
		fi
	fi
	printf '%s\n' "${needs[@]}" | sort
	echo --
	if [[ $5 == clang++ ]]; then
		linking=("${linking[@]//-Wl,/-Xlinker }")
		linking=("${linking[@]//,/ -Xlinker }")
	fi
	read -ra linking <<<"${linking[*]}"
	((${#linking[@]} == 0)) || printf '%s\n' "${linking[@]}" | sort
}

archive=$(release_archive)
release=$(basename "$archive" .tar.gz)
work=$(mktemp -d)
# A step cut short lets the tests it started end before their folder goes.
trap 'wait; rm -rf "$work"' EXIT
declare -A tests
mkdir -p "$work/debian/$release"
mapfile -t rows < <(builders "$work/debian/$release")
for row in "${rows[@]}"; do
	IFS='|' read -r name compiler how cxxflags ldflags args <<<"$row"
	echo "-- $name"
	src=$work/$name/$release log=$work/$name/build.log
	mkdir -p "$work/$name" && tar -xzf "$archive" -C "$work/$name"
	cxxflags=${cxxflags//SRC/$src}
	# openSUSE's %cmake comments out every such line before it configures.
	[[ $name != opensuse ]] || sed -i '/set *( *CMAKE_BUILD_TYPE/s/^/#/' "$src/CMakeLists.txt"
	read -ra args <<<"$args"
	given=(CXX="$compiler" ${cxxflags:+"CXXFLAGS=$cxxflags"} ${ldflags:+"LDFLAGS=$ldflags"})
	if [[ $how == cmake ]]; then
		given=(CXX="$compiler")
		args+=("-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags")
	fi
	(cd "$src" && env -u CXXFLAGS -u LDFLAGS "${given[@]}" cmake -B build "${args[@]}" &&
		cmake --build build --verbose) >"$log" 2>&1 || { cat "$log"; exit 1; }
	# CMake's one remark on the builder's own arguments aside.
	if sed '/^CMake Warning:$/{N;/\n  Manually-specified variables were not used/d}' "$log" | grep -i warning; then
		echo "$name: the build warns" >&2
		exit 1
	fi
	type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$src/build/CMakeCache.txt")
	type_flags=
	[[ -z $type ]] || type_flags=$(sed -n "s/^CMAKE_CXX_FLAGS_${type^^}:[A-Z]*=//p" "$src/build/CMakeCache.txt")
	hardened=hardened
	[[ " ${args[*]} " != *" -DSYSDEMOS_HARDENING=OFF "* ]] || hardened=
	expected=$(needs_of "$cxxflags" "$ldflags" "$hardened" "$src" "$compiler")
	for program in "${programs[@]}"; do
		compile=$(grep -E " -c .*/$program/$program\.cpp( |$)" "$log")
		link=$(grep -E " -o $program( |$)" "$log")
		diff <(echo "$expected") <(others "$compile" "$cxxflags" "$type_flags"; echo --
			others "$link" "$cxxflags"$'\n'"$ldflags" "$type_flags") ||
			{ echo "$name: $program's lines hold other flags than expected (<) and the builder's:"$'\n'"$compile"$'\n'"$link" >&2; exit 1; }
	done
	# The tests mostly sleep: they run on while the next builder builds.
	ctest --test-dir "$src/build" --output-on-failure -j4 -LE slow >"$src/test.log" 2>&1 </dev/null &
	tests[$!]=$src/test.log
done
for pid in "${!tests[@]}"; do
	wait "$pid" || { cat "${tests[$pid]}"; exit 1; }
done
echo "every builder's build passed the fast tests"
