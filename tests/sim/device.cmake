# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Device-side tests of the virtual controller: register sets, EEPROM, motor,
# regulator and the controller features (manual clock, no sockets).
tarvine_add_test(test_sim_device
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/SimDeviceAccess.h
    ${CMAKE_CURRENT_LIST_DIR}/SimControllerTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MotorModelTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SimFeaturesTest.cpp
  LIBS tarvine_sim
  LABELS threaded)
