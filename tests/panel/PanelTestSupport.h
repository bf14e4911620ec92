// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "base/NumberText.h"
#include "device/QLMCSession.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace paneltest {

/// Grants read and write access to every register, as an identification would.
inline void grantAll(QLMCSession &session)
{
    RegisterLockGuard guard(session.lock());
    for (int address = 0; address < RegisterCount; ++address)
        session.motor().setAccess(address, true, true);
}

/// The value waiting to be written to \a address (sign-extended from its
/// size), or nullopt when no write is requested.
inline std::optional<int64_t> pendingWrite(QLMCSession &session, int address)
{
    RegisterLockGuard guard(session.lock());
    const QLMCRegister *reg = session.motor().registerAt(address);
    if (!reg || !reg->WriteRequest)
        return std::nullopt;
    uint64_t raw = 0;
    for (uint8_t byte : reg->WriteValue)
        raw = (raw << 8) | byte;
    const int bits = 8 * reg->Size;
    if (bits > 0 && bits < 64 && (raw >> (bits - 1)) & 1)
        raw |= ~uint64_t(0) << bits;
    return static_cast<int64_t>(raw);
}

inline bool readRequested(QLMCSession &session, int address)
{
    RegisterLockGuard guard(session.lock());
    const QLMCRegister *reg = session.motor().registerAt(address);
    return reg && reg->ReadRequest;
}

/// Clears every pending read and write request.
inline void clearRequests(QLMCSession &session)
{
    RegisterLockGuard guard(session.lock());
    for (QLMCRegister &reg : session.motor().registers()) {
        reg.ReadRequest = false;
        reg.WriteRequest = false;
    }
}

/// \a text with "." replaced by the locale's decimal separator.
inline QString local(const char *text)
{
    QString result = QString::fromLatin1(text);
    result.replace(QLatin1Char('.'), localeDecimalSeparator());
    return result;
}

} // namespace paneltest
