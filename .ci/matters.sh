# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Sourced by the builders step: what the flags on a compile or link line
# decide, and the check that each matter is decided once.

shopt -s extglob

# Prints the matter that each flag of the command line $1 decides, one a
# line.  The items of -Wp, and -Wl, lists count one by one, as does the
# word after -Xlinker; an -U of _FORTIFY_SOURCE just before its -D makes
# one setting with it.
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
# the lines of $2: they stand as given, and the rest of the line sets no
# matter twice and none that they set.  Where the builder chose a build
# type ($3 is "typed"), its optimisation and debug levels are CMake's to
# add and are not looked at.  Each matter that follows must be set; one
# marked with a leading - must not be set by the project.
check_line() {
	local line=$1 flags theirs= ours twice matter ignore='^$'
	[[ $3 != typed ]] || ignore='^(optimisation|debug)$'
	while read -r flags; do
		[[ -n $flags ]] || continue
		[[ $line == *" $flags "* ]] || { echo "the builder's flags are not all on: $line" >&2; return 1; }
		line=${line/" $flags "/ }
		theirs+=$(matters "$flags")$'\n'
	done <<<"$2"
	shift 3
	theirs=$(sed -E "/$ignore/d" <<<"$theirs" | sort -u)
	ours=$(matters "$line" | sed -E "/$ignore/d" | sort)
	twice=$(sort -u <(uniq -d <<<"$ours") <(comm -12 <(uniq <<<"$ours") <(echo "$theirs")))
	[[ -z $twice ]] || { echo "set again:" $twice "in: $line" >&2; return 1; }
	for matter in "$@"; do
		if [[ $matter == -* ]] && grep -q -x -e "${matter#-}" <<<"$ours"; then
			echo "the project sets ${matter#-} in: $line" >&2
			return 1
		elif [[ $matter != -* ]] && ! grep -q -x -e "$matter" <<<"$theirs"$'\n'"$ours"; then
			echo "$matter is not set in: $line" >&2
			return 1
		fi
	done
}
