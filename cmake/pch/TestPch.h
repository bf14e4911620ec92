// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Precompiled header of the test executables without windows (see cmake/BuildSpeed.cmake).
#pragma once

#include "CorePch.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
