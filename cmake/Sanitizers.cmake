# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Sanitizer builds, chosen with -DTARVINE_SANITIZE=address|thread, and the
# instrumentation of the fuzz build (-DTARVINE_BUILD_FUZZ=ON, clang).
#
# Undefined behaviour is never recovered from: the first report ends the
# program (a test fails, a fuzz target writes its crash input).
if(TARVINE_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(TARVINE_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TARVINE_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TARVINE_SANITIZE must be empty, 'address' or 'thread'")
endif()

if(TARVINE_BUILD_FUZZ)
  if(NOT TARVINE_SANITIZE STREQUAL "")
    message(FATAL_ERROR "The fuzz build brings its own sanitizers; leave TARVINE_SANITIZE empty")
  endif()
  # Every library the fuzz targets link is instrumented for coverage and checked
  # by AddressSanitizer and UBSan; the targets add -fsanitize=fuzzer (fuzz/).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
