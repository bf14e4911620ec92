// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Option register, output limits, input limits and standby timer: compose and
// decode both ways, the edit checks, and the OptionsModel writes and decoder
// values over a session.
#include "features/OptionRegisters.h"
#include "features/OptionsModel.h"

#include "base/NumberText.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <random>

using namespace OptionRegisters;

namespace {

QString local(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

std::string writeBytes(QLMCSession &session, int address)
{
    RegisterLockGuard guard(session.lock());
    const QLMCRegister *reg = session.motor().registerAt(address);
    return reg->WriteRequest ? testsupport::hexText(reg->WriteValue) : std::string("none");
}

} // namespace

TEST(OptionRegisters, BitsBothWays)
{
    Bits boxes{};
    boxes[5] = boxes[17] = true;
    EXPECT_EQ(compose(boxes), 0x00020020u); // 00 02 00 20
    std::mt19937 random(3);
    for (int i = 0; i < 2000; ++i) {
        const uint32_t v = random();
        EXPECT_EQ(compose(decode(v)), v & ~UnusedMask);
        EXPECT_EQ(hasUnusedBits(v), (v & 0xFE000000u) != 0);
    }
    EXPECT_EQ(bitCaption(4), QStringLiteral("Bit 4 - PWM 35kHz (else 69kHz) "));
    EXPECT_EQ(bitCaption(22), QStringLiteral("Bit 22 - \u00B5Step interpolation"));
    EXPECT_TRUE(bitCaption(25).isEmpty());
}

TEST(OptionRegisters, BitRulesForDissipationAndStandby)
{
    Bits boxes{};
    EXPECT_TRUE(dissipationWritable(true, boxes));
    EXPECT_FALSE(dissipationWritable(false, boxes));
    EXPECT_FALSE(standbyEditable(boxes));
    boxes[16] = boxes[17] = true;
    EXPECT_FALSE(dissipationWritable(true, boxes)); // auto dissipation
    EXPECT_TRUE(standbyEditable(boxes));
}

TEST(OptionRegisters, CurrentMaximumCheck)
{
    const int32_t netdc = identifyDevice(0x00020001, 0x00070012).maxPeakCurrent;
    struct Case
    {
        const char *text;
        int32_t maxPeak;
        std::optional<int32_t> raw;
    };
    const Case cases[] = {
        {"15", 0xF0000, 0xF0000},
        {"15.00002", 0xF0000, std::nullopt}, // raw 983,041
        {"3", netdc, 0x30000},
        {"3.00002", netdc, std::nullopt},
        {"0.5", 0xF0000, 0x8000},
        {"0", 0xF0000, 0},
        {"-1", 0xF0000, std::nullopt},
        {"abc", 0xF0000, std::nullopt},
        {"", 0xF0000, std::nullopt},
        // Beyond 32 bits and beyond 64 bits: refused, never narrowed first.
        {"99999999", INT32_MAX, std::nullopt},
        {"1e19", INT32_MAX, std::nullopt},
        {"inf", INT32_MAX, std::nullopt},
        {"nan", INT32_MAX, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(currentRaw(local(QString::fromLatin1(c.text)), c.maxPeak), c.raw) << c.text;

    EXPECT_EQ(cutToFiveDecimals(local(QStringLiteral("1.123456"))),
              local(QStringLiteral("1.12345")));
    EXPECT_FALSE(cutToFiveDecimals(local(QStringLiteral("1.12345"))));
    EXPECT_FALSE(cutToFiveDecimals(QStringLiteral("112345678")));
    // The received text passes the edit's own check in any locale.
    EXPECT_EQ(currentText(0x18000), local(QStringLiteral("1.50000")));
    EXPECT_EQ(currentRaw(currentText(0x18000), 0xF0000), 0x18000);
}

TEST(OptionRegisters, VoltagesBothWays)
{
    EXPECT_EQ(voltageRaw(123), 0x000C4CCC); // 12.3 V
    EXPECT_EQ(voltageRaw(300), 0x001E0000);
    EXPECT_EQ(voltageRaw(50), 0x00050000);
    EXPECT_EQ(voltagePosition(0x000C0000), 120);
    EXPECT_EQ(voltagePosition(0x00054000), 52); // 52.5: half to even
    EXPECT_EQ(voltagePosition(0x0005C000), 58); // 57.5: half to even
    EXPECT_EQ(voltagePosition(0x000C4CCC), 123);
    EXPECT_EQ(voltagePosition(-1), 0);
    EXPECT_EQ(voltagePosition(INT32_MAX), 327680);
    EXPECT_EQ(voltagePosition(INT32_MIN), -327680);
    for (int p = 50; p <= 550; ++p)
        EXPECT_EQ(voltagePosition(voltageRaw(p)), p) << p;
    EXPECT_EQ(voltageText(50), local(QStringLiteral("5.0")));
}

TEST(OptionRegisters, InputLimitEdits)
{
    // Typing a min of 10 while the max is 5: the max turns red, the min stays normal.
    InputLimitEdits e{QStringLiteral("10"), QStringLiteral("5")};
    inputLimitChanged(e, true, true);
    EXPECT_FALSE(e.minRed);
    EXPECT_TRUE(e.maxRed);
    EXPECT_FALSE(e.writeEnabled());
    // Typing a max of 20 mends both.
    e.maxText = QStringLiteral("20");
    inputLimitChanged(e, false, true);
    EXPECT_FALSE(e.minRed);
    EXPECT_FALSE(e.maxRed);
    // Not a number, out of 32 bits, decimals: red.
    for (const char *bad : {"", "-", "1.5", "2147483648", "-2147483649", "12a"}) {
        InputLimitEdits b{QString::fromLatin1(bad), QStringLiteral("0")};
        inputLimitChanged(b, true, true);
        EXPECT_TRUE(b.minRed) << bad;
    }
    EXPECT_EQ(inputLimit(QStringLiteral("-2147483648")), INT32_MIN);
    EXPECT_FALSE(inputLimitsToWrite(QStringLiteral("10"), QStringLiteral("5")));
    EXPECT_EQ(inputLimitsToWrite(QStringLiteral("-5"), QStringLiteral("5")), std::make_pair(-5, 5));
}

TEST(OptionRegisters, StandbyTimerRange)
{
    EXPECT_EQ(standbyValue(QStringLiteral("0")), 0);
    EXPECT_EQ(standbyValue(QStringLiteral("32767")), 32767);
    EXPECT_FALSE(standbyValue(QStringLiteral("32768")));
    EXPECT_FALSE(standbyValue(QStringLiteral("-1")));
    EXPECT_FALSE(standbyValue(QStringLiteral("x")));
}

TEST(OptionsModel, WritesSendBytesAndStoreTheRecord)
{
    QLMCSession session;
    OptionsModel model(session);
    Bits boxes{};
    boxes[5] = boxes[17] = true;
    model.writeOptionBits(boxes);
    EXPECT_EQ(writeBytes(session, 0x2C), "00 02 00 20");

    EXPECT_TRUE(model.writeOutputsMax(QStringLiteral("15"), false, 123));
    EXPECT_EQ(writeBytes(session, 0x2A), "00 0F 00 00");
    EXPECT_EQ(writeBytes(session, 0x2E), "FF FF FF FF");
    EXPECT_TRUE(model.writeOutputsMax(QStringLiteral("1"), true, 123));
    EXPECT_EQ(writeBytes(session, 0x2E), "00 0C 4C CC");

    model.writeDissipation(300);
    EXPECT_EQ(writeBytes(session, 0x2F), "00 1E 00 00");
    EXPECT_TRUE(model.writeStandby(QStringLiteral("0")));
    EXPECT_EQ(writeBytes(session, 0x0D), "00 00");
    EXPECT_TRUE(model.writeInputLimits(QStringLiteral("-100"), QStringLiteral("100")));
    EXPECT_EQ(writeBytes(session, 0x24), "FF FF FF 9C");

    const OptionsModel::Shown shown = model.shown();
    EXPECT_EQ(shown.optionBits, 0x00020020u);
    EXPECT_EQ(shown.inputMin, -100);
    EXPECT_EQ(shown.inputMax, 100);
    EXPECT_EQ(shown.standby, 0);
}

TEST(OptionsModel, RefusedValuesSendNothing)
{
    QLMCSession session;
    OptionsModel model(session);
    EXPECT_FALSE(model.writeOutputsMax(QStringLiteral("99999999"), true, 100));
    EXPECT_FALSE(model.writeOutputsMax(QStringLiteral("15.00002"), true, 100));
    EXPECT_FALSE(model.writeInputLimits(QStringLiteral("10"), QStringLiteral("5")));
    EXPECT_FALSE(model.writeStandby(QStringLiteral("32768")));
    for (int address : {0x2A, 0x2E, 0x24, 0x25, 0x0D})
        EXPECT_EQ(writeBytes(session, address), "none") << address;
    EXPECT_EQ(model.shown().standby, 0);
}

TEST(OptionsModel, DecodedOutputLimits)
{
    QLMCSession session;
    session.connection().ComMode = ComModes::TcpDirect;
    QLMCIPPacket packet;
    const auto bytes = testsupport::hexBytes("2A 00 01 80 00 2E 00 05 40 00 2F 00 1E 00 00");
    std::copy(bytes.begin(), bytes.end(), packet.Data.begin());
    packet.Function = 0x23;
    packet.Length = int(bytes.size());
    session.DataReceived(packet);
    OptionsModel model(session);
    const OptionsModel::Direct d = model.direct();
    EXPECT_EQ(d.currentMax, 0x18000);
    EXPECT_EQ(d.outputVoltage, 0x54000);
    EXPECT_EQ(d.dissipation, 0x1E0000);
    EXPECT_EQ(session.Options.OutputVoltageTenths, 52);
    EXPECT_EQ(session.Options.CurrentMaxText, local(QStringLiteral("1.50000")));
}
