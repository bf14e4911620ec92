// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/EnhancedCmdModel.h"

#include "device/RegisterRules.h"
#include "base/Diagnostics.h"
#include "base/NumberText.h"
#include "base/PanelNumberText.h"
#include "device/DeviceRecords.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"

namespace Codec = EnhancedCommandCodec;

namespace {

const char *const SourceName = "EnhancedCmdForm";

/// The typed decimal number, or nullopt (no sign allowed).
std::optional<double> unsignedDecimal(const QString &text)
{
    if (!isNumberText(text, false, true))
        return std::nullopt;
    return PanelNumberText::parseDecimal(text);
}

/// A 0x4E edit read as a 64-bit integer, low 32 bits kept, 0 when unreadable.
uint32_t lowWord(const QString &text)
{
    if (text.size() > EnhancedCmdModel::MaxTextLength * 2)
        return 0;
    const std::optional<int64_t> v = PanelNumberText::parseInteger(text, true);
    return v ? uint32_t(uint64_t(*v)) : 0;
}

} // namespace

EnhancedCmdModel::EnhancedCmdModel(QLMCSession *session)
    : m_session(session)
{
    // The captions before any read: the composed fields all start at 0.
    showCommandTrace(true, false);
    m_c.loopsTrace = Codec::loopsTrace(std::nullopt);
    showParamsTrace(true);
}

// --- Checks -------------------------------------------------------------------------

std::optional<int32_t> EnhancedCmdModel::parsePulsesGoal(const QString &text)
{
    if (text.size() > MaxTextLength || !isNumberText(text, true, false))
        return std::nullopt;
    // Ten digits at most, with or without a leading "-".
    const bool negative = text.startsWith(QLatin1Char('-'));
    if (text.size() >= (negative ? 12 : 11))
        return std::nullopt;
    const std::optional<int64_t> v = PanelNumberText::parseInteger(text, true);
    if (!v || *v < -Codec::GoalLimit || *v > Codec::GoalLimit)
        return std::nullopt;
    return int32_t(*v);
}

std::optional<uint32_t> EnhancedCmdModel::parsePercentGoal(const QString &text)
{
    if (text.size() > 7)
        return std::nullopt;
    const std::optional<double> v = unsignedDecimal(text);
    return v ? Codec::percentToGoal(*v) : std::nullopt;
}

std::optional<int> EnhancedCmdModel::parseCounter(const QString &text, int limit)
{
    if (text.size() > 4 || !isNumberText(text, true, false))
        return std::nullopt;
    const std::optional<int64_t> v = PanelNumberText::parseInteger(text, true);
    if (!v || *v < -limit || *v > limit)
        return std::nullopt;
    return int(*v);
}

std::optional<uint32_t> EnhancedCmdModel::parseLoopsField(const QString &text)
{
    if (text.size() > 10 || !isNumberText(text, false, false))
        return std::nullopt;
    const std::optional<int64_t> v = PanelNumberText::parseInteger(text, false);
    if (!v || *v < 0 || *v > int64_t(UINT32_MAX))
        return std::nullopt;
    return uint32_t(*v);
}

std::optional<uint16_t> EnhancedCmdModel::parsePeak(const QString &text)
{
    if (text.size() > 7)
        return std::nullopt;
    const std::optional<double> v = unsignedDecimal(text);
    return v ? Codec::amperesToPeak(*v) : std::nullopt;
}

std::optional<uint16_t> EnhancedCmdModel::parseDuration(const QString &text)
{
    if (text.size() > 5 || !isNumberText(text, false, false))
        return std::nullopt;
    const std::optional<int64_t> v = PanelNumberText::parseInteger(text, false);
    if (!v || *v < 0 || *v > 65535)
        return std::nullopt;
    return uint16_t(*v);
}

// --- Connection and model -------------------------------------------------------------

void EnhancedCmdModel::setConnected(bool connected)
{
    m_connected = connected;
    refreshAccess();
}

