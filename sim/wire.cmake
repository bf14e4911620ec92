# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Wire side of the virtual controller and the tarvine-sim executable.
target_sources(tarvine_sim PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SimCommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimCommandLine.h
  ${CMAKE_CURRENT_LIST_DIR}/SimFaults.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimFaults.h
  ${CMAKE_CURRENT_LIST_DIR}/SimFrame.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimFrame.h
  ${CMAKE_CURRENT_LIST_DIR}/SimOutputQueue.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimOutputQueue.h
  ${CMAKE_CURRENT_LIST_DIR}/SimRequestLog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimRequestLog.h
  ${CMAKE_CURRENT_LIST_DIR}/SimResponder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimResponder.h
  ${CMAKE_CURRENT_LIST_DIR}/SimServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimServer.h
  ${CMAKE_CURRENT_LIST_DIR}/SimServerAnswers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimServerPrivate.h
)

add_executable(tarvine-sim ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(tarvine-sim PRIVATE tarvine_sim)
