// tarvine-cli: a command-line front end over the tool's core objects.
#include "base/Diagnostics.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include <TarvineVersion.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    if (app.arguments().mid(1) == QStringList{QStringLiteral("--version")}) {
        out << "tarvine-cli " << TARVINE_VERSION << "\n" << TARVINE_VERSION_NOTICE << Qt::flush;
        return 0;
    }
    QString error;
    const auto options = CliOptions::parse(app.arguments().mid(1), error);
    if (!options) {
        if (error.isEmpty()) {
            out << CliOptions::usage();
            return 0;
        }

        err << "tarvine-cli: " << error << Qt::endl << CliOptions::usage();
        return CliRunner::Usage;
    }
    // Internal errors go to standard error with --verbose; never to log files.
    SetLogTarget(options->verbose ? LogOutput::Console : 0, QStringLiteral("."),
                 QStringLiteral("tarvine-cli"));
    SetLogOptions(0, 255, false, true, QStringLiteral("tarvine-cli"));

    CliRunner runner(*options, out, err);
    return runner.run();
}
