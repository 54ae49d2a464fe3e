# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The flags of project_options, which every program and test helper links:
# the builder's (CXXFLAGS or LDFLAGS at the first configure, CMAKE_CXX_FLAGS
# or CMAKE_EXE_LINKER_FLAGS) with what the programs need, and nothing else;
# given none, the project's: optimised, with debug information, hardened.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_17)
# A 32-bit build otherwise calls readdir, which fails with EOVERFLOW on an
# entry whose inode number or offset needs 64 bits.
target_compile_definitions(project_options INTERFACE _FILE_OFFSET_BITS=64)
target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic)
# Nothing throws: without exception tables an ARM build needs no libgcc_s.
if(NOT " ${CMAKE_CXX_FLAGS} " MATCHES " -f(no-)?exceptions ")
  target_compile_options(project_options INTERFACE -fno-exceptions)
endif()
# It drops the C++ runtime, which the programs never call.
if(NOT CMAKE_EXE_LINKER_FLAGS MATCHES "--(no-)?as-needed")
  target_link_options(project_options INTERFACE LINKER:--as-needed)
endif()
if("${CMAKE_CXX_FLAGS}${CMAKE_EXE_LINKER_FLAGS}" MATCHES "[^ ]")
  return()
endif()
# Optimised, as _FORTIFY_SOURCE needs, unless a build type chooses; the
# same binaries from any checkout path.
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  target_compile_options(project_options INTERFACE -O2 -g)
endif()
target_compile_options(project_options INTERFACE "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.")
if(NOT SYSDEMOS_HARDENING)
  return()
endif()
# The hardening that cmake/hardening.txt lists, test helpers included;
# each compile flag where the compiler takes it without a word: clang
# merely warns at another target's, such as x86's or arm64's control-flow
# protection.
file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/hardening.txt lines REGEX "^[a-z]")
include(CheckCXXCompilerFlag)
set(CMAKE_REQUIRED_FLAGS -Werror)
foreach(line IN LISTS lines)
  separate_arguments(words UNIX_COMMAND "${line}")
  list(POP_FRONT words place flag)
  if(place STREQUAL "link")
    target_link_options(project_options INTERFACE ${flag})
  elseif(place STREQUAL "optimised")
    target_compile_options(project_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:${flag}>)
  else()
    string(MAKE_C_IDENTIFIER "CXX_HAS${flag}" known)
    check_cxx_compiler_flag(${flag} ${known})
    if(${known})
      target_compile_options(project_options INTERFACE ${flag})
    endif()
  endif()
endforeach()
unset(CMAKE_REQUIRED_FLAGS)
