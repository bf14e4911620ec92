// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the feature windows' edit parsers: homing values, the auto-tuning
// current maximum and its five-decimal cut, with any text.
#include "features/AutoTuningWizard.h"
#include "features/HomingSetup.h"

#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto value = HomingSetup::parseValue(text))
        if (QString::number(*value).toLongLong() != *value)
            __builtin_trap();
    if (const auto raw = AutoTuningWizard::currentRaw(text, 15 * 65536))
        if (*raw < 0 || *raw > 15 * 65536)
            __builtin_trap();
    const QString cut = AutoTuningWizard::cutCurrentText(text);
    if (cut.size() > text.size())
        __builtin_trap();
    return 0;
}
