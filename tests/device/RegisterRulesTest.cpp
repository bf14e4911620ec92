// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The rule book: each rule with a value just inside and just outside, on the
// models that have it, and the batch write that requests all or nothing.
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterRules.h"
#include "device/RegisterTable.h"
#include "protocol/ConnectionState.h"

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr uint32_t NetdcA = 0x00020001;  // MaxPeakCurrent 3.0 A, no option 8, no abs. bit
constexpr uint32_t NetecA = 0x00060004;  // 15.0 A, options 8..11 and 16
constexpr uint32_t BusstB = 0x002B0002;  // stepper, 0.15 A
constexpr uint32_t Version = 0x00070012; // 7.18: the no-loops option where offered

RuleContext contextFor(uint32_t type, std::map<int, std::vector<uint8_t>> device = {},
                       int comMode = ComModes::TcpDirect, uint32_t version = Version)
{
    RuleContext context;
    context.profile = std::make_shared<const ModelProfile>(identifyDevice(type, version));
    context.comMode = comMode;
    context.deviceValue = [device](int address) -> std::optional<std::vector<uint8_t>> {
        const auto it = device.find(address);
        if (it == device.end())
            return std::nullopt;
        return it->second;
    };
    return context;
}

RegisterWrite bytesWrite(int address, std::vector<uint8_t> bytes)
{
    return {address, std::move(bytes)};
}

} // namespace

TEST(RegisterRules, EachRuleJustInsideAndJustOutside)
{
    using RegisterRules::write;
    const struct Case {
        const char *rule;
        uint32_t type;
        RegisterWrite inside;
        RegisterWrite outside;
        const char *reasonPart; ///< the refusal names the rule
    } cases[] = {
        {"peak current NETDC-A", NetdcA, write(Reg::CurrentMax, 0x30000),
         write(Reg::CurrentMax, 0x30001), "maximum peak current 3.00000 A of NETDC-A"},
        {"peak current stepper", BusstB, write(Reg::CurrentMax, 0x2666),
         write(Reg::CurrentMax, 0x2667), "BUSST-B"},
        {"peak current negative", NetecA, write(Reg::CurrentMax, 0), write(Reg::CurrentMax, -1),
         "negative"},
        {"watchdog low", NetecA, write(Reg::TcpWatchdog, 30), write(Reg::TcpWatchdog, 29),
         "0 (off) or 30..60"},
        {"watchdog high", NetecA, write(Reg::TcpWatchdog, 60), write(Reg::TcpWatchdog, 61),
         "30..60"},
        {"watchdog off", NetecA, write(Reg::TcpWatchdog, 0), write(Reg::TcpWatchdog, 255),
         "30..60"},
        {"standby", NetecA, write(Reg::StandbyTimer, 32767), write(Reg::StandbyTimer, 32768),
         "0..32767"},
        {"output voltage low", NetecA, write(Reg::MaxOutputVoltage, 327680),
         write(Reg::MaxOutputVoltage, 327679), "5.0..50.0 V"},
        {"output voltage high", NetecA, write(Reg::MaxOutputVoltage, 3276800),
         write(Reg::MaxOutputVoltage, 3276801), "5.0..50.0 V"},
        {"output voltage off", NetecA, write(Reg::MaxOutputVoltage, -1),
         write(Reg::MaxOutputVoltage, -2), "no limit"},
        {"dissipation", NetecA, write(Reg::DissipationVoltage, 3604480),
         write(Reg::DissipationVoltage, 3604481), "5.0..55.0 V"},
        {"option bits offered", NetecA, write(Reg::Options, 1 << 12), write(Reg::Options, 1 << 13),
         "option bit 13 is not offered on NETEC-A"},
        {"option bits NETDC-A", NetdcA, write(Reg::Options, 1 << 7), write(Reg::Options, 1 << 8),
         "option bit 8 is not offered on NETDC-A"},
        {"option bits unused", NetecA, write(Reg::Options, 0x01000000),
         write(Reg::Options, 0x02000000), "bits 25..31"},
        {"enhanced goal", 0x00060003, bytesWrite(Reg::EnhancedInput, {0x80, 0, 0x3B, 0x9A, 0xCA, 0x00}),
         bytesWrite(Reg::EnhancedInput, {0x80, 0, 0x3B, 0x9A, 0xCA, 0x01}), "1000000000"},
        {"enhanced function", 0x00060003, bytesWrite(Reg::EnhancedInput, {0x80, 117, 0, 0, 0, 0}),
         bytesWrite(Reg::EnhancedInput, {0x80, 118, 0, 0, 0, 0}), "function 118"},
        {"loops fraction", NetecA,
         bytesWrite(Reg::LoopsConfig, {0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 9}),
         bytesWrite(Reg::LoopsConfig, {0, 0, 0, 3, 0, 0, 0, 3, 0, 0, 0, 9}), "not below"},
        {"non-negative parameter", NetecA, write(Reg::Kp, 0), write(Reg::Kp, -1), "negative"},
        {"regulation mode", NetecA, write(Reg::RegulationMode, 5), write(Reg::RegulationMode, 6),
         "mode 6 is not offered"},
        {"limit control mode", NetecA, write(Reg::Limit1ControlMode, 5),
         write(Reg::Limit1ControlMode, 6), "0..5"},
        {"homing type", NetdcA, write(Reg::HomingOption, 11), write(Reg::HomingOption, 12),
         "homing type 12 is not offered"},
        {"IP address form", NetecA, bytesWrite(Reg::AddressIp, {192, 168, 1, 254}),
         bytesWrite(Reg::AddressIp, {0, 0, 1, 44}), "0.0.1.44 is not a host address"},
        {"not writable on the model", NetdcA, write(Reg::Kp, 65536),
         write(Reg::DissipationVoltage, 327680), "not writable on NETDC-A"},
        {"register size", NetecA, bytesWrite(Reg::Name, std::vector<uint8_t>(16, 'A')),
         bytesWrite(Reg::Name, std::vector<uint8_t>(17, 'A')), "takes 16 bytes, not 17"},
    };
    for (const Case &c : cases) {
        const RuleContext context = contextFor(c.type);
        EXPECT_EQ(RegisterRules::refusal(context, c.inside), std::nullopt) << c.rule;
        const std::optional<QString> reason = RegisterRules::refusal(context, c.outside);
        ASSERT_TRUE(reason) << c.rule;
        EXPECT_TRUE(reason->contains(QLatin1String(c.reasonPart)))
            << c.rule << ": " << reason->toStdString();
        EXPECT_FALSE(reason->contains(QLatin1Char('\n'))) << c.rule;
    }
    // The enhanced command's absolute bit exists from firmware above 7.17.
    const RegisterWrite absolute = bytesWrite(Reg::EnhancedInput, {0x84, 101, 0, 0, 0, 0});
    EXPECT_FALSE(RegisterRules::refusal(contextFor(NetecA), absolute));
    const auto old = RegisterRules::refusal(contextFor(NetecA, {}, ComModes::TcpDirect, 0x00070011),
                                            absolute);
    ASSERT_TRUE(old);
    EXPECT_TRUE(old->contains(QLatin1String("absolute-value option (bit 2) is not offered")));
}

