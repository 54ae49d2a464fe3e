#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The tests under AddressSanitizer and UndefinedBehaviorSanitizer.
source "$(dirname "$0")/../lib.sh"

needs "${suites[@]}"
cmake -B build-san -DCMAKE_BUILD_TYPE=Debug "$werror" \
	-DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake --build build-san
ctest --test-dir build-san --output-on-failure -j4
