// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <array>
#include <cstdint>

/// One IPv4 address of one local adapter. Rows of the windows find it again by IPText.
struct QLMCNetBoard
{
    QString FriendlyName = QStringLiteral("Not defined");
    QString Description = QStringLiteral("Not defined");
    QString IPText = QStringLiteral("0.0.0.0");
    std::array<uint8_t, 4> IP{};
    /// The mask derived from the address class; the IP change sends it.
    QString MaskText = QStringLiteral("0.0.0.0");
    std::array<uint8_t, 4> Mask{};
    QString MACText = QStringLiteral("00.00.00.00.00.00");
    std::array<uint8_t, 6> MAC{};
    /// The adapter's real mask (what tells a device on a foreign subnet).
    std::array<uint8_t, 4> RealMask{};
    bool loopback = false; ///< the loopback mode's virtual adapter
};