TEST(RegisterRules, HomingIoLoopTimeAndPeakPerModel)
{
    using RegisterRules::write;
    constexpr uint32_t BusdcA = 0x00030005; // no homing on an index: 2, 3, 6, 7, 10..15 lack
    const std::vector<uint8_t> homingType14 = {0, 0, 0, 14};
    const struct Case {
        const char *rule;
        uint32_t type;
        std::vector<RegisterWrite> batch;
        const char *refusal; ///< part of the reason; nullptr: taken
        std::map<int, std::vector<uint8_t>> device = {};
    } cases[] = {
        {"homing type offered", NetdcA, {write(Reg::HomingOption, 0x00A32187)}, nullptr},
        {"homing type lacking", NetdcA, {write(Reg::HomingOption, 14)},
         "homing type 14 is not offered on NETDC-A"},
        {"homing on an index, bus DC", BusdcA, {write(Reg::HomingOption, 0x80 | 6)},
         "homing type 6 is not offered"},
        {"homing by current, bus DC", BusdcA, {write(Reg::HomingOption, 5)}, nullptr},
        {"stepper keeps Step pos", BusstB, {write(Reg::HomingOption, 13)}, nullptr},
        {"stepper lacks limit homing", BusstB, {write(Reg::HomingOption, 8)},
         "homing type 8 is not offered on BUSST-B"},
        {"homing unused bits", NetdcA, {write(Reg::HomingOption, 0x10)}, "bits 4..6"},
        {"start with the type in force", NetdcA, {{Reg::HomingStart, {}}},
         "homing type 14 in 0x48 is not offered", {{Reg::HomingOption, homingType14}}},
        {"start with the type written along", NetdcA,
         {write(Reg::HomingOption, 4), {Reg::HomingStart, {}}}, nullptr,
         {{Reg::HomingOption, homingType14}}},
        {"start, type not known", NetdcA, {{Reg::HomingStart, {}}}, nullptr},
        {"start input on a stepper", BusstB, {write(Reg::HomingStartInput, -1)}, nullptr},
        {"start input elsewhere", NetecA, {write(Reg::HomingStartInput, 1)}, "not writable"},
        {"I/O config", NetecA, {write(Reg::IoConfig, 0x0071)}, nullptr},
        {"I/O config reserved, line 2", NetecA, {write(Reg::IoConfig, 0x0081)},
         "I/O 2 code 8 is reserved"},
        {"I/O config high byte", NetecA, {write(Reg::IoConfig, 0x0173)}, "high byte"},
        {"I/O config without I/O", NetdcA, {write(Reg::IoConfig, 0x0001)}, "not writable"},
        {"loop time", NetecA, {write(Reg::LoopTimeOption, 6)}, nullptr},
        {"loop time option", NetecA, {write(Reg::LoopTimeOption, 7)}, "not a loop-time option"},
        {"loop time on a stepper", BusstB, {write(Reg::LoopTimeOption, 0)}, "not writable"},
        {"peak at the maximum", NetecA,
         {bytesWrite(Reg::EnhancedParams, {0, 0, 0, 0, 0xFF, 0xFF, 0x0F, 0x00})}, nullptr},
        {"peak above the maximum", NetecA,
         {bytesWrite(Reg::EnhancedParams, {0, 0, 0, 0, 0, 1, 0x0F, 0x01})},
         "peak current 15.00391 A is above the maximum peak current 15.00000 A"},
    };
    for (const Case &c : cases) {
        const auto refused = RegisterRules::refusals(contextFor(c.type, c.device), c.batch);
        if (!c.refusal) {
            EXPECT_TRUE(refused.empty())
                << c.rule << ": " << (refused.empty() ? "" : refused[0].reason.toStdString());
            continue;
        }
        ASSERT_EQ(refused.size(), 1u) << c.rule;
        EXPECT_TRUE(refused[0].reason.contains(QLatin1String(c.refusal)))
            << c.rule << ": " << refused[0].reason.toStdString();
    }
}

