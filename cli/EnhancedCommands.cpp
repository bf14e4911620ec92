// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/EnhancedCommands.h"

#include "base/NumberText.h"
#include "cli/CliContext.h"
#include "cli/CliLink.h"
#include "device/RegisterText.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "features/EnhancedCmdModel.h"
#include "link/QLMCConnection.h"

namespace Codec = EnhancedCommandCodec;

using namespace CliExit;

namespace {

/// The options of "enhanced".
struct EnhancedArguments
{
    std::optional<QString> loops;
    std::optional<int> command;
    std::optional<QString> goal;
    std::optional<QString> percent;
    bool peak = false;
    bool absolute = false;
};

std::optional<EnhancedArguments> parseEnhanced(const QStringList &args, QString &error)
{
    EnhancedArguments a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(arg);
                return std::nullopt;
            }
            return args[++i];
        };
        std::optional<QString> v;
        if (arg == QLatin1String("--peak")) {
            a.peak = true;
            continue;
        }
        if (arg == QLatin1String("--absolute")) {
            a.absolute = true;
            continue;
        }
        if (arg != QLatin1String("--loops") && arg != QLatin1String("--command")
            && arg != QLatin1String("--goal") && arg != QLatin1String("--percent")) {
            error = QStringLiteral("enhanced: unexpected %1").arg(arg);
            return std::nullopt;
        }
        if (!(v = value()))
            return std::nullopt;
        if (arg == QLatin1String("--loops")) {
            if (!CliArguments::isInteger(*v)) {
                error = QStringLiteral("--loops needs a whole number");
                return std::nullopt;
            }
            a.loops = v;
        } else if (arg == QLatin1String("--command")) {
            bool ok = false;
            const int code = CliArguments::isInteger(*v) ? v->toInt(&ok) : 0;
            if (!ok || code < Codec::FirstCommand || code > Codec::LastCommand) {
                error = QStringLiteral("--command must be a number from 101 to 117");
                return std::nullopt;
            }
            a.command = code;
        } else if (arg == QLatin1String("--goal")) {
            if (!CliArguments::isInteger(*v)) {
                error = QStringLiteral("--goal needs a whole number of pulses");
                return std::nullopt;
            }
            a.goal = v;
        } else {
            if (!CliArguments::isDecimal(*v)) {
                error = QStringLiteral("--percent needs a plain decimal");
                return std::nullopt;
            }
            a.percent = v;
        }
    }
    if (bool(a.loops) == bool(a.command)) {
        error = QStringLiteral("enhanced needs either --loops N or --command 101..117");
        return std::nullopt;
    }
    if (a.goal && a.percent) {
        error = QStringLiteral("--goal and --percent exclude each other");
        return std::nullopt;
    }
    return a;
}

/// A number typed with "." reads with the locale's separator, as the window's edits do.
QString localised(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

QString checkEnhanced(const CliOptions &options)
{
    QString error;
    parseEnhanced(options.arguments, error);
    return error;
}

QString checkLoops(const CliOptions &options)
{
    const QStringList &a = options.arguments;
    const QStringList fraction = a.value(1, QStringLiteral("0/1")).split(QLatin1Char('/'));
    if (!CliArguments::isInteger(a.value(0)) || fraction.size() != 2
        || !CliArguments::isInteger(fraction[0]) || !CliArguments::isInteger(fraction[1]))
        return QStringLiteral("usage: loops PULSES [NUMERATOR/DENOMINATOR]");
    return {};
}

QString checkPeak(const CliOptions &options)
{
    const QStringList &a = options.arguments;
    if (!CliArguments::isDecimal(a.value(0)) || !CliArguments::isInteger(a.value(1)))
        return QStringLiteral("usage: peak AMPERES MILLISECONDS");
    return {};
}

} // namespace

const CliCommand EnhancedCommands::Enhanced{
    "enhanced",
    "enhanced (--loops N | --command 101..117) [--goal PULSES | --percent P] [--peak] [--absolute]",
    "enhanced motion command (0x4D): EnGoal plus N loops, or a numbered command; prints the "
    "written trace and the read-back",
    CliNeeds::Device, &EnhancedCommands::run, &checkEnhanced,
    "5 the window's checks refuse the values, 7 the read-back differs"};
const CliCommand EnhancedCommands::Loops{
    "loops", "loops PULSES [NUM/DEN]", "pulses per loop (0x4E), with a fraction", CliNeeds::Device,
    &EnhancedCommands::run, &checkLoops,
    "5 the window's checks refuse the values, 7 the read-back differs"};
