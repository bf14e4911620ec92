// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

class QLMCSession;

/// Register 0x08 "Warning": sixteen warnings, bit 2k the present state of
/// warning k and bit 2k+1 its latched state (seen since the last clear).
namespace WarningRegister {

constexpr int WarningCount = 16;
/// The value "Clear" writes.
constexpr uint32_t ClearValue = 0;

/// Caption of warning \a warning (0..15); empty outside.
QString caption(int warning);
/// Group caption before any value: "0x08 - Warning :  [0x-- -- -- -- -- --]".
QString initialGroupTitle();
/// "0x08 - Warning :  [0x" + the four bytes, most significant first + "]".
QString groupTitle(uint32_t bits);
inline bool bitSet(uint32_t bits, int bit)
{
    return bit >= 0 && bit < 32 && ((bits >> bit) & 1u);
}

/// "Clear": a write of four zero bytes through the rule book. The reason
/// when it refused (nothing written), else nullopt.
std::optional<QString> requestClear(QLMCSession &session);

/// When each latched ("BEFORE") bit was first seen set since the last clear.
class LatchHistory
{
public:
    /// A decoded value: latched bits newly set are stamped with \a now; bits
    /// that read 0 again forget their stamp (the register was cleared).
    void observe(uint32_t bits, const QDateTime &now);
    /// "Clear" was clicked: every stamp is forgotten.
    void clear();
    /// The stamp of warning \a warning's latched bit, if set.
    std::optional<QDateTime> firstSeen(int warning) const;
    /// Tool tip of the "BEFORE" box of \a warning.
    QString toolTip(int warning) const;

private:
    std::array<std::optional<QDateTime>, WarningCount> m_seen{};
};

} // namespace WarningRegister
