// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <utility>

/// Type code, sub-type and firmware version of a controller, decoded from its
/// registers 0x00 Type and 0x01 Version.
struct DeviceIdentity
{
    uint32_t typeCode = 0; ///< high 16 bits of Type
    uint32_t subType = 0;  ///< low 16 bits of Type
    uint32_t major = 0;
    uint32_t minor = 0;

    /// Decodes the two raw register values. A Version above 0xFFFFFF carries
    /// major and minor in its two low bytes (0x01020304 is 3.4); a smaller one
    /// carries major in bits 16..31 and minor in bits 0..15 (0x00070012 is 7.18).
    static DeviceIdentity decode(uint32_t deviceType, uint32_t deviceVersion);

    /// True when the firmware is newer than \a aMajor.\a aMinor: a higher major,
    /// or the same major with a higher minor.
    bool versionAbove(uint32_t aMajor, uint32_t aMinor) const;

    /// True when the controller has the feed-forward terms 0x61..0x64: every
    /// family except the steppers (type 43), from major version 7 on.
    bool feedForward() const;
};

/// Type code of the stepper family; it never has feed-forward terms.
inline constexpr uint32_t StepperTypeCode = 43;

/// Composes the Type and Version values that the About window's display test
/// feeds to the identification, from its six edits: type high and low
/// (0..65535 each), hardware-version high and low and firmware-version high and
/// low (0..255 each). Returns nullopt when a text is not a plain unsigned
/// decimal number or is out of its range.
std::optional<std::pair<uint32_t, uint32_t>>
displayTestValues(const QString &typeHigh, const QString &typeLow, const QString &hwHigh,
                  const QString &hwLow, const QString &fwHigh, const QString &fwLow);
