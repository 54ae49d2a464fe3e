#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The manual pages lint clean under mandoc.
source "$(dirname "$0")/../lib.sh"

needs mandoc
for program in "${programs[@]}"; do
	mandoc -Tlint -Wwarning "$program/$program.1"
done