void EnhancedCmdModel::refreshAccess()
{
    if (m_session) {
        RegisterLockGuard guard(m_session->lock());
        const int addresses[] = {Reg::EnhancedInput, Reg::LoopsConfig, Reg::EnhancedParams};
        for (size_t i = 0; i < m_access.size(); ++i) {
            const QLMCRegister *reg = m_session->motor().registerAt(addresses[i]);
            m_access[i] = {reg->Readable, reg->Writable};
        }
    }
    updateEnables();
}

void EnhancedCmdModel::setOptionsOffered(bool peakCurrent, bool absolute)
{
    m_c.peakCurrentOffered = peakCurrent;
    m_c.absoluteOffered = absolute;
    m_c.peakCurrent = m_c.peakCurrent && peakCurrent;
    m_c.absolute = m_c.absolute && absolute;
    checkGoal();
    finishCommand();
}

void EnhancedCmdModel::updateEnables()
{
    const auto readable = [this](Group g) { return m_connected && m_access[g].readable; };
    const auto writable = [this](Group g) { return m_connected && m_access[g].writable; };
    m_c.readCommandEnabled = readable(CommandGroup);
    m_c.writeCommandEnabled = m_c.copyCommandEnabled && writable(CommandGroup);
    m_c.readLoopsEnabled = readable(LoopsGroup);
    m_c.writeLoopsEnabled = m_c.copyLoopsEnabled && writable(LoopsGroup);
    m_c.readParamsEnabled = readable(ParamsGroup);
    m_c.writeParamsEnabled =
        m_c.copyParamsEnabled && m_c.paramsGroupEnabled && writable(ParamsGroup);
}

// --- 0x4D ---------------------------------------------------------------------------

uint8_t EnhancedCmdModel::optionsFromControls() const
{
    uint8_t options = Codec::OptionAlways;
    if (m_c.goalInPercent)
        options |= Codec::OptionPercent;
    if (m_c.peakCurrent && m_c.peakCurrentOffered)
        options |= Codec::OptionPeakCurrent;
    if (m_c.absolute && m_c.absoluteOffered)
        options |= Codec::OptionAbsolute;
    return options;
}

void EnhancedCmdModel::showCommandTrace(bool valid, bool keepOptions)
{
    if (!keepOptions)
        m_command.options = optionsFromControls();
    m_c.commandTrace = Codec::commandTrace(valid ? std::optional<Command>(m_command) : std::nullopt);
}

std::optional<int32_t> EnhancedCmdModel::goalValue() const
{
    if (m_c.goalInPulses)
        return parsePulsesGoal(m_c.goalText);
    if (m_c.goalInPercent) {
        const std::optional<uint32_t> goal = parsePercentGoal(m_c.goalText);
        return goal ? std::optional<int32_t>(int32_t(*goal)) : std::nullopt;
    }
    return 0;
}

void EnhancedCmdModel::finishCommand()
{
    m_c.greyed = m_c.absolute;
    // The caption shows what Write would send, or "--" while an edit is invalid
    // (also the EnGoal edit of 107 and 112..114, which Write still reads).
    const std::optional<int32_t> goal = goalValue();
    const bool valid = goal && (m_c.selection != 0 || !m_c.counterRed);
    if (valid)
        m_command.goal = *goal;
    showCommandTrace(valid, false);
    m_c.copyCommandEnabled = valid;
    updateEnables();
}

void EnhancedCmdModel::goalTextChanged(const QString &text)
{
    m_c.goalText = text;
    checkGoal();
    finishCommand();
}

void EnhancedCmdModel::checkGoal()
{
    if (!m_c.goalEnabled) {
        // 107 and 112..114 ignore EnGoal.
        m_c.goalRed = false;
    } else if (m_c.goalInPulses) {
        const std::optional<int32_t> goal = parsePulsesGoal(m_c.goalText);
        m_c.goalRed = !goal;
    } else if (m_c.goalInPercent) {
        QString &text = m_c.goalText;
        std::optional<uint32_t> goal;
        if (text.size() <= 7 && isNumberText(text, false, true)) {
            // More than three decimals are cut while typing.
            const qsizetype separator = text.indexOf(localeDecimalSeparator());
            if (separator >= 0 && text.size() - separator - 1 > 3)
                text.truncate(separator + 4);
            goal = parsePercentGoal(text);
        }
        m_c.goalRed = !goal;
    }
}

