// Program entry of the desktop tool: data folder and log, then the windows and
// the message loop.
#include "app/Diagnostics.h"
#include "platform/DataFolder.h"
#include "ui/DesktopApplication.h"

int main(int argc, char **argv)
{
    const QString applicationName = QStringLiteral("Tarvine");
    // The data folder in the user profile (the program's folder when the
    // profile does not expand), then the log: errors to the log file only,
    // information nowhere, everything in one file.
    const DataFolder::Result folder = DataFolder::prepare(DataFolder::programFolder());
    SetLogTarget(LogOutput::File, folder.path, applicationName);
    SetLogOptions(0, 255, false, true, applicationName);
    return runDesktopApplication(argc, argv, applicationName);
}
