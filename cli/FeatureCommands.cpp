#include "cli/FeatureCommands.h"

#include "base/NumberText.h"
#include "cli/CliLink.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "features/AutoTuningWizard.h"
#include "features/HomingSetup.h"
#include "features/WarningRegister.h"
#include "link/QLMCConnection.h"

#include <csignal>
#include <cmath>

namespace FeatureCommands {

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

int autotune(Context &c)
{
    const QStringList &args = c.options.arguments;
    const TuningKind kind =
        args.contains(QStringLiteral("--predictive")) ? TuningKind::PidPredictive : TuningKind::PidOnly;
    const QChar separator = localeDecimalSeparator();
    const QString currentText = valueOf(args, QStringLiteral("--current")).replace(QLatin1Char('.'), separator);
    const QString voltageText = valueOf(args, QStringLiteral("--voltage"));
    bool voltageActive = !voltageText.isEmpty();
    int tenths = 0;
    if (voltageActive) {
        bool ok = false;
        const double volts = voltageText.toDouble(&ok);
        if (!ok || !std::isfinite(volts) || volts < 5.0 || volts > 50.0)
            return c.fail(CliRunner::Usage, QStringLiteral("--voltage must be 5.0 .. 50.0 volts"));
        tenths = int(std::lround(volts * 10.0));
    }

    const ModelProfile &profile = c.connection.profile();
    AutoTuningWizard wizard;
    wizard.setConnected(true);
    wizard.identified(profile.autoTuningPredictiveEnabled);
    wizard.setMaxPeakCurrent(profile.maxPeakCurrent);
    wizard.formShown();
    wizard.next({}, 0, false);
    wizard.next({}, 0, false);
    c.link.beginWrite();
    applyWizardRequests(c.session, wizard, wizard.next(currentText, 0, false));
    if (wizard.step() != AutoTuningWizard::VoltageStep)
        return c.fail(CliRunner::RegisterRefused,
                      QStringLiteral("--current %1: a plain decimal from 0 to %2 A is needed")
                          .arg(valueOf(args, QStringLiteral("--current")))
                          .arg(profile.maxPeakCurrent / 65536.0));
    applyWizardRequests(c.session, wizard, wizard.next({}, tenths, voltageActive));
    if (const int code = c.link.awaitWrite(QStringLiteral("the current and voltage limits"));
        code != CliRunner::Ok)
        return code;

    // The status is polled while the run goes on: polling on.
    c.connection.setPollingEnabled(true);
    const WizardRequests start = wizard.startClicked(kind);
    if (start.writes.empty())
        return c.fail(CliRunner::RegisterRefused,
                      QStringLiteral("PID + predictive tuning is not offered on this model"));
    int seen = c.tuningStatuses.load();
    applyWizardRequests(c.session, wizard, start);
    c.out << "Running..." << Qt::endl;

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
            const int count = c.tuningStatuses.load();
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
        return c.fail(CliRunner::TimedOut,
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
    if (code != CliRunner::Ok)
        return code;
    const bool failed =
        tuningStatusMeaning(wizard.status()).outcome == TuningStatusMeaning::Outcome::Error;
    return failed ? TuningFailed : CliRunner::Ok;
}

int warnings(Context &c)
{
    if (c.options.arguments.contains(QStringLiteral("--clear"))) {
        c.link.beginWrite();
        WarningRegister::requestClear(c.session.motor());
        if (const int code = c.link.awaitWrite(QStringLiteral("the clear of 0x08"));
            code != CliRunner::Ok)
            return code;
    }
    {
        RegisterLockGuard guard(c.session.lock());
        if (!c.session.motor().registerAt(Reg::Warning)->Readable)
            return c.fail(CliRunner::RegisterRefused,
                          QStringLiteral("register 0x08 is not readable on this model"));
    }
    if (const int code = c.link.read({Reg::Warning}); code != CliRunner::Ok)
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
    return CliRunner::Ok;
}

int homing(Context &c)
{
    const bool start = c.options.arguments.contains(QStringLiteral("--start"));
    const int address = start ? Reg::HomingStart : Reg::HomingStop;
    {
        RegisterLockGuard guard(c.session.lock());
        if (!c.session.motor().registerAt(address)->Writable)
            return c.fail(CliRunner::RegisterRefused,
                          QStringLiteral("homing is not offered on this model"));
    }
    c.link.beginWrite();
    if (start)
        HomingSetup::requestStart(c.session.motor());
    else
        HomingSetup::requestStop(c.session.motor());
    if (const int code = c.link.awaitWrite(QStringLiteral("the homing command"));
        code != CliRunner::Ok)
        return code;
    if (!c.link.writeAnswered(address))
        return c.fail(CliRunner::TimedOut, QStringLiteral("the command was not acknowledged"));
    c.out << (start ? "homing started" : "homing stopped") << Qt::endl;
    return CliRunner::Ok;
}

} // namespace

bool handles(const QString &command)
{
    return command == QLatin1String("autotune") || command == QLatin1String("warnings")
           || command == QLatin1String("homing");
}

bool isOption(const QString &option, bool &takesValue)
{
    takesValue = option == QLatin1String("--current") || option == QLatin1String("--voltage");
    return takesValue || option == QLatin1String("--pid") || option == QLatin1String("--predictive")
           || option == QLatin1String("--clear") || option == QLatin1String("--start")
           || option == QLatin1String("--stop");
}

QString checkArguments(const QString &command, const QStringList &a)
{
    auto has = [&](const char *o) { return a.contains(QLatin1String(o)); };
    if (command == QLatin1String("autotune")) {
        if (has("--pid") == has("--predictive"))
            return QStringLiteral("autotune needs one of --pid and --predictive");
        if (!has("--current"))
            return QStringLiteral("autotune needs --current A");
    } else if (command == QLatin1String("homing")) {
        if (has("--start") == has("--stop"))
            return QStringLiteral("homing needs one of --start and --stop");
    }
    return {};
}

QString usage()
{
    return QStringLiteral(
        "  autotune --pid|--predictive --current A [--voltage V]\n"
        "                                run the controller's auto-tuning; prints the result\n"
        "                                lines and the re-read registers (Ctrl-C aborts)\n"
        "  warnings [--clear]            the warning bits of 0x08 (after clearing them)\n"
        "  homing --start|--stop         start or stop the homing\n");
}

int run(Context &context)
{
    const QString &command = context.options.command;
    if (command == QLatin1String("autotune"))
        return autotune(context);
    if (command == QLatin1String("warnings"))
        return warnings(context);
    return homing(context);
}

} // namespace FeatureCommands
