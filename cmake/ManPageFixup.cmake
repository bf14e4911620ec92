# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Makes a help2man page read clean under mandoc -Tlint:
#   cmake -DPAGE=file.1 -DDATE=YYYY-MM-DD -P ManPageFixup.cmake
# - the date of .TH becomes DATE (help2man writes "January 2026", which
#   mandoc cannot parse);
# - text lines over 78 bytes are cut at spaces (roff fills them again), except
#   a .TP tag (the line after .TP) and lines inside .nf/.fi.
file(STRINGS "${PAGE}" lines)
set(out "")
set(previous "")
set(nofill FALSE)
foreach(line IN LISTS lines)
  if(line MATCHES "^\\.TH ")
    string(REGEX REPLACE "^(\\.TH [^\"]*\"[^\"]*\") \"[^\"]*\"" "\\1 \"${DATE}\"" line "${line}")
  endif()
  if(line MATCHES "^\\.nf")
    set(nofill TRUE)
  elseif(line MATCHES "^\\.fi")
    set(nofill FALSE)
  endif()
  string(LENGTH "${line}" length)
  if(length GREATER 78 AND NOT line MATCHES "^[.']" AND NOT previous MATCHES "^\\.TP"
     AND NOT nofill)
    string(REPLACE " " ";" words "${line}")
    set(current "")
    foreach(word IN LISTS words)
      string(LENGTH "${current} ${word}" next)
      if(NOT current STREQUAL "" AND next GREATER 78)
        string(APPEND out "${current}\n")
        set(current "")
      endif()
      if(current STREQUAL "")
        # A line may not start a request.
        if(word MATCHES "^[.']")
          set(word "\\&${word}")
        endif()
        set(current "${word}")
      else()
        string(APPEND current " ${word}")
      endif()
    endforeach()
    string(APPEND out "${current}\n")
  else()
    string(APPEND out "${line}\n")
  endif()
  set(previous "${line}")
endforeach()
file(WRITE "${PAGE}" "${out}")
