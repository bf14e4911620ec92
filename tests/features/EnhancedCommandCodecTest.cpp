// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The three enhanced registers to bytes and back, their traces and conversions.
#include "features/EnhancedCommandCodec.h"

#include "base/NumberText.h"
#include "device/DeviceRecords.h"

#include <gtest/gtest.h>

#include <vector>

namespace Codec = EnhancedCommandCodec;

namespace {

template<size_t N>
std::vector<uint8_t> vec(const std::array<uint8_t, N> &a)
{
    return {a.begin(), a.end()};
}

QString local(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

} // namespace

TEST(EnhancedCommandCodec, CommandBytesBothWays)
{
    struct Row
    {
        Codec::Command command;
        std::vector<uint8_t> bytes;
    };
    const Row rows[] = {
        {{0x80, 101, 1000}, {0x80, 0x65, 0x00, 0x00, 0x03, 0xE8}},
        {{0x80, 0, 1'000'000'000}, {0x80, 0x00, 0x3B, 0x9A, 0xCA, 0x00}},
        {{0x80, 0, -1'000'000'000}, {0x80, 0x00, 0xC4, 0x65, 0x36, 0x00}},
        {{0x94, 5, 0x7FFFFF}, {0x94, 0x05, 0x00, 0x7F, 0xFF, 0xFF}},
        {{0x80, -100, 0}, {0x80, 0x9C, 0x00, 0x00, 0x00, 0x00}},
        {{0x8C, 110, 1500}, {0x8C, 0x6E, 0x00, 0x00, 0x05, 0xDC}},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(vec(Codec::encode(r.command)), r.bytes);
        EXPECT_EQ(Codec::decodeCommand(r.bytes), r.command);
    }
    EXPECT_EQ(Codec::commandTrace(Codec::Command{0x80, 101, 1000}),
              "0x4D-Enhanced cmd : [0x80 65 00 00 03 E8]");
    EXPECT_EQ(Codec::commandTrace(std::nullopt), "0x4D-Enhanced cmd : [0x-- -- -- -- -- --]");
    EXPECT_EQ(Codec::writtenCommandTrace({0x80, 110, 1500}),
              "0x4D-Enhanced cmd :          [0x80 6E 00 00 05 DC]");
    EXPECT_EQ(Codec::byteList(Codec::writtenCommandTrace({0x80, 110, 1500})),
              Codec::byteList(Codec::commandTrace(Codec::Command{0x80, 110, 1500})));

    // The record keeps the function unsigned: 0x9C reads as -100 loops.
    EnhancedCmdRecord record;
    record.Options = 0x80;
    record.Function = 0x9C;
    record.Goal = 0xC4653600;
    EXPECT_EQ(Codec::commandOf(record), (Codec::Command{0x80, -100, -1'000'000'000}));
    EXPECT_FALSE(Codec::decodeCommand(std::vector<uint8_t>(5)));
    EXPECT_FALSE(Codec::decodeCommand(std::vector<uint8_t>(7)));
}

TEST(EnhancedCommandCodec, FunctionCodesAndCaptions)
{
    for (const int f : {-100, 0, 100, 101, 117})
        EXPECT_TRUE(Codec::isKnownFunction(f)) << f;
    for (const int f : {-128, -101, 118, 127})
        EXPECT_FALSE(Codec::isKnownFunction(f)) << f;
    EXPECT_FALSE(Codec::commandUsesGoal(107));
    EXPECT_FALSE(Codec::commandUsesGoal(112));
    EXPECT_TRUE(Codec::commandUsesGoal(115));
    EXPECT_TRUE(Codec::commandGreyedWhenAbsolute(101));
    EXPECT_FALSE(Codec::commandGreyedWhenAbsolute(110));
    EXPECT_EQ(Codec::commandCaption(110, false), "[S] Infinite positive loops with EnGoal as speed");
    EXPECT_EQ(Codec::commandCaption(111, true),
              "[S] Infinite negative movement with EnGoal as speed");
    EXPECT_EQ(Codec::commandCaption(116, true), "Reserved (0x74)");
    EXPECT_TRUE(Codec::commandCaption(100, false).isEmpty());
    EXPECT_EQ(Codec::markerLabel({0x80, 2, 0}), "+2 loops");
    EXPECT_EQ(Codec::markerLabel({0x80, -1, 0}), "-1 loops");
    EXPECT_EQ(Codec::markerLabel({0x80, 101, 0}), "101");
    const auto bytes = Codec::encode(Codec::Command{0x80, 101, 1000});
    EXPECT_EQ(Codec::cliWriteLine(0x4D, bytes, "127.0.0.1"),
              "tarvine-cli --ip 127.0.0.1 write '0x4D=[0x80 65 00 00 03 E8]'");
}

TEST(EnhancedCommandCodec, LoopsBytesTraceAndTotal)
{
    const Codec::Loops third{3, 1, 1'000'000};
    const std::vector<uint8_t> bytes{0x00, 0x00, 0x00, 0x03, 0x00, 0x00,
                                     0x00, 0x01, 0x00, 0x0F, 0x42, 0x40};
    EXPECT_EQ(vec(Codec::encode(third)), bytes);
    EXPECT_EQ(Codec::decodeLoops(bytes), third);
    EXPECT_EQ(Codec::loopsTrace(third),
              "0x4E-Enhanced range config : [0x00 00 00 03 00 00 00 01 00 0F 42 40]");
    EXPECT_EQ(Codec::loopsTrace(std::nullopt),
              "0x4E-Enhanced range config : [0x-- -- -- -- -- -- -- -- -- -- -- --]");
    // Three billion is unsigned, never negative.
    const auto big = Codec::decodeLoops(std::vector<uint8_t>{0xB2, 0xD0, 0x5E, 0x00, 0, 0, 0, 0,
                                                             0xB2, 0xD0, 0x5E, 0x00});
    ASSERT_TRUE(big);
    EXPECT_EQ(big->pulses, 3'000'000'000u);
    EXPECT_EQ(Codec::totalPerLoopText(*big), "3'000'000'000" + local(".0"));

    struct Row
    {
        Codec::Loops loops;
        std::optional<QString> total;
    };
    const Row rows[] = {
        {{3, 1, 1'000'000}, local("1'000'000.33333")},
        {{1, 0, 2000}, local("2'000.0")},
        {{2, 1, 123}, local("123.50000")},
        {{1, 0, 0}, local("0.0")},
        {{1'000'000, 999'999, 1000}, local("1'001.00000")}, // the fraction carries
        {{0xFFFFFFFF, 0xFFFFFFFE, 0xFFFFFFFF}, local("4'294'967'296.00000")},
        {{0, 0, 5}, std::nullopt},
        {{5, 5, 5}, std::nullopt},
        {{5, 6, 5}, std::nullopt},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Codec::totalPerLoopText(r.loops), r.total) << r.loops.pulses;
    EXPECT_EQ(Codec::groupedDigits(999), "999");
    EXPECT_EQ(Codec::groupedDigits(4'294'967'295u), "4'294'967'295");
}

TEST(EnhancedCommandCodec, ParamsBytesAndCurrent)
{
    const Codec::Params p{0, 100, 257};
    const std::vector<uint8_t> bytes{0, 0, 0, 0, 0x00, 0x64, 0x01, 0x01};
    EXPECT_EQ(vec(Codec::encode(p)), bytes);
    EXPECT_EQ(Codec::decodeParams(bytes), p);
    EXPECT_EQ(Codec::paramsTrace(p), "0x4F-Enhanced parameters : [0x00 00 00 00 00 64 01 01]");
    EXPECT_EQ(Codec::paramsTrace(std::nullopt),
              "0x4F-Enhanced parameters : [0x-- -- -- -- -- -- -- --]");
    // The written trace always carries a zero head.
    EXPECT_EQ(Codec::writtenParamsTrace({0x01020304, 100, 257}),
              "0x4F-Enhanced parameters :   [0x00 00 00 00 00 64 01 01]");

    struct Row
    {
        double amperes;
        std::optional<uint16_t> peak;
    };
    const Row rows[] = {
        {1.0039, 257},     {255.996, 65535},      {0.0, 0},
        {0.5 / 256, 0},    {1.5 / 256, 2},        {255.999, std::nullopt},
        {256.0, std::nullopt}, {-0.001, std::nullopt}, {std::nan(""), std::nullopt},
    };
    for (const Row &r : rows)
        EXPECT_EQ(Codec::amperesToPeak(r.amperes), r.peak) << r.amperes;
    EXPECT_EQ(Codec::peakText(257), local("1.004"));
    EXPECT_EQ(Codec::peakText(65535), local("255.996"));
    // Three decimals at any size: every 16-bit value reads back to itself.
    for (uint32_t raw = 0; raw <= 65535; ++raw) {
        const QString text = Codec::peakText(uint16_t(raw));
        const double amperes = QString(text).replace(localeDecimalSeparator(), '.').toDouble();
        ASSERT_EQ(Codec::amperesToPeak(amperes), uint16_t(raw)) << text.toStdString();
    }
}

TEST(EnhancedCommandCodec, PercentIsOneConversionBothWays)
{
    EXPECT_EQ(Codec::percentToGoal(50), 0x7FFFFFu);
    EXPECT_EQ(Codec::percentToGoal(100), 0xFFFFFFu);
    EXPECT_EQ(Codec::percentToGoal(0), 0u);
    EXPECT_FALSE(Codec::percentToGoal(100.001));
    EXPECT_FALSE(Codec::percentToGoal(-1));
    EXPECT_FALSE(Codec::percentToGoal(std::nan("")));
    EXPECT_EQ(Codec::percentText(0xFFFFFF), local("100.000"));
    EXPECT_EQ(Codec::percentText(0x7FFFFF), local("50.000"));
    // The sign byte is not magnitude: a negative percentage shows "-".
    EXPECT_EQ(Codec::percentText(0x01000000), "-");
    EXPECT_EQ(Codec::percentText(0xFF7FFFFF), "-");
}
