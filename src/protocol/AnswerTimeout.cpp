// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/AnswerTimeout.h"

#include <algorithm>
#include <cmath>

int AnswerTimeout::adaptiveMs(double p99Ms, size_t answersMeasured, int floorMs, int ceilingMs)
{
    ceilingMs = std::max(1, ceilingMs);
    if (answersMeasured < MeasuredAnswers || !std::isfinite(p99Ms))
        return ceilingMs;
    const double wanted = std::ceil(P99Factor * std::max(0.0, p99Ms));
    const int floor = std::clamp(floorMs, 1, ceilingMs);
    return wanted >= double(ceilingMs) ? ceilingMs : std::max(floor, int(wanted));
}
