// Precompiled header of the window tests (see cmake/BuildSpeed.cmake). QTest stays
// out: it reads QT_TESTCASE_BUILDDIR, which Qt defines per test folder.
#pragma once

#include "TestPch.h"
#include "UiPch.h"
