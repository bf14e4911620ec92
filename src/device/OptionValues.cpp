// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/OptionValues.h"

#include "base/FloatText.h"

namespace OptionValues {

QString currentText(int32_t raw)
{
    return fixedText(double(raw) / 65536.0, 10, 5);
}

int voltagePosition(int32_t raw)
{
    const int64_t tenfold = int64_t(raw) * 10;
    int64_t quotient = tenfold / 65536;
    int64_t remainder = tenfold % 65536;
    if (remainder < 0) { // floor division
        remainder += 65536;
        --quotient;
    }
    if (2 * remainder > 65536 || (2 * remainder == 65536 && (quotient & 1)))
        ++quotient;
    return int(quotient);
}

} // namespace OptionValues
