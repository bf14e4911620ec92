// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/ParameterConversion.h"

#include "PanelTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ParameterConversion;
using paneltest::local;

namespace {

struct PositionCase
{
    ParameterKind kind;
    int position;
    const char *text;
    int64_t raw;
};

class PositionToValue : public ::testing::TestWithParam<PositionCase>
{};

TEST_P(PositionToValue, TextAndRegisterValue)
{
    const PositionCase &c = GetParam();
    const double value = valueFromPosition(c.kind, c.position);
    EXPECT_EQ(valueText(c.kind, value), local(c.text));
    EXPECT_EQ(registerFromPosition(c.kind, c.position), c.raw);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, PositionToValue,
    ::testing::Values(PositionCase{ParameterKind::Fixed16, 0, "1.00000", 65536},
                      PositionCase{ParameterKind::Fixed16, 100, "32767.00000", 2147418112},
                      PositionCase{ParameterKind::Fixed16, -100, "0.00003", 2},
                      PositionCase{ParameterKind::Fixed24, 0, "0.00390625", 65536},
                      PositionCase{ParameterKind::Fixed24, 100, "127.99609375", 2147418112},
                      PositionCase{ParameterKind::Log2e9, 0, "2000000000", 2000000000},
                      PositionCase{ParameterKind::Log2e9, -100, "43158", 43158},
                      PositionCase{ParameterKind::Log2e9, -200, "0", 0},
                      PositionCase{ParameterKind::Log4_5e6, 0, "4500000", 4500000},
                      PositionCase{ParameterKind::Log4_5e6, -500, "2121", 2121},
                      PositionCase{ParameterKind::Log4_5e6, -1000, "1", 1},
                      PositionCase{ParameterKind::SignedInteger, -65536, "-65536", -65536},
                      PositionCase{ParameterKind::SignedInteger, 1234, "1234", 1234}));

struct ValueCase
{
    ParameterKind kind;
    double value;
    int minimum;
    int maximum;
    int position;
};

class ValueToPosition : public ::testing::TestWithParam<ValueCase>
{};

TEST_P(ValueToPosition, Position)
{
    const ValueCase &c = GetParam();
    EXPECT_EQ(positionFromValue(c.kind, c.value, c.minimum, c.maximum), c.position);
}

INSTANTIATE_TEST_SUITE_P(
    AllKinds, ValueToPosition,
    ::testing::Values(
        // Fixed 16: trunc(ln v x 100 / ln 32767); zero and negative values go to the minimum.
        ValueCase{ParameterKind::Fixed16, 1.0, -100, 100, 0},
        ValueCase{ParameterKind::Fixed16, 32767.0, -100, 100, 100},
        ValueCase{ParameterKind::Fixed16, 2.5, -100, 100, 8},
        ValueCase{ParameterKind::Fixed16, 0.5, -100, 100, -6},
        ValueCase{ParameterKind::Fixed16, 0.0, -100, 100, -100},
        ValueCase{ParameterKind::Fixed16, -3.0, -100, 100, -100},
        // The smallest 16.16 value lies below the track bar: held at its end.
        ValueCase{ParameterKind::Fixed16, 1.0 / 65536, -100, 100, -100},
        ValueCase{ParameterKind::Fixed24, 1.0 / 256, -100, 100, 0},
        ValueCase{ParameterKind::Fixed24, 0.0, -100, 100, -100},
        // Log 2e9.
        ValueCase{ParameterKind::Log2e9, 2000000000, -200, 0, 0},
        ValueCase{ParameterKind::Log2e9, 2147483647, -200, 0, 0},
        ValueCase{ParameterKind::Log2e9, 1, -200, 0, -199},
        ValueCase{ParameterKind::Log2e9, 0, -200, 0, -200},
        ValueCase{ParameterKind::Log2e9, -5, -200, 0, -200},
        // Log 4.5e6: 1 itself already counts as the minimum.
        ValueCase{ParameterKind::Log4_5e6, 4500000, -1000, 0, 0},
        ValueCase{ParameterKind::Log4_5e6, 5000000, -1000, 0, 0},
        ValueCase{ParameterKind::Log4_5e6, 2000, -1000, 0, -503},
        ValueCase{ParameterKind::Log4_5e6, 2, -1000, 0, -954},
        ValueCase{ParameterKind::Log4_5e6, 1, -1000, 0, -1000},
        // Signed integer: the value itself within the track bar.
        ValueCase{ParameterKind::SignedInteger, 42, -65536, 65536, 42},
        ValueCase{ParameterKind::SignedInteger, 100000, -65536, 65536, 65536},
        ValueCase{ParameterKind::SignedInteger, -70000, -65536, 65536, -65536}));

TEST(ParameterConversion, RegisterValueTruncatesTowardZero)
{
    EXPECT_EQ(registerFromValue(ParameterKind::Fixed16, 2.5), 163840);
    EXPECT_EQ(registerFromValue(ParameterKind::Fixed16, 1.12345), 73626);
    EXPECT_EQ(registerFromValue(ParameterKind::Fixed16, -1.00001), -65536);
    EXPECT_EQ(registerFromValue(ParameterKind::Fixed24, 0.5), 8388608);
    EXPECT_EQ(registerFromValue(ParameterKind::Log2e9, 12.9), 12);
    // Far beyond 64 bits: saturated, never undefined.
    EXPECT_EQ(registerFromValue(ParameterKind::Fixed16, 1e300), INT64_MAX);
    EXPECT_EQ(registerFromValue(ParameterKind::Fixed16, std::nan("")), 0);
}

TEST(ParameterConversion, RegisterToShownValueAndBack)
{
    EXPECT_EQ(valueText(ParameterKind::Fixed16, valueFromRegister(ParameterKind::Fixed16, 73626)),
              local("1.12344"));
    EXPECT_EQ(
        valueText(ParameterKind::Fixed24, valueFromRegister(ParameterKind::Fixed24, 16777216 + 1)),
        local("1.00000006"));
    EXPECT_EQ(valueText(ParameterKind::Log2e9, valueFromRegister(ParameterKind::Log2e9, 43172)),
              QStringLiteral("43172"));
}

} // namespace
