#include "cli/CliProgram.h"

#include "cli/CliContext.h"
#include "cli/CliHelp.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"

#include <TarvineVersion.h>

namespace CliProgram {

int run(const QStringList &args, QTextStream &out, QTextStream &err,
        const std::function<void(const CliOptions &)> &prepare)
{
    if (args == QStringList{QStringLiteral("--version")}) {
        out << "tarvine-cli " << TARVINE_VERSION << "\n" << TARVINE_VERSION_NOTICE << Qt::flush;
        return CliExit::Ok;
    }
    QString error;
    const auto options = CliOptions::parse(args, error);
    if (!options) {
        if (!error.isEmpty()) {
            err << cliErrorLine(CliExit::Usage, error) << Qt::endl;
            return CliExit::Usage;
        }
        out << (args.contains(QStringLiteral("--markdown")) ? CliHelp::markdown()
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
