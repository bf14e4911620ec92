// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/QLMCIPMotor.h"
#include "support/Bytes.h"

#include <string>

namespace featuretest {

/// The direct write entry a pending write of \a address puts on the wire
/// ("2A 00 01 80 00"), or "" when none is pending; the request is taken.
inline std::string takeWriteEntry(QLMCIPMotor &motor, int address)
{
    RegisterLockGuard guard(motor.lock());
    QLMCRegister *reg = motor.registerAt(address);
    if (!reg || !reg->WriteRequest)
        return {};
    reg->WriteRequest = false;
    std::vector<uint8_t> entry{uint8_t(address)};
    entry.insert(entry.end(), reg->WriteValue.begin(), reg->WriteValue.begin() + reg->Size);
    return testsupport::hexText(entry);
}

inline bool takeRead(QLMCIPMotor &motor, int address)
{
    RegisterLockGuard guard(motor.lock());
    QLMCRegister *reg = motor.registerAt(address);
    const bool requested = reg->ReadRequest;
    reg->ReadRequest = false;
    return requested;
}

} // namespace featuretest
