// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ParameterConversion.h"

#include "base/FloatText.h"

#include <algorithm>
#include <cmath>

namespace ParameterConversion {

namespace {

// K, L and S of the logarithmic track bars.
const double LnFixedSpan = std::log(32767.0);
const double LnInt32Max = std::log(2147483647.0);
const double LnTopSpeed = std::log(4500000.0);
const double ArwFullScale = 2000000000.0;
const double TopSpeedFullScale = 4500000.0;

int64_t truncToInt64(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9.2e18)
        return INT64_MAX;
    if (value <= -9.2e18)
        return INT64_MIN;
    return static_cast<int64_t>(std::trunc(value));
}

int clampPosition(double position, int minimum, int maximum)
{
    if (std::isnan(position))
        return minimum;
    const double clamped = std::clamp(std::trunc(position), double(minimum), double(maximum));
    return static_cast<int>(clamped);
}

} // namespace

int decimals(ParameterKind kind)
{
    switch (kind) {
    case ParameterKind::Fixed16:
        return 5;
    case ParameterKind::Fixed24:
        return 8;
    default:
        return 0;
    }
}

bool isFixed(ParameterKind kind)
{
    return kind == ParameterKind::Fixed16 || kind == ParameterKind::Fixed24;
}

double scale(ParameterKind kind)
{
    switch (kind) {
    case ParameterKind::Fixed16:
        return 65536.0;
    case ParameterKind::Fixed24:
        return 16777216.0;
    default:
        return 1.0;
    }
}

double valueFromPosition(ParameterKind kind, int position)
{
    const double p = position;
    switch (kind) {
    case ParameterKind::Fixed16:
        return double(float(std::exp(p * LnFixedSpan / 100.0)));
    case ParameterKind::Fixed24:
        return double(float(std::exp(p * LnFixedSpan / 100.0) / 256.0));
    case ParameterKind::Log2e9:
        return std::trunc(double(float(std::exp(p * LnInt32Max / 200.0))) * ArwFullScale);
    case ParameterKind::Log4_5e6:
        return std::trunc(double(float(std::exp(p * LnTopSpeed / 1000.0))) * TopSpeedFullScale);
    case ParameterKind::SignedInteger:
        return p;
    }
    return p;
}

int64_t registerFromValue(ParameterKind kind, double value)
{
    return truncToInt64(value * scale(kind));
}

int64_t registerFromPosition(ParameterKind kind, int position)
{
    return registerFromValue(kind, valueFromPosition(kind, position));
}

double valueFromRegister(ParameterKind kind, int64_t raw)
{
    return double(raw) / scale(kind);
}

QString valueText(ParameterKind kind, double value)
{
    switch (kind) {
    case ParameterKind::Fixed16:
        return fixedText(value, 10, 5);
    case ParameterKind::Fixed24:
        return fixedText(value, 15, 8);
    default:
        return QString::number(truncToInt64(value));
    }
}

int positionFromValue(ParameterKind kind, double value, int minimum, int maximum)
{
    switch (kind) {
    case ParameterKind::Fixed16:
        if (!(value > 0))
            return minimum;
        return clampPosition(std::log(value) * 100.0 / LnFixedSpan, minimum, maximum);
    case ParameterKind::Fixed24:
        if (!(value > 0))
            return minimum;
        return clampPosition(std::log(value * 256.0) * 100.0 / LnFixedSpan, minimum, maximum);
    case ParameterKind::Log2e9:
        if (value > ArwFullScale)
            return maximum;
        if (!(value >= 1))
            return minimum;
        return clampPosition((std::log(value) - std::log(ArwFullScale)) * 200.0 / LnInt32Max,
                             minimum, maximum);
    case ParameterKind::Log4_5e6:
        if (value > TopSpeedFullScale)
            return maximum;
        if (!(value > 1))
            return minimum;
        return clampPosition((std::log(value) - LnTopSpeed) * 1000.0 / LnTopSpeed, minimum,
                             maximum);
    case ParameterKind::SignedInteger:
        if (value < minimum)
            return minimum;
        if (value > maximum)
            return maximum;
        return clampPosition(value, minimum, maximum);
    }
    return minimum;
}

} // namespace ParameterConversion
