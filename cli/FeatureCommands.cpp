// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/FeatureCommands.h"

#include "base/NumberText.h"
#include "cli/CliContext.h"
#include "cli/CliLink.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "features/AutoTuningWizard.h"
#include "features/HomingSetup.h"
#include "features/WarningRegister.h"
#include "link/QLMCConnection.h"

#include <csignal>
#include <cmath>

namespace FeatureCommands {

using namespace CliExit;

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
}

QString hex2(int address)
{
    return QString::number(address, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

QString valueOf(const QStringList &arguments, const QString &option)
{
    const qsizetype i = arguments.indexOf(option);
    return i >= 0 && i + 1 < arguments.size() ? arguments[i + 1] : QString();
}

int autotune(CliContext &c)
{
    const QStringList &args = c.arguments();
    const TuningKind kind =
        args.contains(QStringLiteral("--predictive")) ? TuningKind::PidPredictive : TuningKind::PidOnly;
    const QChar separator = localeDecimalSeparator();
    const QString currentText = valueOf(args, QStringLiteral("--current")).replace(QLatin1Char('.'), separator);
    const QString voltageText = valueOf(args, QStringLiteral("--voltage"));
    bool voltageActive = !voltageText.isEmpty();
    int tenths = 0;
    if (voltageActive)
        tenths = int(std::lround(voltageText.toDouble() * 10.0)); // checked at parsing

    const ModelProfile &profile = c.connection.profile();
    // Refused before anything is written: the model has no auto-tuning.
    if (!profile.menus.autoTuning)
        return c.fail(ValueRefused, QStringLiteral("auto-tuning is not offered on %1")
                                        .arg(profile.modelName.isEmpty() ? QStringLiteral("this model")
                                                                         : profile.modelName));
    AutoTuningWizard wizard;
    wizard.setConnected(true);
    wizard.identified(profile.autoTuningPredictiveEnabled);
    wizard.setMaxPeakCurrent(profile.maxPeakCurrent);
    wizard.formShown();
    wizard.next({}, 0, false);
    wizard.next({}, 0, false);
    c.link.beginWrite();
    if (const auto refusal = applyWizardRequests(c.session, wizard, wizard.next(currentText, 0, false)))
        return c.fail(ValueRefused, *refusal);
    if (wizard.step() != AutoTuningWizard::VoltageStep)
        return c.fail(ValueRefused,
                      QStringLiteral("--current %1: a plain decimal from 0 to %2 A is needed")
                          .arg(valueOf(args, QStringLiteral("--current")))
                          .arg(profile.maxPeakCurrent / 65536.0));
    WizardRequests voltage = wizard.next({}, tenths, voltageActive);
    if (!voltageActive) {
        // Without --voltage the device keeps its own output-voltage limit
        // (the wizard would write FFFFFFFF: no limit at all while it excites the motor).
        std::erase_if(voltage.writes,
                      [](const WizardWrite &w) { return w.address == Reg::MaxOutputVoltage; });
    }
    if (const auto refusal = applyWizardRequests(c.session, wizard, voltage))
        return c.fail(ValueRefused, *refusal);
    if (const int code = c.link.awaitWrite(QStringLiteral("the current and voltage limits"));
        code != Ok)
        return code;

    // The status is polled while the run goes on: polling on.
    c.connection.setPollingEnabled(true);
    const WizardRequests start = wizard.startClicked(kind);
    if (start.writes.empty())
        return c.fail(ValueRefused,
                      QStringLiteral("PID + predictive tuning is not offered on this model"));
    int seen = c.events.tuningStatuses.load();
    if (const auto refusal = applyWizardRequests(c.session, wizard, start))
        return c.fail(ValueRefused, *refusal);
    c.err << "tarvine-cli: auto-tuning running" << Qt::endl;

    interrupted = 0;
    auto previous = std::signal(SIGINT, onInterrupt);
    bool aborted = false;
    bool finished = false; // the wait asks more than once
    const int limitMs = std::max(c.options.timeoutMs, 60000);
    const bool ended = c.waitFor(
        [&] {
            if (finished || c.link.lost())
                return true;
            if (interrupted && !aborted) {
                aborted = true;
                applyWizardRequests(c.session, wizard, wizard.startClicked(kind));
                c.err << "tarvine-cli: aborting the auto-tuning" << Qt::endl;
            }
            const int count = c.events.tuningStatuses.load();
            if (count == seen)
                return false;
            seen = count;
            uint8_t status;
            {
                RegisterLockGuard guard(c.session.lock());
                status = c.session.AutoTuning.State;
            }
            const WizardRequests r = wizard.statusDecoded(status, [&](int address) {
                RegisterLockGuard guard(c.session.lock());
                return c.session.motor().registerAt(address)->Readable;
            });
            applyWizardRequests(c.session, wizard, r);
            finished = r.runEnded;
            return finished;
        },
        limitMs);
    std::signal(SIGINT, previous);
    if (c.link.lost())
        return c.link.reportLost();
    if (!ended) {
        applyWizardRequests(c.session, wizard, wizard.startClicked(kind)); // abort
        c.link.settle(c.options.timeoutMs);
        return c.fail(Unanswered,
                      QStringLiteral("the auto-tuning did not end within %1 ms").arg(limitMs));
    }
    c.connection.setPollingEnabled(false);
    // The registers the run changed, as the device now holds them.
    const auto &reRead = AutoTuningWizard::reReadRegisters();
    const int code = c.link.read(std::vector<int>(reRead.begin(), reRead.end()));
    for (const QString &line : wizard.resultLines())
        c.out << line << Qt::endl;
    for (const int address : reRead) {
        if (!c.link.received(address))
            continue;
        RegisterLockGuard guard(c.session.lock());
        const QLMCRegister *reg = c.session.motor().registerAt(address);
        c.out << "0x" << hex2(address) << ' ' << QString::fromStdString(reg->Name) << " = "
              << RegisterText::value(address, reg->Value) << Qt::endl;
    }
    if (code != Ok)
        return code;
    const bool failed =
        tuningStatusMeaning(wizard.status()).outcome == TuningStatusMeaning::Outcome::Error;
    return failed ? BadFile : Ok;
}

int warnings(CliContext &c)
{
    if (c.options.arguments.contains(QStringLiteral("--clear"))) {
        c.link.beginWrite();
        if (const std::optional<QString> refusal = WarningRegister::requestClear(c.session))
            return c.fail(ValueRefused, *refusal);
        if (const int code = c.link.awaitWrite(QStringLiteral("the clear of 0x08"));
            code != Ok)
            return code;
    }
    {
        RegisterLockGuard guard(c.session.lock());
        if (!c.session.motor().registerAt(Reg::Warning)->Readable)
            return c.fail(ValueRefused,
                          QStringLiteral("register 0x08 is not readable on this model"));
    }
    if (const int code = c.link.read({Reg::Warning}); code != Ok)
        return code;
    uint32_t bits;
    {
        RegisterLockGuard guard(c.session.lock());
        bits = c.session.Warning.Bits;
    }
    c.out << WarningRegister::groupTitle(bits) << Qt::endl;
    for (int k = 0; k < WarningRegister::WarningCount; ++k) {
        const bool actual = WarningRegister::bitSet(bits, 2 * k);
        const bool before = WarningRegister::bitSet(bits, 2 * k + 1);
        if (actual || before)
            c.out << WarningRegister::caption(k).simplified() << ':'
                  << (actual ? " ACTUAL" : "") << (before ? " BEFORE" : "") << Qt::endl;
    }
    return Ok;
}

int homing(CliContext &c)
{
    const bool start = c.options.arguments.contains(QStringLiteral("--start"));
    const int address = start ? Reg::HomingStart : Reg::HomingStop;
    {
        RegisterLockGuard guard(c.session.lock());
        if (!c.session.motor().registerAt(address)->Writable)
            return c.fail(ValueRefused,
                          QStringLiteral("homing is not offered on this model"));
    }
    // The start is judged against the homing type in force: the device's 0x48.
    if (start)
        if (const int code = c.link.read({Reg::HomingOption}); code != Ok)
            return code;
    c.link.beginWrite();
    if (start) {
        if (const HomingSetup::WriteOutcome outcome = HomingSetup::requestStart(c.session);
            !outcome)
            return c.fail(ValueRefused, outcome.refusal);
    } else {
        HomingSetup::requestStop(c.session.motor());
    }
    if (const int code = c.link.awaitWrite(QStringLiteral("the homing command"));
        code != Ok)
        return code;
    if (!c.link.writeAnswered(address))
        return c.fail(Unanswered, QStringLiteral("the command was not acknowledged"));
    c.out << (start ? "homing started" : "homing stopped") << Qt::endl;
    return Ok;
}

QString checkAutotune(const CliOptions &options)
{
    const QStringList &a = options.arguments;
    auto has = [&](const char *o) { return a.contains(QLatin1String(o)); };
    if (has("--pid") == has("--predictive"))
        return QStringLiteral("autotune needs one of --pid and --predictive");
    if (!has("--current"))
        return QStringLiteral("autotune needs --current A");
    if (!CliArguments::isDecimal(valueOf(a, QStringLiteral("--current"))))
        return QStringLiteral("--current needs a plain decimal of amperes");
    if (has("--voltage")) {
        const QString text = valueOf(a, QStringLiteral("--voltage"));
        const double volts = text.toDouble();
        if (!CliArguments::isDecimal(text) || volts < 5.0 || volts > 50.0)
            return QStringLiteral("--voltage must be 5.0 .. 50.0 volts");
    }
    return {};
}

QString checkHoming(const CliOptions &options)
{
    const QStringList &a = options.arguments;
    if (a.contains(QLatin1String("--start")) == a.contains(QLatin1String("--stop")))
        return QStringLiteral("homing needs one of --start and --stop");
    return {};
}

} // namespace

const CliCommand Autotune{"autotune", "autotune --pid|--predictive --current A [--voltage V]",
                          "run the controller's auto-tuning; prints the result lines and the "
                          "re-read registers (Ctrl-C aborts); without --voltage the device "
                          "keeps its output-voltage limit",
                          CliNeeds::Device, &autotune, &checkAutotune,
                          "3 the run did not end in time, 5 a current beyond the model's maximum "
                          "or a kind the model does not offer, 6 the run ended with an error"};
const CliCommand Warnings{"warnings", "warnings [--clear]",
                          "the warning bits of 0x08 (after clearing them)", CliNeeds::Device,
                          &warnings};
const CliCommand Homing{"homing", "homing --start|--stop", "start or stop the homing",
                        CliNeeds::Device, &homing, &checkHoming};

} // namespace FeatureCommands
