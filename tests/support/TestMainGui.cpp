// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Entry of the window tests: the test entry with a QApplication. The switch is
// made here rather than on the command line, so that the window tests compile
// with the same flags as this file and share its precompiled header.
#define TARVINE_TEST_GUI
#include "TestMain.cpp"
