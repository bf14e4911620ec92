// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <span>

struct EnhancedCmdRecord;

/// The enhanced motion command (0x4D), the loops configuration (0x4E) and the
/// enhanced parameters (0x4F): their fields to the exact register bytes and
/// back, their trace texts and the unit conversions the window and the
/// command-line tool share. Pure functions; any input is safe.
namespace EnhancedCommandCodec {

// Options byte of 0x4D (wire byte 0, "B5").
inline constexpr uint8_t OptionAlways = 0x80;      ///< set in every byte written
inline constexpr uint8_t OptionPercent = 0x10;     ///< EnGoal is a percentage
inline constexpr uint8_t OptionPeakCurrent = 0x08; ///< peak current of 0x4F for this command
inline constexpr uint8_t OptionAbsolute = 0x04;    ///< absolute value, no loop counting

inline constexpr int FirstCommand = 101; ///< numbered commands 101..117
inline constexpr int LastCommand = 117;
inline constexpr int LoopsLimit = 100;          ///< function bytes -100..100 count loops
inline constexpr int32_t GoalLimit = 1'000'000'000; ///< |EnGoal| in pulses
inline constexpr uint32_t PercentFull = 0xFFFFFF;   ///< 100 % in the 24-bit magnitude

inline constexpr int CommandSize = 6;
inline constexpr int LoopsSize = 12;
inline constexpr int ParamsSize = 8;

/// Register 0x4D: options, function (signed), EnGoal.
struct Command
{
    uint8_t options = OptionAlways;
    int8_t function = 0;
    int32_t goal = 0;
    bool operator==(const Command &) const = default;
};

/// Register 0x4E: pulses per loop = pulses + numerator / denominator.
struct Loops
{
    uint32_t denominator = 1;
    uint32_t numerator = 0;
    uint32_t pulses = 0;
    bool operator==(const Loops &) const = default;
};

/// Register 0x4F: a reserved head, the peak duration (ms), the peak current (1/256 A).
struct Params
{
    uint32_t head = 0;
    uint16_t duration = 0;
    uint16_t peak = 0;
    bool operator==(const Params &) const = default;
};

std::array<uint8_t, CommandSize> encode(const Command &command);
std::array<uint8_t, LoopsSize> encode(const Loops &loops);
std::array<uint8_t, ParamsSize> encode(const Params &params);
/// nullopt unless \a bytes has exactly the register's size.
std::optional<Command> decodeCommand(std::span<const uint8_t> bytes);
std::optional<Loops> decodeLoops(std::span<const uint8_t> bytes);
std::optional<Params> decodeParams(std::span<const uint8_t> bytes);

/// The three registers as the decoder left them in the session's record.
Command commandOf(const EnhancedCmdRecord &record);
Loops loopsOf(const EnhancedCmdRecord &record);
Params paramsOf(const EnhancedCmdRecord &record);

/// Group captions: "0x4D-Enhanced cmd : [0x80 65 00 00 03 E8]", or with "--"
/// in place of every byte when \a command is nullopt (an invalid entry).
QString commandTrace(const std::optional<Command> &command);
QString loopsTrace(const std::optional<Loops> &loops);
QString paramsTrace(const std::optional<Params> &params);
/// The "Values written" labels.
QString writtenCommandTrace(const Command &command);
QString writtenLoopsTrace(const Loops &loops);
QString writtenParamsTrace(const Params &params);
/// The text between the square brackets of a trace ("" when there is none).
QString byteList(const QString &trace);

/// Numbered commands: the caption of \a code (101..117); \a absolute gives the
/// "movement" wording of 110 and 111. Empty for any other code.
QString commandCaption(int code, bool absolute);
/// EnGoal is used by command \a code (101..117); 107 and 112..114 ignore it.
bool commandUsesGoal(int code);
/// The caption of \a code is greyed in absolute mode (101..106, 112..115).
bool commandGreyedWhenAbsolute(int code);
/// The function byte means something when read: -100..117.
bool isKnownFunction(int function);

/// The short label of a command on the live charts: "101", "+2 loops", "-1 loops".
QString markerLabel(const Command &command);
/// The tarvine-cli line that writes \a bytes to \a address again:
/// tarvine-cli --ip IP write '0x4D=[0x80 65 00 00 03 E8]' (IP "ADDR" when empty).
QString cliWriteLine(int address, std::span<const uint8_t> bytes, const QString &ip);

/// EnGoal for a percentage 0..100: truncate(percent x 16,777,215 / 100), so
/// 50 gives 0x7FFFFF and 100 gives 0xFFFFFF. nullopt outside 0..100 or NaN.
std::optional<uint32_t> percentToGoal(double percent);
/// The percentage of a read EnGoal: the 24-bit magnitude B2..B0 over
/// 16,777,215, or nullopt when the sign byte B3 is not 0.
std::optional<double> goalToPercent(uint32_t goal);
/// The EnGoal edit text of a read percentage ("50.000"), or "-" for a negative one.
QString percentText(uint32_t goal);

/// 1/256 A for \a amperes, rounded to the nearest (halves to even); nullopt
/// unless 0 <= amperes and the result fits 16 bits (255.998 rounds to 65,536).
std::optional<uint16_t> amperesToPeak(double amperes);
/// The peak current edit text: always three decimals ("1.004", "255.996"), so
/// every 16-bit value reads back to itself.
QString peakText(uint16_t peak);

/// Digits with "'" before every group of three counted from the right: 1'000'000.
QString groupedDigits(uint64_t value);
/// "Total pulses per loop": the pulses grouped, then ".0" for a numerator of
/// 0 or five decimals of the fraction without its leading zero (".33333"); a
/// fraction rounding up to 1 carries into the pulses (1'001.00000). nullopt
/// when the denominator is 0 or the numerator is not below it.
std::optional<QString> totalPerLoopText(const Loops &loops);

} // namespace EnhancedCommandCodec
