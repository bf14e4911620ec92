// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/EnhancedCommandCodec.h"

#include "base/FloatText.h"
#include "base/NumberText.h"
#include "device/DeviceRecords.h"
#include "device/RegisterText.h"

#include <cmath>

namespace EnhancedCommandCodec {

namespace {

void put32(uint8_t *out, uint32_t v)
{
    out[0] = uint8_t(v >> 24);
    out[1] = uint8_t(v >> 16);
    out[2] = uint8_t(v >> 8);
    out[3] = uint8_t(v);
}

void put16(uint8_t *out, uint16_t v)
{
    out[0] = uint8_t(v >> 8);
    out[1] = uint8_t(v);
}

uint32_t get32(const uint8_t *in)
{
    return (uint32_t(in[0]) << 24) | (uint32_t(in[1]) << 16) | (uint32_t(in[2]) << 8) | in[3];
}

uint16_t get16(const uint8_t *in)
{
    return uint16_t((in[0] << 8) | in[1]);
}

QString invalidBytes(int count)
{
    QString out = QStringLiteral("[0x");
    for (int i = 0; i < count; ++i)
        out += i ? QStringLiteral(" --") : QStringLiteral("--");
    return out + QLatin1Char(']');
}

const char *const CommandPrefix = "0x4D-Enhanced cmd : ";
const char *const LoopsPrefix = "0x4E-Enhanced range config : ";
const char *const ParamsPrefix = "0x4F-Enhanced parameters : ";

struct CommandRow
{
    const char *caption;
    bool usesGoal;
    bool greyedWhenAbsolute;
};

// Codes 101..117 in order.
constexpr CommandRow Commands[] = {
    {"[P] Shortest way to EnGoal [-1 or 0 or +1 loop]", true, true},
    {"[P] 1st positive position to EnGoal", true, true},
    {"[P] 1st negative position to EnGoal", true, true},
    {"[P] Same direction, if speed = 0 then shortest way", true, true},
    {"[P] Same direction, if speed = 0 then 1st positive EnGoal", true, true},
    {"[P] Same direction, if speed = 0 then 1st negative EnGoal", true, true},
    {"[P] Brake and at speed = 0 copy POSITION to INPUT", false, false},
    {"[P] Add offset EnGoal to INPUT", true, false},
    {"[P] Offset EnGoal + POSITION to INPUT", true, false},
    {"[S] Infinite positive loops with EnGoal as speed", true, false},
    {"[S] Infinite negative loops with EnGoal as speed", true, false},
    {"[-] Range POSITION only", false, true},
    {"[-] Range POSITION + INPUT (loops without rest)", false, true},
    {"[-] Range POSITION + INPUT (absolute with rest)", false, true},
    {"[P] Range POSITION, next EnGoal as new INPUT", true, true},
    {"Reserved (0x74)", true, false},
    {"Reserved (0x75)", true, false},
};

const CommandRow *row(int code)
{
    if (code < FirstCommand || code > LastCommand)
        return nullptr;
    return &Commands[code - FirstCommand];
}

} // namespace

std::array<uint8_t, CommandSize> encode(const Command &command)
{
    std::array<uint8_t, CommandSize> out{};
    out[0] = command.options;
    out[1] = uint8_t(command.function);
    put32(out.data() + 2, uint32_t(command.goal));
    return out;
}

std::array<uint8_t, LoopsSize> encode(const Loops &loops)
{
    std::array<uint8_t, LoopsSize> out{};
    put32(out.data(), loops.denominator);
    put32(out.data() + 4, loops.numerator);
    put32(out.data() + 8, loops.pulses);
    return out;
}

std::array<uint8_t, ParamsSize> encode(const Params &params)
{
    std::array<uint8_t, ParamsSize> out{};
    put32(out.data(), params.head);
    put16(out.data() + 4, params.duration);
    put16(out.data() + 6, params.peak);
    return out;
}

std::optional<Command> decodeCommand(std::span<const uint8_t> bytes)
{
    if (bytes.size() != CommandSize)
        return std::nullopt;
    return Command{bytes[0], int8_t(bytes[1]), int32_t(get32(bytes.data() + 2))};
}

std::optional<Loops> decodeLoops(std::span<const uint8_t> bytes)
{
    if (bytes.size() != LoopsSize)
        return std::nullopt;
    return Loops{get32(bytes.data()), get32(bytes.data() + 4), get32(bytes.data() + 8)};
}

std::optional<Params> decodeParams(std::span<const uint8_t> bytes)
{
    if (bytes.size() != ParamsSize)
        return std::nullopt;
    return Params{get32(bytes.data()), get16(bytes.data() + 4), get16(bytes.data() + 6)};
}

Command commandOf(const EnhancedCmdRecord &record)
{
    // The function byte is signed on the wire: 0x9C is -100.
    return Command{record.Options, int8_t(record.Function), int32_t(record.Goal)};
}

Loops loopsOf(const EnhancedCmdRecord &record)
{
    // 0x4E is denominator, numerator, pulses on the wire.
    return Loops{record.RangeConfig[0], record.RangeConfig[1], record.RangeConfig[2]};
}

Params paramsOf(const EnhancedCmdRecord &record)
{
    // 0x4F bytes 4-5 are the duration, 6-7 the peak current.
    return Params{record.ParamWord, record.ParamHigh, record.ParamLow};
}

QString commandTrace(const std::optional<Command> &command)
{
    return QLatin1String(CommandPrefix)
           + (command ? RegisterText::trace(encode(*command)) : invalidBytes(CommandSize));
}

QString loopsTrace(const std::optional<Loops> &loops)
{
    return QLatin1String(LoopsPrefix)
           + (loops ? RegisterText::trace(encode(*loops)) : invalidBytes(LoopsSize));
}

QString paramsTrace(const std::optional<Params> &params)
{
    return QLatin1String(ParamsPrefix)
           + (params ? RegisterText::trace(encode(*params)) : invalidBytes(ParamsSize));
}

QString writtenCommandTrace(const Command &command)
{
    return QStringLiteral("0x4D-Enhanced cmd :          ") + RegisterText::trace(encode(command));
}

QString writtenLoopsTrace(const Loops &loops)
{
    return QLatin1String(LoopsPrefix) + RegisterText::trace(encode(loops));
}

QString writtenParamsTrace(const Params &params)
{
    // The head is always written as zero.
    Params sent = params;
    sent.head = 0;
    return QStringLiteral("0x4F-Enhanced parameters :   ") + RegisterText::trace(encode(sent));
}

QString byteList(const QString &trace)
{
    const qsizetype open = trace.indexOf(QLatin1Char('['));
    const qsizetype close = trace.indexOf(QLatin1Char(']'), open + 1);
    if (open < 0 || close < 0)
        return {};
    return trace.mid(open + 1, close - open - 1);
}

QString commandCaption(int code, bool absolute)
{
    const CommandRow *r = row(code);
    if (!r)
        return {};
    if (absolute && code == 110)
        return QStringLiteral("[S] Infinite positive movement with EnGoal as speed");
    if (absolute && code == 111)
        return QStringLiteral("[S] Infinite negative movement with EnGoal as speed");
    return QLatin1String(r->caption);
}

bool commandUsesGoal(int code)
{
    const CommandRow *r = row(code);
    return r && r->usesGoal;
}

bool commandGreyedWhenAbsolute(int code)
{
    const CommandRow *r = row(code);
    return r && r->greyedWhenAbsolute;
}

bool isKnownFunction(int function)
{
    return function >= -LoopsLimit && function <= LastCommand;
}

QString markerLabel(const Command &command)
{
    const int f = command.function;
    if (f >= -LoopsLimit && f <= LoopsLimit)
        return (f < 0 ? QString::number(f) : QLatin1Char('+') + QString::number(f))
               + QStringLiteral(" loops");
    return QString::number(f);
}

QString cliWriteLine(int address, std::span<const uint8_t> bytes, const QString &ip)
{
    return QStringLiteral("tarvine-cli --ip %1 write '0x%2=%3'")
        .arg(ip.isEmpty() ? QStringLiteral("ADDR") : ip,
             QString::number(address, 16).rightJustified(2, QLatin1Char('0')).toUpper(),
             RegisterText::trace(bytes));
}

std::optional<uint32_t> percentToGoal(double percent)
{
    if (!(percent >= 0.0 && percent <= 100.0))
        return std::nullopt;
    return uint32_t(std::trunc(percent * double(PercentFull) / 100.0)) & PercentFull;
}

std::optional<double> goalToPercent(uint32_t goal)
{
    if (goal >> 24)
        return std::nullopt;
    return double(goal & PercentFull) * 100.0 / double(PercentFull);
}

QString percentText(uint32_t goal)
{
    const std::optional<double> percent = goalToPercent(goal);
    return percent ? fixedText(*percent, 5, 3) : QStringLiteral("-");
}

std::optional<uint16_t> amperesToPeak(double amperes)
{
    if (!(amperes >= 0.0 && amperes < 256.0))
        return std::nullopt;
    const double raw = std::nearbyint(amperes * 256.0); // halves to even
    if (raw > 65535.0)
        return std::nullopt;
    return uint16_t(raw);
}

QString peakText(uint16_t peak)
{
    return fixedText(peak / 256.0, 9, 3);
}

QString groupedDigits(uint64_t value)
{
    const QString digits = QString::number(value);
    QString out;
    out.reserve(digits.size() + digits.size() / 3);
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += QLatin1Char('\'');
        out += digits.at(i);
    }
    return out;
}

std::optional<QString> totalPerLoopText(const Loops &loops)
{
    if (loops.denominator == 0 || loops.numerator >= loops.denominator)
        return std::nullopt;
    const QChar separator = localeDecimalSeparator();
    if (loops.numerator == 0)
        return groupedDigits(loops.pulses) + separator + QLatin1Char('0');
    // Five decimals, rounded half up, in integers: numerator < 2^32 keeps this in 64 bits.
    const uint64_t den = loops.denominator;
    uint64_t fifth = (uint64_t(loops.numerator) * 200000u + den) / (2u * den);
    uint64_t pulses = loops.pulses;
    if (fifth >= 100000u) {
        fifth -= 100000u;
        ++pulses;
    }
    return groupedDigits(pulses) + separator
           + QString::number(fifth).rightJustified(5, QLatin1Char('0'));
}

} // namespace EnhancedCommandCodec
