// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Program entry of the desktop tool: data folder and log, then the windows and
// the message loop.
#include "app/DesktopApplication.h"
#include "base/Diagnostics.h"
#include "platform/DataFolder.h"

#include <TarvineVersion.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    // The tool itself takes no arguments; these two only answer and leave.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tarvine %s\n%s", TARVINE_VERSION, TARVINE_VERSION_NOTICE);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(desktopHelpText(), stdout);
        return 0;
    }
    const QString applicationName = QStringLiteral("Tarvine");
    // The data folder ($XDG_DATA_HOME/tarvine; the program's folder when
    // nothing locates it), then the log: errors to the log file only,
    // information nowhere, everything in one file.
    const DataFolder::Result folder = DataFolder::prepare(DataFolder::programFolder());
    SetLogTarget(LogOutput::File, folder.path, applicationName);
    SetLogOptions(0, 255, false, true, applicationName);
    return runDesktopApplication(argc, argv, applicationName);
}
