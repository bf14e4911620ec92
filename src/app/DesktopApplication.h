// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

/// Runs the desktop tool: the application object, the sixteen windows and the
/// message loop. An exception escaping them is shown in the standard exception
/// box. Returns 0. The log is configured by the caller beforehand.
int runDesktopApplication(int &argc, char **argv, const QString &applicationName);

/// The text of "tarvine --help" (also the source of its manual page). The
/// menu items it names are the main window's own.
const char *desktopHelpText();
