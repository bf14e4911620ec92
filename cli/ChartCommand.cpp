// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli chart PAGE FILE: the CSV that "Export CSV..." writes for one of
// the main window's charts, from 200 polled samples.
#include "cli/PollCommands.h"

#include "record/SampleHistory.h"

#include "cli/CliContext.h"
#include "cli/CliLink.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "panel/ChartCsv.h"
#include "panel/ChartPages.h"
#include "platform/AtomicFile.h"
#include "platform/HighResCounter.h"
#include "record/CycleCollector.h"

#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <set>

namespace PollCommands {

namespace {

constexpr int ChartPoints = 200;

QString checkChart(const CliOptions &options)
{
    const QString page = options.positional().value(0);
    if (ChartPages::find(page) < 0)
        return QStringLiteral("unknown chart %1 (position, speed, command, current, micrometres)")
            .arg(page);
    if (CliArguments::has(options.arguments, QStringLiteral("--seconds"))) {
        const QString s = CliArguments::value(options.arguments, QStringLiteral("--seconds"));
        if (!CliArguments::isDecimal(s) || s.toDouble() <= 0 || s.toDouble() > 60)
            return QStringLiteral("--seconds is a number of seconds from 0 to 60");
    }
    return CliArguments::checkInteger(options.arguments, QStringLiteral("--refresh"), 2, 200);
}

int chart(CliContext &c)
{
    const QStringList words = c.options.positional();
    const int index = ChartPages::find(words.value(0));
    const QString path = words.value(1);
    const int refreshMs =
        CliArguments::value(c.arguments(), QStringLiteral("--refresh"), QStringLiteral("20"))
            .toInt(nullptr, 0);
    // --seconds: every sample of that time, as a chart with a time history keeps them.
    const bool timed = CliArguments::has(c.arguments(), QStringLiteral("--seconds"));
    const double seconds =
        CliArguments::value(c.arguments(), QStringLiteral("--seconds"), QStringLiteral("0"))
            .toDouble();
    const int wanted = timed ? int(SampleHistory::MaxSamples) : ChartPoints;
    const ChartPages::Page &page = ChartPages::pages()[size_t(index)];
    ChartColumns columns;
    columns.timeTitle = ChartPages::TimeTitle;
    columns.timeDecimals = ChartPages::TimeDecimals;
    for (const QString &title : page.titles)
        columns.series.push_back({title, {}});

    c.session.RefreshRatio = refreshMs;
    // Every read cycle with its decode time (the charts' time axis).
    CycleCollector cycles(c.session);
    std::vector<int64_t> ticks;
    c.connection.setPollingEnabled(true);
    // Samples come at most one per read cycle; a slow device gets five cycles each.
    const qint64 limit =
        timed ? qint64(seconds * 1000)
              : std::max<qint64>(c.options.timeoutMs, qint64(ChartPoints) * refreshMs * 5);
    QElapsedTimer clock;
    clock.start();
    std::set<int> missing;
    while (int(ticks.size()) < wanted && clock.elapsed() < limit) {
        c.events.answered = false;
        c.waitFor([&c] { return c.events.answered || c.link.lost(); }, 50);
        if (c.link.lost())
            return c.fail(CliExit::LinkLost, QStringLiteral("connection to %1 lost after %2 samples: %3")
                                                 .arg(c.options.ip)
                                                 .arg(columns.keys.size())
                                                 .arg(c.connection.failure().description()));
        for (const DecodedCycle &cycle : cycles.take()) {
            if (int(ticks.size()) >= wanted)
                break;
            // A sample is taken only when every series has a value from the device.
            bool complete = true;
            for (int address : page.registers)
                if (!cycle.received.test(size_t(address))) {
                    complete = false;
                    missing.insert(address);
                }
            if (!complete)
                continue;
            // The factor is 1 without the wavelength remote's settings file.
            const std::vector<double> values = ChartPages::sample(index, cycle.values, 1.0f);
            ticks.push_back(cycle.ticks);
            columns.keys.push_back(0);
            for (size_t s = 0; s < columns.series.size() && s < values.size(); ++s)
                columns.series[s].values.push_back(values[s]);
        }
    }
    // Seconds relative to the newest sample, as the chart's time axis reads.
    for (size_t i = 0; i < ticks.size(); ++i)
        columns.keys[i] = double(ticks[i] - ticks.back()) / double(HighResCounter::frequency());
    if (timed) {
        // The collection ran S seconds of wall time from its start; the
        // samples kept are those of the S seconds before the newest one.
        const auto first = std::find_if(columns.keys.begin(), columns.keys.end(),
                                        [seconds](double key) { return key >= -seconds; });
        const auto dropped = first - columns.keys.begin();
        columns.keys.erase(columns.keys.begin(), first);
        for (auto &series : columns.series)
            series.values.erase(series.values.begin(),
                                series.values.begin() + std::min<ptrdiff_t>(dropped, ptrdiff_t(series.values.size())));
    }
    if (timed ? columns.keys.empty() : int(columns.keys.size()) < ChartPoints) {
        QStringList names;
        for (int address : missing)
            names << CliLink::addressText(address);
        return c.fail(CliExit::Unanswered, QStringLiteral("only %1 of %2 samples within %3 ms%4")
                                  .arg(columns.keys.size())
                                  .arg(timed ? 1 : ChartPoints)
                                  .arg(limit)
                                  .arg(names.isEmpty() ? QString()
                                                       : QStringLiteral(" (%1 not received)")
                                                             .arg(names.join(QStringLiteral(", ")))));
    }
    QString error;
    if (!writeFileAtomically(path, ChartCsv::compose(columns), &error))
        return c.fail(CliExit::BadFile, QStringLiteral("cannot write %1: %2")
                                            .arg(QDir::toNativeSeparators(path), error));
    c.out << "wrote " << columns.keys.size() << " samples of the " << page.name << " chart to " << path
          << Qt::endl;
    return CliExit::Ok;
}

} // namespace

const CliCommand Chart{"chart", "chart PAGE FILE [--refresh MS] [--seconds S]",
                       "poll 200 samples (with --seconds: every sample of S seconds, at most 60, "
                       "as a chart with a time history keeps them) and write the CSV of one chart "
                       "as \"Export CSV...\" does (PAGE: position, speed, command, current, "
                       "micrometres)",
                       CliNeeds::Device, &chart, &checkChart, "6 FILE not written"};

} // namespace PollCommands
