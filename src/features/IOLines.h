// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>

class QLMCSession;

/// Register 0x55 "I/O config" (two lines, one nibble each in the low byte) and
/// 0x56 "I/O state".
namespace IOLines {

constexpr int ItemCount = 16;

/// The sixteen configuration items, the same for both lines ("0 - Input" ..).
QStringList configItems();
/// Captions of the four value labels of 0x56, in display order.
std::array<QString, 4> stateCaptions();

/// IOConfig with line 1 (\a line 1) or line 2 (\a line 2) set to \a item;
/// the high byte is cleared. nullopt for an item outside 0..15 or another line.
std::optional<uint16_t> compose(uint16_t config, int line, int item);
/// The item index the list of \a line (1 or 2) shows for \a config (0..15).
int itemOf(uint16_t config, int line);

/// A user's choice of \a item on \a line: composes it with the last value
/// decoded or written (the session's I/O record), stores the result there and
/// requests the write, all in one hold of the lock. nullopt, and nothing
/// written, for an item outside 0..15 (no selection) or a value the rule book
/// refuses (a reserved code; its one-line reason goes to \a refusal).
std::optional<uint16_t> choose(QLMCSession &session, int line, int item,
                               QString *refusal = nullptr);

/// FormShow: a read of 0x55.
void requestConfigRead(QLMCSession &session);

} // namespace IOLines