void EnhancedCmdModel::counterTextChanged(const QString &text)
{
    m_c.counterText = text;
    checkCounter();
    finishCommand();
}

void EnhancedCmdModel::checkCounter()
{
    const std::optional<int> counter = parseCounter(m_c.counterText);
    m_c.counterRed = !counter;
    if (counter)
        m_command.function = int8_t(*counter);
}

void EnhancedCmdModel::counterLoopsClicked()
{
    m_c.selection = 0;
    m_c.goalEnabled = true;
    m_c.counterEnabled = true;
    checkGoal();
    checkCounter();
    finishCommand();
}

void EnhancedCmdModel::commandClicked(int code)
{
    if (code < Codec::FirstCommand || code > Codec::LastCommand)
        return;
    m_c.selection = code;
    m_c.goalEnabled = Codec::commandUsesGoal(code);
    m_c.counterEnabled = false;
    m_c.counterRed = false;
    checkGoal();
    m_command.function = int8_t(code);
    finishCommand();
}

void EnhancedCmdModel::goalInPulsesClicked()
{
    m_c.goalInPulses = true;
    m_c.goalInPercent = false;
    checkGoal();
    finishCommand();
}

void EnhancedCmdModel::goalInPercentClicked()
{
    m_c.goalInPulses = false;
    m_c.goalInPercent = true;
    checkGoal();
    finishCommand();
}

void EnhancedCmdModel::peakCurrentClicked(bool checked)
{
    m_c.peakCurrent = checked && m_c.peakCurrentOffered;
    checkGoal();
    finishCommand();
}

void EnhancedCmdModel::absoluteClicked(bool checked)
{
    m_c.absolute = checked && m_c.absoluteOffered;
    checkGoal();
    finishCommand();
}

EnhancedWriteResult EnhancedCmdModel::writeCommand()
{
    static const char *const Function = "TFormEnhancedCmd::BWriteEnhancedCmdClick";
    // EnGoal comes from the edit even while it is disabled.
    const std::optional<int32_t> goal = goalValue();
    if (!goal)
        return refused(__LINE__, Function, BadInput);

    int function = m_c.selection;
    if (m_c.selection == 0) {
        const std::optional<int> v = parseCounter(m_c.counterText, Codec::LoopsLimit);
        if (!v)
            return refused(__LINE__, Function, BadCounter);
        function = *v;
    }

    const Command sent{optionsFromControls(), int8_t(function), *goal};
    const auto bytes = Codec::encode(sent);
    if (!requestWrite(Reg::EnhancedInput, bytes))
        return refused(__LINE__, Function, NotSent);
    EnhancedWriteResult result;
    result.bytes.assign(bytes.begin(), bytes.end());
    showCommandTrace(true, false);
    m_c.commandWritten = Codec::writtenCommandTrace(sent);
    m_c.commandTracesRed =
        Codec::byteList(m_c.commandWritten) != Codec::byteList(m_c.commandTrace);
    return result;
}

bool EnhancedCmdModel::displayCommand(const Command &received)
{
    m_command = received;
    const bool percent = received.options & Codec::OptionPercent;
    goalTextChanged(percent ? Codec::percentText(uint32_t(received.goal))
                            : QString::number(received.goal));

    const int function = received.function;
    bool known = true;
    if (function >= Codec::FirstCommand && function <= Codec::LastCommand) {
        commandClicked(function);
    } else if (function >= -Codec::LoopsLimit && function <= Codec::LoopsLimit) {
        counterLoopsClicked();
        counterTextChanged(QString::number(function));
    } else {
        known = false;
        report(__LINE__, "TFormEnhancedCmd::displayEnhancedCmd", BadFunctionRead);
    }

    if (percent)
        goalInPercentClicked();
    else
        goalInPulsesClicked();
    // An option the model does not offer stays clear (the click ignores it).
    peakCurrentClicked(received.options & Codec::OptionPeakCurrent);
    absoluteClicked(received.options & Codec::OptionAbsolute);

    // The clicks recomputed the composed fields: the caption shows the bytes read.
    m_command = received;
    showCommandTrace(true, true);
    return known;
}

