// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli step --to VALUE: writes one consign (0x21) in position or speed
// regulation, records every read cycle with its decode time at the fastest
// refresh until the response settled or the time is up, and prints the
// figures of the response.
#include "cli/StepCommand.h"

#include "cli/CliContext.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "device/QLMCSession.h"
#include "device/RegisterRules.h"
#include "link/QLMCConnection.h"
#include "panel/ChartCsv.h"
#include "panel/ModeTable.h"
#include "platform/AtomicFile.h"
#include "record/StepMeasurement.h"

#include <QDir>
#include <QJsonObject>

#include <optional>
#include <vector>

namespace StepCommand {

namespace {

QString checkStep(const CliOptions &options)
{
    const QStringList &args = options.arguments;
    const QString to = CliArguments::value(args, QStringLiteral("--to"));
    if (!CliArguments::isInteger(to))
        return QStringLiteral("--to needs an integer consign");
    bool ok = false;
    const qlonglong value = to.toLongLong(&ok);
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        return QStringLiteral("--to %1 is outside the 32-bit range").arg(to);
    const QString mode = CliArguments::value(args, QStringLiteral("--mode"));
    if (CliArguments::has(args, QStringLiteral("--mode")) && mode != QLatin1String("position")
        && mode != QLatin1String("speed"))
        return QStringLiteral("--mode is position or speed, not %1").arg(mode);
    if (CliArguments::has(args, QStringLiteral("--seconds"))) {
        const QString s = CliArguments::value(args, QStringLiteral("--seconds"));
        if (!CliArguments::isDecimal(s) || s.toDouble() <= 0 || s.toDouble() > 600)
            return QStringLiteral("--seconds is a number of seconds from 0 to 600");
    }
    return {};
}

QString figure(const std::optional<double> &value, int decimals, const char *unit)
{
    if (!value)
        return QStringLiteral("-");
    return QString::number(*value, 'f', decimals) + QLatin1String(unit);
}

int step(CliContext &c)
{
    const QStringList &args = c.arguments();
    const int32_t to = int32_t(CliArguments::value(args, QStringLiteral("--to")).toLongLong());
    const double limit =
        CliArguments::value(args, QStringLiteral("--seconds"), QStringLiteral("2")).toDouble();
    const QString csvPath = CliArguments::value(args, QStringLiteral("--csv"));
    const bool json = CliArguments::has(args, QStringLiteral("--json"));

    // The regulation mode: the one asked for, else the one in force.
    if (const int code = c.link.read({Reg::RegulationMode, Reg::Input}); code != CliExit::Ok)
        return code;
    int32_t mode;
    {
        RegisterLockGuard guard(c.session.lock());
        mode = c.session.Received.RegulationMode;
    }
    const int position = modeInfo(RegulationMode::PositionTraj).value;
    const int speed = modeInfo(RegulationMode::SpeedTraj).value;
    if (CliArguments::has(args, QStringLiteral("--mode"))) {
        const int wanted =
            CliArguments::value(args, QStringLiteral("--mode")) == QLatin1String("speed")
                ? speed
                : position;
        if (wanted != mode) {
            c.link.beginWrite();
            const RegisterWrite write = RegisterRules::write(Reg::RegulationMode, wanted);
            if (const auto refused = RegisterRules::requestWrites(c.session, {&write, 1});
                !refused.empty())
                return c.fail(CliExit::ValueRefused, refused.front().reason);
            if (const int code = c.link.awaitWrite(QStringLiteral("the write of 0x20"));
                code != CliExit::Ok)
                return code;
            mode = wanted;
        }
    } else if (!StepMeasurement::isSpeedStep(mode)) {
        return c.fail(CliExit::ValueRefused,
                      QStringLiteral("the regulation mode is %1, not position or speed "
                                     "trajectory: give --mode")
                          .arg(mode));
    }
    const bool speedStep = *StepMeasurement::isSpeedStep(mode);

    StepMeasurement measurement(c.session);
    c.session.RefreshRatio = StepMeasurement::FastestRefresh;
    c.connection.setPollingEnabled(true);
    // The step starts from the consign the device last sent.
    c.waitFor(
        [&c, &measurement] {
            return c.link.lost()
                   || measurement.baseline() != StepMeasurement::Baseline::Waiting;
        },
        StepMeasurement::BaselineLimitMs + StepMeasurement::CheckEveryMs);
    if (c.link.lost())
        return c.fail(CliExit::LinkLost, QStringLiteral("connection to %1 lost before the step: %2")
                                             .arg(c.options.ip)
                                             .arg(c.connection.failure().description()));
    const std::optional<double> from = measurement.startConsign();
    if (!from)
        return c.fail(CliExit::Unanswered,
                      QStringLiteral("no consign (0x21) came back before the step"));

    measurement.begin(*from, double(to), speedStep);
    const StepDefinition &definition = measurement.definition();
    c.link.beginWrite();
    const RegisterWrite write = RegisterRules::write(Reg::Input, to);
    if (const auto refused = RegisterRules::requestWrites(c.session, {&write, 1}); !refused.empty())
        return c.fail(CliExit::ValueRefused, refused.front().reason);
    if (const int code = c.link.awaitWrite(QStringLiteral("the write of 0x21"));
        code != CliExit::Ok)
        return code;

    // Record until settled (and as long again) or the limit.
    while (!measurement.done(limit)) {
        c.waitFor([&c] { return c.link.lost(); }, StepMeasurement::CheckEveryMs);
        if (c.link.lost())
            return c.fail(CliExit::LinkLost,
                          QStringLiteral("connection to %1 lost during the step: %2")
                              .arg(c.options.ip)
                              .arg(c.connection.failure().description()));
        measurement.update();
    }
    const StepFigures figures = measurement.update();

    // The settings in force, as the device sent them (empty: not received).
    const StepSettings settings = measurement.settings();
    const std::pair<const char *, const std::optional<double> *> settingFields[] = {
        {"kp", &settings.kp},
        {"ki", &settings.ki},
        {"kd", &settings.kd},
        {"kvff", &settings.kvff},
        {"kaff", &settings.kaff},
        {"kdff", &settings.kdff},
        {"acceleration", &settings.acceleration},
        {"deceleration", &settings.deceleration},
        {"top_speed", &settings.topSpeed},
    };

    if (!csvPath.isEmpty()) {
        ChartColumns columns;
        columns.timeTitle = QStringLiteral("Time [s]");
        columns.timeDecimals = 3;
        columns.series = {{speedStep ? QStringLiteral("Speed") : QStringLiteral("Position"), {}},
                          {QStringLiteral("Desired state"), {}},
                          {QStringLiteral("Current [A]"), {}}};
        for (const StepSample &s : measurement.samples()) {
            columns.keys.push_back(s.time - definition.time);
            columns.series[0].values.push_back(s.actual);
            columns.series[1].values.push_back(s.desired);
            columns.series[2].values.push_back(s.current);
        }
        QString error;
        if (!writeFileAtomically(csvPath, ChartCsv::compose(columns), &error))
            return c.fail(CliExit::BadFile, QStringLiteral("cannot write %1: %2")
                                                .arg(QDir::toNativeSeparators(csvPath), error));
    }

    if (json) {
        QJsonObject o;
        const auto put = [&o](const char *key, const std::optional<double> &value) {
            o[QLatin1String(key)] = value ? QJsonValue(*value) : QJsonValue();
        };
        o[QStringLiteral("mode")] =
            speedStep ? QStringLiteral("speed") : QStringLiteral("position");
        o[QStringLiteral("from")] = definition.from;
        o[QStringLiteral("to")] = definition.to;
        o[QStringLiteral("settled")] = figures.settled;
        o[QStringLiteral("samples")] = figures.samples;
        o[QStringLiteral("recorded_s")] = figures.recorded;
        put("rise_time_s", figures.riseTime);
        put("overshoot_percent", figures.overshootPercent);
        put("settling_time_s", figures.settlingTime);
        put("steady_state_error", figures.steadyStateError);
        put("following_error", figures.followingError);
        put("peak_current_a", figures.peakCurrent);
        put("trajectory_s", figures.trajectoryTime);
        for (const auto &[name, value] : settingFields)
            put(name, *value);
        c.out << CliJson::line(o) << Qt::endl;
    } else {
        QStringList known;
        for (const auto &[name, value] : settingFields)
            if (*value)
                known << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(**value);
        c.out << (speedStep ? "speed" : "position") << " step " << definition.from << " -> "
              << definition.to << ", " << figures.samples << " samples in "
              << QString::number(figures.recorded, 'f', 3) << " s" << Qt::endl;
        if (!known.isEmpty())
            c.out << "settings: " << known.join(QLatin1Char(' ')) << Qt::endl;
        c.out << "rise time 10-90 %: " << figure(figures.riseTime, 3, " s") << Qt::endl;
        c.out << "overshoot: " << figure(figures.overshootPercent, 1, " %") << Qt::endl;
        c.out << "settling time 2 %: " << figure(figures.settlingTime, 3, " s") << Qt::endl;
        c.out << "steady-state error: " << figure(figures.steadyStateError, 1, "") << Qt::endl;
        c.out << "largest following error: " << figure(figures.followingError, 0, "") << Qt::endl;
        c.out << "peak current: " << figure(figures.peakCurrent, 3, " A") << Qt::endl;
        c.out << "trajectory time: " << figure(figures.trajectoryTime, 3, " s") << Qt::endl;
    }
    if (!figures.settled)
        return c.fail(CliExit::NotSettled,
                      QStringLiteral("the response did not settle within %1 s").arg(limit));
    return CliExit::Ok;
}

} // namespace

const CliCommand Step{
    "step",
    "step --to VALUE [--mode MODE] [--seconds S] [--csv FILE] [--json]",
    "write one consign step in position or speed regulation (MODE: position, speed; default "
    "the mode in force), record the response at the fastest refresh until it settled or S "
    "seconds (default 2) passed, print rise time, overshoot, settling time, steady-state and "
    "following error, peak current and trajectory time; --csv writes the samples",
    CliNeeds::Device,
    &step,
    &checkStep,
    "6 FILE not written, 8 the response did not settle",
    "mode: position or speed; from, to: the consign before and after; settled: true or false; "
    "samples: samples after the step; recorded_s: seconds recorded after the step; "
    "rise_time_s: 10 to 90 % of the step (null, as every figure, when it could not be "
    "measured); overshoot_percent: beyond the goal, in % of the step; "
    "settling_time_s: into 2 % of the step for good; steady_state_error: goal minus the final "
    "mean; following_error: largest desired state minus actual; peak_current_a: largest "
    "current; trajectory_s: until the desired state reached the goal; kp, ki, kd, kvff, kaff, "
    "kdff, acceleration, deceleration, top_speed: the settings in force (null when not "
    "received)"};

} // namespace StepCommand
