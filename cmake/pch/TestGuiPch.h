// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Precompiled header of the window tests (see cmake/BuildSpeed.cmake). QTest stays
// out: it reads QT_TESTCASE_BUILDDIR, which Qt defines per test folder.
#pragma once

#include "TestPch.h"
#include "UiPch.h"
