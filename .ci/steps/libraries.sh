#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Each program needs libc.so.6 and no other shared library.
source "$(dirname "$0")/../lib.sh"

native_build
needs_libc_alone build
