# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# Writes the release archive ARCHIVE: the files git tracks in the commit
# checked out in SOURCE, under the folder RELEASE.  Where it cannot be
# that commit's, it fails, saying why, and leaves no archive behind.
#
# usage: cmake -DSOURCE=dir -DRELEASE=name -DARCHIVE=file -P dist.cmake

cmake_minimum_required(VERSION 3.25)

# An archive from an earlier run would pass for this one's.
file(REMOVE "${ARCHIVE}")

find_program(GIT git)
if(NOT GIT)
  message(FATAL_ERROR "dist: the archive is made by git, which is missing (Debian: apt-get install git)")
endif()
execute_process(COMMAND "${GIT}" -C "${SOURCE}" rev-parse --is-inside-work-tree
  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
if(failed)
  message(FATAL_ERROR "dist: ${SOURCE} is not in a git checkout; the archive is made from one")
endif()
execute_process(COMMAND "${GIT}" -C "${SOURCE}" status --porcelain --untracked-files=no -- .
  RESULT_VARIABLE failed OUTPUT_VARIABLE changed)
if(failed OR changed)
  message(FATAL_ERROR "dist: the archive holds the commit checked out, and these tracked "
    "files differ from it; commit or undo their changes first:\n${changed}")
endif()

# Run in a folder of a larger repository, git archive takes that folder's
# files alone.  The archive is written under another name first, so that a
# failure part way leaves none that could pass for a whole one.
execute_process(COMMAND "${GIT}" -C "${SOURCE}" archive --format=tar.gz
  "--prefix=${RELEASE}/" -o "${ARCHIVE}.part" HEAD
  RESULT_VARIABLE failed)
if(failed)
  file(REMOVE "${ARCHIVE}.part")
  message(FATAL_ERROR "dist: git archive failed")
endif()
file(RENAME "${ARCHIVE}.part" "${ARCHIVE}")