TEST(RegisterRules, PairsAndValuesInForce)
{
    using RegisterRules::write;
    const RuleContext context = contextFor(NetecA, {{Reg::InputMax, {0, 0, 0, 10}},
                                                    {Reg::Options, {0, 0, 0x20, 0}}});
    // Input minimum against the maximum written with it, else the device's.
    const RegisterWrite minMax[] = {write(Reg::InputMin, 10), write(Reg::InputMax, 5)};
    EXPECT_EQ(RegisterRules::refusals(context, minMax).size(), 2u);
    EXPECT_FALSE(RegisterRules::refusal(context, write(Reg::InputMin, 10)));
    EXPECT_TRUE(RegisterRules::refusal(context, write(Reg::InputMin, 11)));
    // A bit the model does not offer may stay as the device holds it (bit 13
    // set on the device), never change.
    EXPECT_FALSE(RegisterRules::refusal(context, write(Reg::Options, 0x2000 | 0x100)));
    EXPECT_TRUE(RegisterRules::refusal(context, write(Reg::Options, 0x100)));
    // Writing back the value in force is never refused.
    const RuleContext dc = contextFor(NetdcA, {{Reg::CurrentMax, {0, 5, 0, 0}}});
    EXPECT_FALSE(RegisterRules::refusal(dc, write(Reg::CurrentMax, 0x50000)));
    EXPECT_TRUE(RegisterRules::refusal(dc, write(Reg::CurrentMax, 0x40000)));
    // Behind a gateway 0x12 is the module's address, not an IP address.
    EXPECT_FALSE(RegisterRules::refusal(contextFor(NetecA, {}, ComModes::TcpGateway),
                                        bytesWrite(Reg::AddressIp, {0, 0, 0, 16})));
    // Before the identification only the size counts.
    EXPECT_FALSE(RegisterRules::refusal(RuleContext{}, write(Reg::CurrentMax, 0x7FFFFFFF)));
}

TEST(RegisterRules, BatchIsWrittenWholeOrNotAtAll)
{
    QLMCSession session;
    session.setProfile(std::make_shared<const ModelProfile>(identifyDevice(NetdcA, Version)));
    applyRegisterAccess(*session.profile(), session.motor());
    using RegisterRules::write;
    const RegisterWrite bad[] = {write(Reg::Kp, 65536), write(Reg::CurrentMax, 0x50000)};
    const auto refused = RegisterRules::requestWrites(session, bad);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].address, Reg::CurrentMax);
    {
        RegisterLockGuard guard(session.lock());
        EXPECT_FALSE(session.motor().registerAt(Reg::Kp)->WriteRequest);
        EXPECT_FALSE(session.motor().registerAt(Reg::CurrentMax)->WriteRequest);
    }
    // --force skips the model's rules, never the size.
    EXPECT_TRUE(RegisterRules::requestWrites(session, bad, true).empty());
    const RegisterWrite tooLong[] = {{Reg::TcpWatchdog, {0, 30}}};
    EXPECT_EQ(RegisterRules::requestWrites(session, tooLong, true).size(), 1u);
    RegisterLockGuard guard(session.lock());
    EXPECT_TRUE(session.motor().registerAt(Reg::CurrentMax)->WriteRequest);
    EXPECT_EQ(session.motor().registerAt(Reg::CurrentMax)->WriteValue,
              (std::vector<uint8_t>{0, 5, 0, 0}));
}