const CliCommand EnhancedCommands::Peak{
    "peak", "peak AMPERES MS", "peak current and its duration (0x4F)", CliNeeds::Device,
    &EnhancedCommands::run, &checkPeak,
    "5 the window's checks refuse the values, 7 the read-back differs"};

EnhancedCommands::EnhancedCommands(CliContext &context)
    : m_c(context)
    , m_link(context.link)
    , m_session(context.session)
    , m_profile(context.connection.profile())
    , m_out(context.out)
{}

int EnhancedCommands::fail(int code, const QString &message)
{
    return m_c.fail(code, message);
}

int EnhancedCommands::run(CliContext &context)
{
    EnhancedCommands commands(context);
    const QString &command = context.options.command;
    const QStringList &arguments = context.arguments();
    if (command == QLatin1String("enhanced"))
        return commands.enhanced(arguments);
    if (command == QLatin1String("loops"))
        return commands.loops(arguments);
    return commands.peak(arguments);
}

int EnhancedCommands::writeAndReadBack(int address,
                                       const std::function<QString(QString &written)> &write,
                                       bool &readBack)
{
    readBack = false;
    bool readable;
    {
        RegisterLockGuard guard(m_session.lock());
        const QLMCRegister *reg = m_session.motor().registerAt(address);
        if (!reg->Writable)
            return fail(ValueRefused, QStringLiteral("register 0x%1 is not writable on this model")
                                     .arg(QString::number(address, 16).toUpper()));
        readable = reg->Readable;
    }
    m_link.beginWrite();
    QString written;
    const QString report = write(written);
    if (!report.isEmpty())
        return fail(ValueRefused, report);
    {
        RegisterLockGuard guard(m_session.lock());
        m_sent = m_session.motor().registerAt(address)->WriteValue;
    }
    const QString what = QStringLiteral("the write of ") + CliLink::addressText(address);
    if (const int code = m_link.awaitWrite(what); code != Ok)
        return code;
    if (!readable) {
        // Nothing to read back: the answered write is all there is to tell.
        if (!m_link.writeAnswered(address))
            return fail(Unanswered, QStringLiteral("no answer to ") + what);
        m_out << written << Qt::endl;
        return Ok;
    }
    if (const int code = m_link.read({address}); code != Ok)
        return code;
    // The trace of what was written, once the device answered it.
    m_out << written << Qt::endl;
    readBack = true;
    return Ok;
}

int EnhancedCommands::taken(int address)
{
    std::vector<uint8_t> device;
    {
        RegisterLockGuard guard(m_session.lock());
        device = m_session.motor().registerAt(address)->Value;
    }
    if (device == m_sent)
        return Ok;
    return fail(Differs, QStringLiteral("%1 not taken: device %2, written %3")
                             .arg(CliLink::addressText(address),
                                  RegisterText::trace(std::span<const uint8_t>(device)),
                                  RegisterText::trace(std::span<const uint8_t>(m_sent))));
}

