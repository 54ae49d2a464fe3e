# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The flags of the target project_options, which every program and test
# helper links: the builder's flags or the project's, never a mix.  A
# builder who gives any (CXXFLAGS or LDFLAGS, which CMake takes when it
# first configures, or CMAKE_CXX_FLAGS or CMAKE_EXE_LINKER_FLAGS) gets
# them alone, with only what the programs need to be correct.  A build
# with none is optimised, has debug information and, unless
# SYSDEMOS_HARDENING is off, is hardened.

include(CheckCXXCompilerFlag)
include(CheckPIESupported)

add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_17)
# A 32-bit build otherwise calls readdir, which fails with EOVERFLOW on an
# entry whose inode number or offset needs 64 bits; this makes it readdir64.
target_compile_definitions(project_options INTERFACE _FILE_OFFSET_BITS=64)
target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic)
# Nothing here throws: without exception tables an ARM build needs no
# unwinder from libgcc_s.
if(NOT " ${CMAKE_CXX_FLAGS} " MATCHES " -f(no-)?exceptions ")
  target_compile_options(project_options INTERFACE -fno-exceptions)
endif()
# --as-needed drops the C++ runtime, which the programs never call:
# libc.so.6 (and, on some architectures, the dynamic loader, which holds the
# stack protector's guard) is left as their only shared library.
if(NOT " ${CMAKE_EXE_LINKER_FLAGS} " MATCHES "--(no-)?as-needed")
  target_link_options(project_options INTERFACE LINKER:--as-needed)
endif()

string(STRIP "${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}" builder_flags)
if(builder_flags)
  return()
endif()

# Adds the compile flag $1 where the compiler takes it for this target
# without a word: clang accepts another target's flag with a mere warning.
function(add_compile_flag flag)
  string(MAKE_C_IDENTIFIER "CXX_HAS${flag}" known)
  set(CMAKE_REQUIRED_FLAGS -Werror)
  check_cxx_compiler_flag(${flag} ${known})
  if(${known})
    target_compile_options(project_options INTERFACE ${flag})
  endif()
endfunction()

# Optimised, as _FORTIFY_SOURCE needs, unless a build type chooses; and the
# same binaries from any checkout path, debug information naming the
# sources relative to it.
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  target_compile_options(project_options INTERFACE -O2 -g)
endif()
target_compile_options(project_options INTERFACE "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.")

if(SYSDEMOS_HARDENING)
  # Position-independent executables, test helpers included.  Set before
  # any target is made, which takes it.
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  # Some compilers define _FORTIFY_SOURCE already.
  target_compile_options(project_options INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3>)
  # The last two are control-flow protection: x86's and arm64's.
  foreach(flag -fstack-protector-strong -fstack-clash-protection
      -fcf-protection -mbranch-protection=standard)
    add_compile_flag(${flag})
  endforeach()
  target_link_options(project_options INTERFACE LINKER:-z,relro LINKER:-z,now)
endif()
