// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>

/// How long the sender waits for an answer. The wait follows the link: a few
/// times the 99th percentile of the recent answer times, never below a floor
/// of a few milliseconds and never above the ceiling (3000 ms in the desktop
/// tool). Until enough answers were measured, and for packets carrying a
/// command the controller may take long over, the wait is the ceiling.
namespace AnswerTimeout {

inline constexpr int CeilingMs = 3000;
inline constexpr int FloorMs = 5;
/// The wait is this many times the recent p99.
inline constexpr double P99Factor = 4.0;
/// Answers measured before the wait follows them (the p99 of a few answers
/// is their maximum: a cautious start).
inline constexpr size_t MeasuredAnswers = 20;

/// The wait for an ordinary request's answer, in ms: P99Factor x \a p99Ms
/// rounded up, within \a floorMs .. \a ceilingMs (a floor above the ceiling
/// gives the ceiling); the ceiling while fewer than MeasuredAnswers answers
/// were measured.
int adaptiveMs(double p99Ms, size_t answersMeasured, int floorMs = FloorMs,
               int ceilingMs = CeilingMs);

/// True when a write of \a address makes the controller busy for long (reset
/// 0x02, EEPROM save and restore 0x03..0x06): its packet waits the ceiling.
constexpr bool isLongCommand(int address)
{
    return address >= 0x02 && address <= 0x06;
}

} // namespace AnswerTimeout
