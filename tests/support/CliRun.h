// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Runs a tarvine-cli command line in-process through the program's own entry
// (CliProgram): help, usage errors (one line, exit 1), then the runner.
#include "cli/CliExit.h"
#include "cli/CliProgram.h"

#include <QStringList>
#include <QTextStream>

namespace testsupport {

struct CliResult
{
    int code;
    QString out;
    QString err;
};

inline CliResult runCli(const QStringList &args)
{
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int code = CliProgram::run(args, outStream, errStream);
    outStream.flush();
    errStream.flush();
    return {code, out, err};
}

} // namespace testsupport
