// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliProgram.h"

#include "cli/CliContext.h"
#include "cli/CliHelp.h"
#include "cli/CliManual.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"

#include <TarvineVersion.h>

namespace CliProgram {

namespace {

int usageError(QTextStream &err, const QString &message)
{
    err << cliErrorLine(CliExit::Usage, message) << Qt::endl;
    return CliExit::Usage;
}

} // namespace

int run(const QStringList &args, QTextStream &out, QTextStream &err,
        const std::function<void(const CliOptions &)> &prepare)
{
    if (args == QStringList{QStringLiteral("--version")}) {
        out << "tarvine-cli " << TARVINE_VERSION << "\n" << TARVINE_VERSION_NOTICE << Qt::flush;
        return CliExit::Ok;
    }
    if (args == QStringList{QStringLiteral("--completion"), QStringLiteral("bash")}) {
        out << CliManual::bashCompletion() << Qt::flush;
        return CliExit::Ok;
    }
    if (args.contains(QStringLiteral("--completion")))
        return usageError(err, QStringLiteral("--completion takes bash"));
    QString error;
    const auto options = CliOptions::parse(args, error);
    if (!options) {
        if (!error.isEmpty())
            return usageError(err, error);
        out << (args.contains(QStringLiteral("--markdown")) ? CliHelp::markdown()
                : args.contains(QStringLiteral("--man"))    ? CliManual::page()
                                                            : CliHelp::text());
        out.flush();
        return CliExit::Ok;
    }
    if (prepare)
        prepare(*options);
    CliRunner runner(*options, out, err);
    return runner.run();
}

} // namespace CliProgram