int EnhancedCommands::enhanced(const QStringList &arguments)
{
    QString error;
    const std::optional<EnhancedArguments> a = parseEnhanced(arguments, error);
    if (!a)
        return fail(Usage, error); // checked at parsing already
    const ModelProfile::EnhancedCommand &offered = m_profile.enhanced;
    if (a->absolute && !offered.noLoopsOptionEnabled)
        return fail(ValueRefused, QStringLiteral("\"Absolute value\" is not offered by this model"));
    if (a->peak && !offered.peakCurrentEnabled)
        return fail(ValueRefused, QStringLiteral("\"Peak current enable\" is not offered by this model"));

    EnhancedCmdModel model(&m_session);
    if (a->percent) {
        model.goalInPercentClicked();
        model.goalTextChanged(localised(*a->percent));
    } else {
        model.goalInPulsesClicked();
        model.goalTextChanged(a->goal.value_or(QStringLiteral("0")));
    }
    model.peakCurrentClicked(a->peak);
    model.absoluteClicked(a->absolute);
    if (a->command) {
        model.commandClicked(*a->command);
    } else {
        model.counterLoopsClicked();
        model.counterTextChanged(*a->loops);
    }
    const EnhancedCmdControls &c = model.controls();
    bool readBack = false;
    const int code = writeAndReadBack(Reg::EnhancedInput, [&](QString &written) {
        // What the window's disabled Write button would refuse.
        if (c.goalEnabled && c.goalRed)
            return QString::fromLatin1(EnhancedCmdModel::BadInput);
        if (c.selection == 0 && c.counterRed)
            return QString::fromLatin1(EnhancedCmdModel::BadCounter);
        const EnhancedWriteResult result = model.writeCommand();
        if (!model.refusal().isEmpty())
            return model.refusal(); // the rule book's reason: nothing was sent
        written = c.commandWritten;
        return result.report;
    }, readBack);
    if (code != Ok || !readBack)
        return code;

    Codec::Command read;
    {
        RegisterLockGuard guard(m_session.lock());
        read = Codec::commandOf(m_session.EnhancedCmd);
    }
    const bool known = model.displayCommand(read);
    m_out << c.commandTrace << Qt::endl;
    const bool percent = read.options & Codec::OptionPercent;
    const QString unit = offered.goalInPulsesText.contains(QStringLiteral("\u00B5Step"))
                             ? QStringLiteral("\u00B5Step")
                             : QStringLiteral("pulses");
    QString function = Codec::markerLabel(read);
    if (read.function >= Codec::FirstCommand)
        function += QLatin1Char(' ') + Codec::commandCaption(read.function, c.absolute);
    if (!known)
        function = QStringLiteral("%1 (%2)").arg(read.function).arg(EnhancedCmdModel::BadFunctionRead);
    QStringList options;
    if (read.options & Codec::OptionPeakCurrent)
        options << QStringLiteral("peak current");
    if (read.options & Codec::OptionAbsolute)
        options << QStringLiteral("absolute");
    m_out << "function " << function << ", EnGoal " << c.goalText << ' '
          << (percent ? QStringLiteral("%") : unit)
          << (options.isEmpty() ? QString() : QStringLiteral(", ") + options.join(QStringLiteral(", ")))
          << Qt::endl;
    return taken(Reg::EnhancedInput);
}

int EnhancedCommands::loops(const QStringList &arguments)
{
    EnhancedCmdModel model(&m_session);
    QString numerator = QStringLiteral("0");
    QString denominator = QStringLiteral("1");
    if (arguments.size() == 2) {
        const qsizetype slash = arguments[1].indexOf(QLatin1Char('/'));
        numerator = arguments[1].left(slash);
        denominator = arguments[1].mid(slash + 1);
    }
    model.pulsesTextChanged(arguments.value(0));
    model.numeratorTextChanged(numerator);
    model.denominatorTextChanged(denominator);
    const EnhancedCmdControls &c = model.controls();
    bool readBack = false;
    const int code = writeAndReadBack(Reg::LoopsConfig, [&](QString &written) {
        const EnhancedWriteResult result = model.writeLoops();
        if (!model.refusal().isEmpty())
            return model.refusal(); // the rule book's reason: nothing was sent
        written = c.loopsWritten;
        return result.report;
    }, readBack);
    if (code != Ok || !readBack)
        return code;
    Codec::Loops read;
    {
        RegisterLockGuard guard(m_session.lock());
        read = Codec::loopsOf(m_session.EnhancedCmd);
    }
    model.displayLoops(read);
    m_out << c.loopsTrace << Qt::endl;
    m_out << m_profile.enhanced.totalPulsesLabel << ' ' << c.totalText << Qt::endl;
    return taken(Reg::LoopsConfig);
}

int EnhancedCommands::peak(const QStringList &arguments)
{
    if (!m_profile.enhanced.enhancedParamsEnabled)
        return fail(ValueRefused, QStringLiteral("the enhanced parameters are not offered by this model"));
    EnhancedCmdModel model(&m_session);
    model.peakTextChanged(localised(arguments.value(0)));
    model.durationTextChanged(arguments.value(1));
    const EnhancedCmdControls &c = model.controls();
    bool readBack = false;
    const int code = writeAndReadBack(Reg::EnhancedParams, [&](QString &written) {
        const EnhancedWriteResult result = model.writeParams();
        if (!model.refusal().isEmpty())
            return model.refusal(); // the rule book's reason: nothing was sent
        written = c.paramsWritten;
        return result.report;
    }, readBack);
    if (code != Ok || !readBack)
        return code;
    Codec::Params read;
    {
        RegisterLockGuard guard(m_session.lock());
        read = Codec::paramsOf(m_session.EnhancedCmd);
    }
    model.displayParams(read);
    m_out << c.paramsTrace << Qt::endl;
    m_out << "Peak current : " << c.peakText << " A, Duration : " << c.durationText << " ms"
          << Qt::endl;
    return taken(Reg::EnhancedParams);
}
