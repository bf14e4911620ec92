# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# The date of the sources, in seconds since 1970 (TARVINE_SOURCE_DATE_EPOCH):
# $SOURCE_DATE_EPOCH when the caller sets it, else the time of the last git
# commit, else the modification time of the top CMakeLists.txt (a tarball
# keeps it). Everything dated in the package - the changelog, the AppStream
# release, the copyright year, the files' times - comes from this one value,
# so two builds of one commit are alike.
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(TARVINE_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  set(commit_time "")
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET RESULT_VARIABLE git_result)
    if(NOT git_result EQUAL 0)
      set(commit_time "")
    endif()
  endif()
  if(commit_time MATCHES "^[0-9]+$")
    set(TARVINE_SOURCE_DATE_EPOCH "${commit_time}")
  else()
    file(TIMESTAMP ${CMAKE_SOURCE_DIR}/CMakeLists.txt TARVINE_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
endif()

# string(TIMESTAMP) formats $SOURCE_DATE_EPOCH instead of the current time.
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} "${TARVINE_SOURCE_DATE_EPOCH}")
string(TIMESTAMP TARVINE_SOURCE_DATE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP TARVINE_SOURCE_DATE_ISO "%Y-%m-%d" UTC)
string(TIMESTAMP TARVINE_SOURCE_YEAR "%Y" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

# The copyright years: from the first year of the project to the sources' year.
set(TARVINE_FIRST_YEAR 2026)
if(TARVINE_SOURCE_YEAR GREATER TARVINE_FIRST_YEAR)
  set(TARVINE_COPYRIGHT_YEARS "${TARVINE_FIRST_YEAR}-${TARVINE_SOURCE_YEAR}")
else()
  set(TARVINE_COPYRIGHT_YEARS "${TARVINE_FIRST_YEAR}")
endif()
