// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <array>
#include <cstdint>

/// One device that answered a discovery broadcast (or one I2C module of a
/// gateway's module list). Rows of the windows find it again by MACText.
struct QLMCQuelmoDevice
{
    QString IPText = QStringLiteral("0.0.0.0"); ///< source address of the answer
    std::array<uint8_t, 4> IP{};
    QString MACText = QStringLiteral("00.00.00.00.00.00"); ///< "00-50-C2-00-00-33"
    std::array<uint8_t, 6> MAC{};
    QString TypeText = QStringLiteral("Not defined"); ///< "2.3": type code "." sub-type
    uint16_t TypeCode = 0;
    uint16_t SubType = 0;
    QString NameText = QStringLiteral("Not defined");
    QString HWVersionText = QStringLiteral("Not defined");
    std::array<uint8_t, 2> HWVersion{}; ///< major, minor
    QString FWVersionText = QStringLiteral("Not defined");
    std::array<uint8_t, 2> FWVersion{}; ///< major, minor
    QString ModuleAddressText = QStringLiteral("Not defined");
    uint8_t ModuleAddress = 0;
};
