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
# Position-independent executables, test helpers included: set before any
# target is made.  Some compilers define _FORTIFY_SOURCE already.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
target_compile_options(project_options INTERFACE $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3>)
target_link_options(project_options INTERFACE LINKER:-z,relro LINKER:-z,now)
# Each where the compiler takes it without a word: clang merely warns at
# another target's, such as x86's or arm64's control-flow protection.
include(CheckCXXCompilerFlag)
set(CMAKE_REQUIRED_FLAGS -Werror)
foreach(flag -fstack-protector-strong -fstack-clash-protection -fcf-protection
    -mbranch-protection=standard)
  string(MAKE_C_IDENTIFIER "CXX_HAS${flag}" known)
  check_cxx_compiler_flag(${flag} ${known})
  if(${known})
    target_compile_options(project_options INTERFACE ${flag})
  endif()
endforeach()
unset(CMAKE_REQUIRED_FLAGS)
