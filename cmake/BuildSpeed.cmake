# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Build speed.
#
# Precompiled headers: most of a compile here was spent parsing the same Qt
# and GoogleTest headers, so each library parses them once into a precompiled
# header (cmake/pch/), and the test executables share the one of their test
# support library (REUSE_FROM: their compile flags are the same; GCC says
# "not used because ..." under -Winvalid-pch when they are not).
#
# Turn them off with -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON (every source still
# includes what it uses, so it builds either way).
set(TARVINE_PCH_DIR ${CMAKE_SOURCE_DIR}/cmake/pch)

# tarvine_precompile(<target> CORE|UI|TEST|TEST_GUI): the target's own
# precompiled header of that kind.
function(tarvine_precompile target kind)
  if(kind STREQUAL "CORE")
    set(header CorePch.h)
  elseif(kind STREQUAL "UI")
    set(header UiPch.h)
  elseif(kind STREQUAL "TEST")
    set(header TestPch.h)
  elseif(kind STREQUAL "TEST_GUI")
    set(header TestGuiPch.h)
  else()
    message(FATAL_ERROR "tarvine_precompile: unknown kind ${kind}")
  endif()
  target_precompile_headers(${target} PRIVATE ${TARVINE_PCH_DIR}/${header})
endfunction()

# ccache compiles sources with a precompiled header only with this sloppiness.
if(CMAKE_CXX_COMPILER_LAUNCHER MATCHES "ccache" AND NOT CMAKE_DISABLE_PRECOMPILE_HEADERS)
  set(CMAKE_CXX_COMPILER_LAUNCHER
      ${CMAKE_COMMAND} -E env
      "CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime"
      ${CMAKE_CXX_COMPILER_LAUNCHER})
endif()

# GNU gold links the test executables in half the time of the default linker.
include(CheckLinkerFlag)
check_linker_flag(CXX -fuse-ld=gold TARVINE_HAVE_GOLD)
if(TARVINE_HAVE_GOLD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_link_options(-fuse-ld=gold)
endif()
