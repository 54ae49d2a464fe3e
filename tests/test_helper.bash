# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD

# Shared by the suites.  CTest passes the programs under test in DIRVIEW,
# SPAWNWAIT and SPAWNLINGER, and the test helpers in NOFORK and SUBREAPER.

bats_require_minimum_version 1.5.0

# Byte order for sort, and the C locale's messages for any tool that
# would translate them.
export LC_ALL=C

# Run outside CTest, the suites would test nothing: say so at once.
: "${DIRVIEW:?run the tests through ctest}"

# Milliseconds since $1, a clock reading taken as ${EPOCHREALTIME/./}.
ms_since() {
	echo $(((${EPOCHREALTIME/./} - $1) / 1000))
}
