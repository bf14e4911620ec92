# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Wire tests of the virtual controller (plain sockets on loopback; the broadcast
# discovery test creates its own network namespaces and is skipped without root).
tarvine_add_test(test_sim_wire
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/SimWireClient.h
    ${CMAKE_CURRENT_LIST_DIR}/SimServerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimFaultsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimExecutableTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimDiscoveryNamespaceTest.cpp
  LIBS tarvine_sim
  LABELS threaded)
target_compile_definitions(test_sim_wire PRIVATE
  TARVINE_SIM_EXECUTABLE="$<TARGET_FILE:tarvine-sim>")
add_dependencies(test_sim_wire tarvine-sim)
