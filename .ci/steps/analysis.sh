# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# clang-tidy over every source, with the checks in .clang-tidy, and the
# fast tests under AddressSanitizer and UndefinedBehaviorSanitizer, from
# one configured build.
source "$(dirname "$0")/../lib.sh"
build_in build-san -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
	-DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# CMake writes each $ of a path as $$ into the compilation database too.
sed -i 's/\$\$/$/g' build-san/compile_commands.json
git ls-files -z '*.cpp' | xargs -0 clang-tidy --quiet -p build-san 2>build-san/tidy.log || { cat build-san/tidy.log; fail "clang-tidy finds faults"; }
ctest --test-dir build-san --output-on-failure -j2 -LE slow || fail "the tests fail under the sanitizers"
