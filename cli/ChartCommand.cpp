// tarvine-cli chart PAGE FILE: the CSV that "Export CSV..." writes for one of
// the main window's charts, from 200 polled samples.
#include "cli/CliRunner.h"

#include "cli/FileCommands.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "panel/ChartCsv.h"
#include "panel/ChartPages.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <set>

namespace {

constexpr int ChartPoints = 200;

} // namespace

int CliRunner::chart()
{
    const int index = ChartPages::find(m_options.arguments.value(0));
    const QString path = m_options.arguments.value(1);
    const ChartPages::Page &page = ChartPages::pages()[size_t(index)];
    ChartColumns columns;
    columns.timeTitle = page.timeTitle;
    for (const QString &title : page.titles)
        columns.series.push_back({title, {}});

    m_session->RefreshRatio = m_options.refreshMs;
    m_connection->setPollingEnabled(true);
    // Samples come at most one per read cycle; a slow device gets five cycles each.
    const qint64 limit =
        std::max<qint64>(m_options.timeoutMs, qint64(ChartPoints) * m_options.refreshMs * 5);
    QElapsedTimer clock;
    clock.start();
    std::set<int> missing;
    while (int(columns.keys.size()) < ChartPoints && clock.elapsed() < limit) {
        m_answer = false;
        waitFor([this] { return m_answer || m_failed; }, 50);
        if (m_failed)
            return fail(ConnectionFailed,
                        QStringLiteral("connection lost (%1) after %2 samples")
                            .arg(m_status0)
                            .arg(columns.keys.size()));
        if (!m_answer)
            continue;
        std::bitset<RegisterCount> received;
        const std::optional<ReceivedValues> v = takeCycleValues(&received);
        if (!v)
            continue;
        // A sample is taken only when every series has a value from the device.
        bool complete = true;
        for (int address : page.registers)
            if (!received.test(size_t(address))) {
                complete = false;
                missing.insert(address);
            }
        if (!complete)
            continue;
        // The factor is 1 without the wavelength remote's settings file.
        const std::vector<double> values = ChartPages::sample(index, *v, 1.0f);
        const double step = page.milliseconds ? m_options.refreshMs : 1;
        columns.keys.push_back(double(columns.keys.size()) * step);
        for (size_t s = 0; s < columns.series.size() && s < values.size(); ++s)
            columns.series[s].values.push_back(values[s]);
    }
    if (int(columns.keys.size()) < ChartPoints) {
        QStringList names;
        for (int address : missing)
            names << CliLink::addressText(address);
        return fail(TimedOut, QStringLiteral("only %1 of %2 samples within %3 ms%4")
                                  .arg(columns.keys.size())
                                  .arg(ChartPoints)
                                  .arg(limit)
                                  .arg(names.isEmpty() ? QString()
                                                       : QStringLiteral(" (%1 not received)")
                                                             .arg(names.join(QStringLiteral(", ")))));
    }
    QString error;
    if (!writeFileAtomically(path, ChartCsv::compose(columns), &error))
        return fail(FileCommands::BadFile, QStringLiteral("cannot write %1: %2")
                                               .arg(QDir::toNativeSeparators(path), error));
    m_out << "wrote " << ChartPoints << " samples of the " << page.name << " chart to " << path
          << Qt::endl;
    return Ok;
}
