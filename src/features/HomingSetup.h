// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

class QLMCIPMotor;
class QLMCSession;

/// Homing registers 0x47..0x4C: the options bit field 0x48, the values set once
/// home is reached and the two command registers.
namespace HomingSetup {

constexpr int ListSize = 16;
constexpr uint32_t AutorunBit = 0x80;

/// The homing types the window starts with (before any identification).
QStringList startTypes();
/// The sixteen ratios shared by the four ratio lists.
QStringList ratioItems();

/// The fields of 0x48, each an index 0..15 but the autorun flag.
struct Options
{
    int type = 0;
    bool autorun = false;
    int currentRatio = 0;
    int speedRatio = 0;
    int accelerationRatio = 0;
    int timeMax = 0;
    friend bool operator==(const Options &, const Options &) = default;
};

/// The fields of a read value (every index masked to 0..15).
Options decode(uint32_t value);
/// The value to write: nullopt when any index lies outside 0..15 (a list with
/// nothing selected gives -1). Bits 4..6 and 24..31 are 0.
std::optional<uint32_t> compose(const Options &options);

/// A value typed into EStartInput, EPosition or EInput: a plain signed
/// integer in the 32-bit range; nullopt for anything else (also for texts too
/// long to read, which are never wrapped).
std::optional<int32_t> parseValue(const QString &text);

/// What a Write did: sent, or not (then refusal holds the rule book's one-line
/// reason, or is empty for a text or selection the window refuses itself).
struct WriteOutcome
{
    bool sent = false;
    QString refusal;
    explicit operator bool() const { return sent; }
};

/// The group-2 "Write": 0x48, 0x4B and 0x4C together, judged by the rule book
/// (a homing type the model lists as "-" is refused). Nothing is requested
/// when the options or either text is refused.
WriteOutcome writeValueSet(QLMCSession &session, const Options &options,
                           const QString &positionText, const QString &inputText);
/// The group-1 "Write" of 0x47; nothing requested for a refused text or value.
WriteOutcome writeStartInput(QLMCSession &session, const QString &text);
/// The group-2 "Read": 0x48, 0x4B and 0x4C in one hold of the lock.
void requestValueSet(QLMCIPMotor &motor);
/// The group-1 "Read": 0x47.
void requestStartInput(QLMCIPMotor &motor);
/// "Start": a write request of the command register 0x49 (no data), judged by
/// the rule book (the homing type in force must be one the model offers).
WriteOutcome requestStart(QLMCSession &session);
/// "Stop": a write request of 0x4A (no data). A stop is never judged nor held
/// back by the rule book.
void requestStop(QLMCIPMotor &motor);

} // namespace HomingSetup
