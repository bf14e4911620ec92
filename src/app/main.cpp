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
        std::printf("Usage: tarvine\n"
                    "Set-up, tuning and test tool for Ethernet motor controllers.\n"
                    "Opens the main window; connect to a controller with\n"
                    "Communication > Connection..., or try the built-in virtual controller\n"
                    "with Communication > Virtual controller....\n"
                    "\n"
                    "  --help     show this text and exit\n"
                    "  --version  show the version and exit\n"
                    "\n"
                    "Diagnostic logs are written to $XDG_DATA_HOME/tarvine\n"
                    "(by default ~/.local/share/tarvine).\n");
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
