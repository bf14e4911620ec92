// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli: a command-line front end over the tool's core objects.
#include "base/Diagnostics.h"
#include "cli/CliOptions.h"
#include "cli/CliProgram.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return CliProgram::run(app.arguments().mid(1), out, err, [](const CliOptions &options) {
        // Internal errors go to standard error with --verbose; never to log files.
        SetLogTarget(options.verbose ? LogOutput::Console : 0, QStringLiteral("."),
                     QStringLiteral("tarvine-cli"));
        SetLogOptions(0, 255, false, true, QStringLiteral("tarvine-cli"));
    });
}
