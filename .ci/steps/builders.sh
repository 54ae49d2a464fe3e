#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The release archive, taken as it is by each distribution's builder with
# its own flags, and by plain g++ and clang++: it builds without a warning,
# passes the fast tests, and no matter is set twice on a compile or link
# line, so the builder's flags stand and the project fills only what they
# leave open.
set -euo pipefail
shopt -s extglob

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

# Prints the matter that each flag of the command line $1 decides, one a
# line.  The items of -Wp, and -Wl, lists count one by one, as does the
# word after -Xlinker, and an -U of
# _FORTIFY_SOURCE just before its -D makes one setting with it.
matters() {
	local words items word item prev=
	read -ra words <<<"$1"
	for word in "${words[@]}"; do
		case $word in
		-Xlinker) prev=$word; continue ;;
		-Wl,*) IFS=, read -ra items <<<"${word#-Wl,}"; items=("${items[@]/#/ld:}") ;;
		-Wp,*) IFS=, read -ra items <<<"${word#-Wp,}" ;;
		*) items=("$word"); [[ $prev != -Xlinker ]] || items=("ld:$word") ;;
		esac
		for item in "${items[@]}"; do
			case $item in
			-U_FORTIFY_SOURCE) echo fortify ;;
			-D_FORTIFY_SOURCE*) [[ $prev == -U_FORTIFY_SOURCE ]] || echo fortify ;;
			-f?(no-)exceptions) echo exceptions ;;
			-f?(no-)stack-protector*) echo stack-protector ;;
			-f?(no-)stack-clash-protection) echo stack-clash ;;
			-f?(no-)cf-protection*|-mbranch-protection=*) echo control-flow ;;
			-f?(no-)@(pie|PIE|pic|PIC)) echo pic ;;
			-?(no-|static-)pie) echo pie ;;
			-f?(no-)lto?(=*)) echo lto ;;
			-f@(file|debug)-prefix-map=*) echo prefix-map ;;
			-O*) echo optimisation ;;
			-g?([0-3]|gdb*)) echo debug ;;
			ld:?(no)relro) echo relro ;;
			ld:@(now|lazy)) echo now ;;
			ld:--?(no-)as-needed) echo as-needed ;;
			esac
			prev=$item
		done
	done
}

# Checks the compile or link line $1 of a build whose builder's flags are
# the lines of $2.  They stand as given, and the rest of the line sets no
# matter twice and none that they set.  $3 is "typed" where the builder
# chose a build type, whose optimisation and debug levels are then CMake's
# to add and are not looked at.  Each of the matters that follow must be
# set; those marked with a leading - must not be set by the project.
check_line() {
	local line=$1 typed=$3 flags theirs= ours twice matter
	while read -r flags; do
		[[ -n $flags ]] || continue
		[[ $line == *" $flags "* ]] || { echo "the builder's flags are not all on: $line" >&2; return 1; }
		line=${line/" $flags "/ }
		theirs+=$(matters "$flags")$'\n'
	done <<<"$2"
	shift 3
	theirs=$(sort -u <<<"$theirs" | sed '/^$/d')
	ours=$(matters "$line" | sort)
	if [[ $typed == typed ]]; then
		theirs=$(grep -v -x -e optimisation -e debug <<<"$theirs" || true)
		ours=$(grep -v -x -e optimisation -e debug <<<"$ours" || true)
	fi
	twice=$(sort -u <(uniq -d <<<"$ours") <(comm -12 <(uniq <<<"$ours") <(echo "$theirs")))
	[[ -z $twice ]] || { echo "set again:" $twice "in: $line" >&2; return 1; }
	for matter in "$@"; do
		case $matter in
		-*) ! grep -q -x -e "${matter#-}" <<<"$ours" ;;
		*) grep -q -x -e "$matter" <<<"$theirs"$'\n'"$ours" ;;
		esac || { echo "$matter in: $line" >&2; return 1; }
	done
}

cmake -B build >/dev/null
cmake --build build --target dist >/dev/null
release=sysdemos-$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
archive=$PWD/build/$release.tar.gz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

declare -A tests
mkdir -p "$work/debian/$release"
mapfile -t rows < <(builders "$work/debian/$release")
for row in "${rows[@]}"; do
	IFS='|' read -r name compiler how cxxflags ldflags args <<<"$row"
	printf '%s\n' "-- $name"
	src=$work/$name/$release
	mkdir -p "$work/$name"
	tar -xzf "$archive" -C "$work/$name"
	cxxflags=${cxxflags//SRC/$src}
	# openSUSE's %cmake comments out every such line before it configures.
	[[ $name != opensuse ]] || sed -i '/set *( *CMAKE_BUILD_TYPE/s/^/#/' "$src/CMakeLists.txt"
	read -ra args <<<"$args"
	given=(CXX="$compiler")
	if [[ $how == env ]]; then
		[[ -z $cxxflags ]] || given+=(CXXFLAGS="$cxxflags")
		[[ -z $ldflags ]] || given+=(LDFLAGS="$ldflags")
	else
		args+=("-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags")
	fi
	log=$src/build.log
	(cd "$src" && env -u CXXFLAGS -u LDFLAGS "${given[@]}" cmake -B build "${args[@]}" &&
		cmake --build build --verbose) >"$log" 2>&1 || { cat "$log"; exit 1; }
	# CMake's one remark on the builder's own arguments aside.
	if sed '/^CMake Warning:$/{N;/\n  Manually-specified variables were not used/d}' "$log" | grep -i warning; then
		echo "$name: the build warns" >&2
		exit 1
	fi
	typed=untyped
	[[ " ${args[*]} " != *" -DCMAKE_BUILD_TYPE="!(None)" "* ]] || typed=typed
	compile=(fortify stack-protector stack-clash control-flow pic)
	link=(pie relro now)
	if [[ " ${args[*]} " == *" -DSYSDEMOS_HARDENING=OFF "* ]]; then
		compile=("${compile[@]/#/-}") link=("${link[@]/#/-}")
	fi
	[[ $typed == typed ]] || compile+=(optimisation)
	for program in dirview spawnwait spawnlinger; do
		check_line "$(grep -E " -c .*/$program/$program\.cpp( |$)" "$log")" "$cxxflags" "$typed" "${compile[@]}"
		check_line "$(grep -E " -o $program( |$)" "$log")" "$cxxflags"$'\n'"$ldflags" "$typed" as-needed "${link[@]}"
	done
	# The tests mostly sleep: they run on while the next builder builds.
	ctest --test-dir "$src/build" --output-on-failure -j4 -LE slow >"$src/test.log" 2>&1 </dev/null &
	tests[$!]=$src/test.log
done
for pid in "${!tests[@]}"; do
	wait "$pid" || { cat "${tests[$pid]}"; exit 1; }
done
echo "every builder's build passed the fast tests"
