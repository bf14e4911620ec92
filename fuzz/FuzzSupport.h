// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// What the fuzz targets share: logging kept in memory, the session a target
// keeps for the whole run, the fault check, and the cutting of an input into
// length-prefixed fields.
#include "base/Diagnostics.h"
#include "device/QLMCSession.h"

#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace fuzzsupport {

/// Decoder errors would go to a log file; keep them in memory.
inline void keepLogInMemory()
{
    SetLogTarget(0, QStringLiteral("/nonexistent"), QStringLiteral("fuzz"));
    SetLogOptions(0, -2, false, true, QStringLiteral("fuzz"));
}

/// A session for the whole run (made once by the target), its log kept in memory.
inline QLMCSession *newSession(SessionListener *listener = nullptr)
{
    keepLogInMemory();
    return new QLMCSession(listener);
}

/// Ends the run as a crash when \a condition does not hold.
inline void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

/// The next field of the input: a length byte (taken modulo \a modulus), then
/// that many bytes, as many as are left; the input moves past it.
inline std::span<const uint8_t> takeField(const uint8_t *&data, size_t &size, size_t modulus)
{
    if (size == 0)
        return {};
    const size_t n = std::min<size_t>(data[0] % modulus, size - 1);
    const std::span<const uint8_t> field(data + 1, n);
    data += n + 1;
    size -= n + 1;
    return field;
}

} // namespace fuzzsupport
