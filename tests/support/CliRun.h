#pragma once

// Runs a tarvine-cli command line in-process through the program's own entry:
// the options, then the runner; usage errors come back as exit 1.
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"

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
    QString error;
    const auto options = CliOptions::parse(args, error);
    if (!options)
        return {CliRunner::Usage, QString(), error};
    CliRunner runner(*options, outStream, errStream);
    const int code = runner.run();
    return {code, out, err};
}

} // namespace testsupport
