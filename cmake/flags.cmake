# SPDX-FileCopyrightText: 2026 The sysdemos authors
# SPDX-License-Identifier: 0BSD
#
# The flags of the target project_options, which every program and test
# helper links.  The builder's flags (CMAKE_CXX_FLAGS and
# CMAKE_EXE_LINKER_FLAGS, which CMake fills from CXXFLAGS and LDFLAGS when
# it first configures) come first and stand: a flag of the project's is
# added only where they leave its matter open, so none is repeated or
# overridden.  SYSDEMOS_HARDENING turns the project's hardening off.

include(CheckCXXCompilerFlag)
include(CheckPIESupported)
check_pie_supported()

add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_17)
# A 32-bit build otherwise calls readdir, which fails with EOVERFLOW on an
# entry whose inode number or offset needs 64 bits; this makes it readdir64.
target_compile_definitions(project_options INTERFACE _FILE_OFFSET_BITS=64)
target_compile_options(project_options INTERFACE -Wall -Wextra -Wpedantic)

string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
set(builder_flags " ${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${config}} ")
set(builder_link_flags " ${CMAKE_EXE_LINKER_FLAGS} ${CMAKE_EXE_LINKER_FLAGS_${config}} ")
# Adds the compile flag $1 where the builder's flags hold nothing that
# matches the pattern $2 and the compiler takes it for this target without
# a word: clang accepts another target's flag with a mere warning.
function(add_compile_flag flag pattern)
  string(REGEX REPLACE "=.*" "" known "${flag}")
  string(MAKE_C_IDENTIFIER "CXX_HAS${known}" known)
  if(NOT builder_flags MATCHES "${pattern}")
    set(CMAKE_REQUIRED_FLAGS -Werror)
    check_cxx_compiler_flag(${flag} ${known})
    if(${known})
      target_compile_options(project_options INTERFACE ${flag})
    endif()
  endif()
endfunction()

# Without a build type, the builder's flags choose the optimisation and
# debug levels; those they leave open get an optimised build with debug
# information, which _FORTIFY_SOURCE needs.
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  add_compile_flag(-O2 " -O")
  add_compile_flag(-g " -g")
endif()
# Nothing here throws: without exception tables an ARM build needs no
# unwinder from libgcc_s.
add_compile_flag(-fno-exceptions " -f(no-)?exceptions ")

# The same binaries from any checkout path: debug information names the
# sources relative to it.
if(NOT builder_flags MATCHES " -f(file|debug)-prefix-map=")
  target_compile_options(project_options INTERFACE "-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.")
endif()
# --as-needed drops the C++ runtime, which the programs never call:
# libc.so.6 (and, on some architectures, the dynamic loader, which holds the
# stack protector's guard) is left as their only shared library.
if(NOT builder_link_flags MATCHES "--(no-)?as-needed")
  target_link_options(project_options INTERFACE LINKER:--as-needed)
endif()

if(SYSDEMOS_HARDENING)
  # Position-independent executables, test helpers included, unless the
  # builder has chosen.  Set before any target is made, which takes it.
  if(NOT builder_flags MATCHES " -f(no-)?(PIE|pie|PIC|pic) "
     AND NOT builder_link_flags MATCHES " -(no-|static-)?pie ")
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  endif()
  # _FORTIFY_SOURCE needs optimisation; some compilers define it already.
  # The builder may set it as -D or -U, or pass either through -Wp,.
  if(NOT builder_flags MATCHES "[ ,]-[DU] ?_FORTIFY_SOURCE")
    target_compile_options(project_options INTERFACE
      $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3>)
  endif()
  add_compile_flag(-fstack-protector-strong " -f(no-)?stack-protector")
  add_compile_flag(-fstack-clash-protection " -f(no-)?stack-clash-protection")
  # Control-flow protection: one of these is the target's, if any, and a
  # builder's choice of either decides it.
  set(control_flow " -f(no-)?cf-protection| -mbranch-protection=")
  add_compile_flag(-fcf-protection "${control_flow}")
  add_compile_flag(-mbranch-protection=standard "${control_flow}")
  if(NOT builder_link_flags MATCHES "relro")
    target_link_options(project_options INTERFACE LINKER:-z,relro)
  endif()
  if(NOT builder_link_flags MATCHES "-z[ ,]?(now|lazy)")
    target_link_options(project_options INTERFACE LINKER:-z,now)
  endif()
endif()