// --- 0x4E ---------------------------------------------------------------------------

void EnhancedCmdModel::pulsesTextChanged(const QString &text)
{
    m_c.pulsesText = text;
    m_loops.pulses = lowWord(text);
    checkLoops();
}

void EnhancedCmdModel::numeratorTextChanged(const QString &text)
{
    m_c.numeratorText = text;
    m_loops.numerator = lowWord(text);
    checkLoops();
}

void EnhancedCmdModel::denominatorTextChanged(const QString &text)
{
    m_c.denominatorText = text;
    m_loops.denominator = lowWord(text);
    checkLoops();
}

void EnhancedCmdModel::checkLoops()
{
    const std::optional<uint32_t> pulses = parseLoopsField(m_c.pulsesText);
    const std::optional<uint32_t> numerator = parseLoopsField(m_c.numeratorText);
    std::optional<uint32_t> denominator = parseLoopsField(m_c.denominatorText);
    if (denominator == 0u)
        denominator.reset();
    m_c.pulsesRed = !pulses;
    m_c.numeratorRed = !numerator;
    m_c.denominatorRed = !denominator;
    std::optional<QString> total;
    if (pulses && numerator && denominator) {
        total = Codec::totalPerLoopText(Loops{*denominator, *numerator, *pulses});
        if (!total) // the numerator is not below the denominator
            m_c.numeratorRed = m_c.denominatorRed = true;
    }
    m_c.copyLoopsEnabled = bool(total);
    updateEnables();
    m_c.totalText = total.value_or(QStringLiteral("---"));
    m_c.loopsTrace = Codec::loopsTrace(total ? std::optional<Loops>(m_loops) : std::nullopt);
}

EnhancedWriteResult EnhancedCmdModel::writeLoops()
{
    EnhancedWriteResult result;
    const std::optional<uint32_t> pulses = parseLoopsField(m_c.pulsesText);
    const std::optional<uint32_t> numerator = parseLoopsField(m_c.numeratorText);
    const std::optional<uint32_t> denominator = parseLoopsField(m_c.denominatorText);
    // A denominator of 0, or a numerator not below it, makes no loop length.
    if (!pulses || !numerator || !denominator || *denominator == 0 || *numerator >= *denominator)
        return refused(__LINE__, "TFormEnhancedCmd::BWriteLoopsConfigClick", BadValues);
    const Loops sent{*denominator, *numerator, *pulses};
    const auto bytes = Codec::encode(sent);
    if (!requestWrite(Reg::LoopsConfig, bytes))
        return refused(__LINE__, "TFormEnhancedCmd::BWriteLoopsConfigClick", NotSent);
    result.bytes.assign(bytes.begin(), bytes.end());
    m_c.loopsWritten = Codec::writtenLoopsTrace(sent);
    m_c.loopsTracesRed = Codec::byteList(m_c.loopsWritten) != Codec::byteList(m_c.loopsTrace);
    return result;
}

void EnhancedCmdModel::displayLoops(const Loops &received)
{
    m_loops = received;
    m_c.loopsTrace = Codec::loopsTrace(received);
    pulsesTextChanged(QString::number(received.pulses));
    numeratorTextChanged(QString::number(received.numerator));
    denominatorTextChanged(QString::number(received.denominator));
    checkLoops();
}

// --- 0x4F ---------------------------------------------------------------------------

void EnhancedCmdModel::showParamsTrace(bool valid)
{
    m_c.paramsTrace = Codec::paramsTrace(valid ? std::optional<Params>(m_params) : std::nullopt);
}

