// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/DeviceIdentity.h"

#include "base/NumberText.h"

DeviceIdentity DeviceIdentity::decode(uint32_t deviceType, uint32_t deviceVersion)
{
    DeviceIdentity id;
    id.typeCode = deviceType >> 16;
    id.subType = deviceType & 0xFFFFu;
    if (deviceVersion > 0xFFFFFFu) {
        // Four-byte form: hardware version in the high bytes, firmware in the low two.
        id.major = (deviceVersion >> 8) & 0xFFu;
        id.minor = deviceVersion & 0xFFu;
    } else {
        id.major = deviceVersion >> 16;
        id.minor = deviceVersion & 0xFFFFu;
    }
    return id;
}

bool DeviceIdentity::versionAbove(uint32_t aMajor, uint32_t aMinor) const
{
    return major > aMajor || (major == aMajor && minor > aMinor);
}

bool DeviceIdentity::feedForward() const
{
    return typeCode != StepperTypeCode && major > 6;
}

namespace {

std::optional<uint32_t> fieldValue(const QString &text, uint32_t maximum)
{
    if (!isNumberText(text, false, false))
        return std::nullopt;
    bool ok = false;
    const qulonglong value = text.toULongLong(&ok);
    if (!ok || value > maximum)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

} // namespace

std::optional<std::pair<uint32_t, uint32_t>>
displayTestValues(const QString &typeHigh, const QString &typeLow, const QString &hwHigh,
                  const QString &hwLow, const QString &fwHigh, const QString &fwLow)
{
    const auto th = fieldValue(typeHigh, 0xFFFF);
    const auto tl = fieldValue(typeLow, 0xFFFF);
    const auto hh = fieldValue(hwHigh, 0xFF);
    const auto hl = fieldValue(hwLow, 0xFF);
    const auto fh = fieldValue(fwHigh, 0xFF);
    const auto fl = fieldValue(fwLow, 0xFF);
    if (!th || !tl || !hh || !hl || !fh || !fl)
        return std::nullopt;
    const uint32_t deviceType = (*th << 16) | *tl;
    const uint32_t deviceVersion = (*hh << 24) | (*hl << 16) | (*fh << 8) | *fl;
    return std::make_pair(deviceType, deviceVersion);
}
