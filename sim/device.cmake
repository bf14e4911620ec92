# SPDX-FileCopyrightText: 2026 The Tarvine developers
# SPDX-License-Identifier: GPL-3.0-or-later

target_sources(tarvine_sim PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/SimAutoTuner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimAutoTuner.h
  ${CMAKE_CURRENT_LIST_DIR}/SimController.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimController.h
  ${CMAKE_CURRENT_LIST_DIR}/SimDrive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimDrive.h
  ${CMAKE_CURRENT_LIST_DIR}/SimDriveConditions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimDriveInternal.h
  ${CMAKE_CURRENT_LIST_DIR}/SimDriveRegisters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimEnhancedCommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimEnhancedCommand.h
  ${CMAKE_CURRENT_LIST_DIR}/SimHoming.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimHoming.h
  ${CMAKE_CURRENT_LIST_DIR}/SimModel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimModel.h
  ${CMAKE_CURRENT_LIST_DIR}/SimMotor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimMotor.h
  ${CMAKE_CURRENT_LIST_DIR}/SimRegisterAccess.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimRegisterAccess.h
  ${CMAKE_CURRENT_LIST_DIR}/SimRegisterImage.h
  ${CMAKE_CURRENT_LIST_DIR}/SimRegulator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimRegulator.h
  ${CMAKE_CURRENT_LIST_DIR}/SimTrajectory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SimTrajectory.h
)