void EnhancedCmdModel::peakTextChanged(const QString &text)
{
    m_c.peakText = text;
    const std::optional<uint16_t> peak = parsePeak(text);
    m_c.peakRed = !peak;
    if (peak)
        m_params.peak = *peak;
    finishParams();
}

void EnhancedCmdModel::durationTextChanged(const QString &text)
{
    m_c.durationText = text;
    const std::optional<uint16_t> duration = parseDuration(text);
    m_c.durationRed = !duration;
    if (duration)
        m_params.duration = *duration;
    finishParams();
}

void EnhancedCmdModel::finishParams()
{
    // Both edits count: a red duration must not leave a valid-looking caption.
    const bool valid = !m_c.peakRed && !m_c.durationRed;
    showParamsTrace(valid);
    m_c.copyParamsEnabled = valid;
    updateEnables();
}

void EnhancedCmdModel::setParamsGroupEnabled(bool enabled)
{
    m_c.paramsGroupEnabled = enabled;
    updateEnables();
}

EnhancedWriteResult EnhancedCmdModel::writeParams()
{
    EnhancedWriteResult result;
    // Both ranges are checked again: a red duration must not go out with a valid peak.
    const std::optional<uint16_t> peak = parsePeak(m_c.peakText);
    const std::optional<uint16_t> duration = parseDuration(m_c.durationText);
    if (!peak || !duration)
        return refused(__LINE__, "TFormEnhancedCmd::BWriteEnhancedParamClick", BadValues);
    const Params sent{0, *duration, *peak};
    const auto bytes = Codec::encode(sent);
    if (!requestWrite(Reg::EnhancedParams, bytes))
        return refused(__LINE__, "TFormEnhancedCmd::BWriteEnhancedParamClick", NotSent);
    result.bytes.assign(bytes.begin(), bytes.end());
    // The edit shows the current actually sent.
    peakTextChanged(Codec::peakText(*peak));
    m_c.paramsWritten = Codec::writtenParamsTrace(sent);
    m_c.paramsTracesRed = Codec::byteList(m_c.paramsWritten) != Codec::byteList(m_c.paramsTrace);
    return result;
}

void EnhancedCmdModel::displayParams(const Params &received)
{
    m_params = received;
    showParamsTrace(true);
    peakTextChanged(Codec::peakText(received.peak));
    durationTextChanged(QString::number(received.duration));
}

void EnhancedCmdModel::displayAll(const EnhancedCmdRecord &record)
{
    displayCommand(Codec::commandOf(record));
    displayLoops(Codec::loopsOf(record));
    displayParams(Codec::paramsOf(record));
}

// --- Plumbing ----------------------------------------------------------------------

bool EnhancedCmdModel::requestWrite(int address, std::span<const uint8_t> bytes)
{
    m_refusal.clear();
    if (!m_connected)
        return false;
    if (!m_session)
        return true; // composing only
    RegisterLockGuard guard(m_session->lock());
    const QLMCRegister *reg = m_session->motor().registerAt(address);
    if (!reg || !reg->Writable)
        return false; // the sender would drop it: nothing goes out
    const RegisterWrite write{address, {bytes.begin(), bytes.end()}};
    if (std::optional<QString> refusal = RegisterRules::requestExplained(
            *m_session, {&write, 1}, "EnhancedCmdModel::requestWrite", "Enhanced cmd / Loops")) {
        m_refusal = *refusal;
        return false;
    }
    return true;
}

EnhancedWriteResult EnhancedCmdModel::refused(int line, const char *function, const char *text)
{
    // A value the rule book refused is logged with its reason, not as a
    // missing connection.
    if (text == NotSent && !m_refusal.isEmpty())
        LogMessage(SourceName, line, function, LogOutput::Default, LogLevelError, LogActionNone,
                   m_refusal);
    else
        report(line, function, text);
    EnhancedWriteResult result;
    result.report = QLatin1String(text);
    return result;
}

void EnhancedCmdModel::report(int line, const char *function, const char *text)
{
    LogMessage(SourceName, line, function, LogOutput::Default, LogLevelError, LogActionNone,
               QLatin1String(text));
}
