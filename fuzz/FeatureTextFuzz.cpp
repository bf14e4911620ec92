// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the text checks of the options window's edits: the current maximum,
// the input limits and the standby timer. A text the check accepts gives a raw
// value within the register's bounds.
#include "features/OptionRegisters.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace OptionRegisters;
    if (size < 4)
        return 0;
    const int32_t maxPeak = int32_t(
        (uint32_t(data[0]) << 24 | uint32_t(data[1]) << 16 | uint32_t(data[2]) << 8 | data[3])
        & 0x7FFFFFFF);
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data + 4), qsizetype(size - 4));

    if (const std::optional<int32_t> raw = currentRaw(text, maxPeak))
        if (*raw < 0 || *raw > maxPeak)
            std::abort();
    if (const std::optional<QString> cut = cutToFiveDecimals(text))
        if (cut->size() >= text.size())
            std::abort();
    if (const std::optional<uint16_t> standby = standbyValue(text))
        if (*standby > StandbyMaximum)
            std::abort();

    InputLimitEdits edits{text, text.left(text.size() / 2)};
    inputLimitChanged(edits, true, true);
    const auto limits = inputLimitsToWrite(edits.minText, edits.maxText);
    if (limits && (limits->second < limits->first || !edits.writeEnabled()))
        std::abort();
    return 0;
}
