#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Every file carries its license notice, in the REUSE convention.
source "$(dirname "$0")/../lib.sh"

needs reuse
reuse lint
