#!/bin/sh
# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Installs, as root, the Debian or Ubuntu packages that grade/grade uses,
# where any is missing.  Gradescope runs it, at the root of the
# autograder's zip, when it builds the autograder's image.
set -eu
packages="g++ bubblewrap bats bats-assert bats-support strace perl util-linux bsdutils python3"
# shellcheck disable=SC2086 # the list, split into words
dpkg-query -W $packages >/dev/null 2>&1 && exit
apt-get update -qq
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $packages >/dev/null
