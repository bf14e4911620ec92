// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli poll [--seconds S] [--refresh MS] [--csv FILE]: live values
// for the whole run, through lost and damaged answers and lost connections.
#include "cli/PollCommands.h"

#include "cli/CliContext.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "record/LiveRecorder.h"

#include <QElapsedTimer>
#include <QJsonObject>

#include <algorithm>

namespace PollCommands {

namespace {

/// Poll statistics over every connection of the run (counters restart at each open).
struct Totals
{
    int64_t requests = 0;
    int64_t answers = 0;
    int64_t checksumErrors = 0;
    int reopens = 0;

    void add(const CommStatistics &s)
    {
        requests += s.readRequestsSent.load() + s.writeRequestsSent.load();
        answers += s.answersDecoded.load();
        checksumErrors += s.checksumErrors.load();
    }
};

QString statisticsLine(const Totals &totals, std::vector<float> times)
{
    float median = 0.0f;
    float maximum = 0.0f;
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        median = times[times.size() / 2];
        maximum = times.back();
    }
    QString line =
        QStringLiteral("statistics: requests %1, answers %2, lost %3, checksum errors "
                       "%4, answer time median %5 ms, max %6 ms")
            .arg(totals.requests)
            .arg(totals.answers)
            .arg(totals.requests - totals.answers)
            .arg(totals.checksumErrors)
            .arg(QString::number(double(median), 'f', 3), QString::number(double(maximum), 'f', 3));
    if (totals.reopens > 0)
        line += QStringLiteral(", reopened %1").arg(totals.reopens);
    return line;
}

/// One value of a poll line: its name (the header's and the JSON field's),
/// register and text (a number in JSON, as printed).
struct PollField
{
    const char *name;
    int address;
    QString text;
};

QString checkPoll(const CliOptions &options)
{
    const QStringList &arguments = options.arguments;
    if (CliArguments::has(arguments, QStringLiteral("--seconds"))) {
        bool ok = false;
        const double seconds =
            CliArguments::value(arguments, QStringLiteral("--seconds")).toDouble(&ok);
        if (!ok || !(seconds > 0) || seconds > 86400)
            return QStringLiteral("--seconds must be a positive number of seconds");
    }
    if (CliArguments::has(arguments, QStringLiteral("--json"))
        && CliArguments::has(arguments, QStringLiteral("--csv")))
        return QStringLiteral("--json and --csv exclude each other");
    return CliArguments::checkInteger(arguments, QStringLiteral("--refresh"), 2, 200);
}

int poll(CliContext &c)
{
    const QStringList &args = c.arguments();
    const double seconds = CliArguments::value(args, QStringLiteral("--seconds"), QStringLiteral("5")).toDouble();
    const int refreshMs = CliArguments::value(args, QStringLiteral("--refresh"), QStringLiteral("20")).toInt(nullptr, 0);
    const QString csvFile = CliArguments::value(args, QStringLiteral("--csv"));
    const bool csv = !csvFile.isEmpty();
    const bool json = CliArguments::has(args, QStringLiteral("--json"));

    // With --csv the decoder's recorder writes the lines into the file.
    LiveRecorder recorder(c.session);
    if (csv) {
        QString error;
        if (!recorder.start(csvFile, RecordUnits::from(c.connection.profile()), &error))
            return c.fail(CliExit::BadFile, error);
    }
    c.session.RefreshRatio = refreshMs;
    c.connection.setPollingEnabled(true);
    if (!csv && !json)
        c.out << "time_ms position speed desired input mode voltage command temperature current"
              << Qt::endl;
    Totals totals;
    QElapsedTimer clock;
    clock.start();
    const qint64 end = qint64(seconds * 1000.0);
    int lines = 0;
    while (clock.elapsed() < end && !(csv && recorder.progress().failed)) {
        c.events.answered = false;
        c.waitFor([&c] { return c.events.answered || c.link.lost(); }, 50);
        if (c.link.lost()) {
            // A bench script wants its whole run: open again and identify again.
            if (c.options.verbose)
                c.err << "tarvine-cli: connection lost (" << c.connection.failure().description()
                      << "), reopening" << Qt::endl;
            totals.add(c.session.statistics());
            c.session.statistics().clearCounters(); // counted once, even if this open fails
            ++totals.reopens;
            if (c.reopen())
                c.connection.setPollingEnabled(true);
            continue;
        }
        if (!c.events.answered || csv)
            continue;
        std::bitset<RegisterCount> received;
        const std::optional<ReceivedValues> cycle = takeCycleValues(c.session, &received);
        if (!cycle)
            continue;
        const ReceivedValues &v = *cycle;
        // A value whose register was not received in this connection is "-"
        // (null in JSON).
        const PollField fields[] = {
            {"position", Reg::Position, QString::number(v.Position)},
            {"speed", Reg::Speed, QString::number(v.Speed)},
            {"desired", Reg::Desired, QString::number(v.Desired)},
            {"input", Reg::Input, QString::number(v.Input)},
            {"mode", Reg::RegulationMode, QString::number(v.RegulationMode)},
            {"voltage", Reg::Voltage, QString::number(v.Voltage, 'f', 2)},
            {"command", Reg::Command, QString::number(v.Command)},
            {"temperature", Reg::Temperature, QString::number(v.Temperature, 'f', 1)},
            {"current", Reg::CurrentSense, QString::number(v.CurrentLive, 'f', 3)},
        };
        ++lines;
        if (json) {
            QJsonObject o;
            o.insert(QStringLiteral("time_ms"), clock.elapsed());
            for (const PollField &f : fields)
                o.insert(QLatin1String(f.name), received.test(size_t(f.address))
                                                    ? QJsonValue(f.text.toDouble())
                                                    : QJsonValue(QJsonValue::Null));
            c.out << CliJson::line(o) << Qt::endl;
            continue;
        }
        c.out << clock.elapsed();
        for (const PollField &f : fields)
            c.out << ' ' << (received.test(size_t(f.address)) ? f.text : QStringLiteral("-"));
        c.out << Qt::endl;
    }
    c.connection.setPollingEnabled(false);
    totals.add(c.session.statistics());
    // The statistics are a diagnostic: standard error, apart from the data.
    c.err << statisticsLine(totals, c.events.answerTimes()) << Qt::endl;
    if (csv) {
        recorder.stop();
        const LiveRecorder::Progress p = recorder.progress();
        if (p.failed)
            return c.fail(CliExit::BadFile, QStringLiteral("recording into %1 stopped after %2 lines: %3")
                                                .arg(csvFile)
                                                .arg(p.lines)
                                                .arg(p.error));
        c.out << QStringLiteral("recorded %1 lines into %2 (%3 bytes), %4 dropped")
                     .arg(p.lines)
                     .arg(csvFile)
                     .arg(p.bytes)
                     .arg(p.dropped)
              << Qt::endl;
        lines = int(p.lines);
    }
    if (lines == 0 && totals.answers == 0)
        return c.fail(CliExit::Unanswered,
                      QStringLiteral("no answer from %1 for %2 s").arg(c.options.ip).arg(seconds));
    return CliExit::Ok;
}

} // namespace

std::optional<ReceivedValues> takeCycleValues(QLMCSession &session,
                                              std::bitset<RegisterCount> *received)
{
    ReceivedValues v;
    NewValueFlags flags;
    session.takeDisplayValues(v, flags, received);
    if (!flags.isRaised(ValueFlag::Position) && !flags.isRaised(ValueFlag::Speed))
        return std::nullopt;
    return v;
}

const CliCommand Poll{"poll", "poll [--seconds S] [--refresh MS] [--csv FILE] [--json]",
                      "one line of live values per read cycle for S seconds (default 5), then a "
                      "statistics line on standard error; goes on through lost answers and "
                      "reopens a lost connection; --csv records the lines into FILE as \"Record "
                      "live values...\" does",
                      CliNeeds::LiveDevice, &poll, &checkPoll,
                      "3 nothing came back for the whole run, 6 FILE not written",
                      "time_ms: time since the start (number); position, speed, desired, input, "
                      "mode, voltage, command, temperature, current: the values (numbers, or "
                      "null when the register was not received in this connection)"};

} // namespace PollCommands
