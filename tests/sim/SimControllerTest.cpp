// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "SimDeviceAccess.h"

#include "device/RegisterTable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using namespace simtest;

TEST(SimModel, PresetsAndParsing)
{
    const std::pair<const char *, uint32_t> expected[] = {
        {"NETDC-A", 0x00020001}, {"NETEC-B", 0x00060003}, {"NETEC-A", 0x00060004},
        {"BUSDC-C", 0x00030005}, {"BUSDC-A", 0x00030064}, {"BUSDC-B", 0x000300C8},
        {"BUSEC-A", 0x00190001}, {"BUSST-A", 0x002B0001}, {"BUSST-B", 0x002B0002},
        {"BUSST-C", 0x002B0003}, {"BUSST-D", 0x002B0004},
    };
    ASSERT_EQ(simModelPresets().size(), std::size(expected));
    for (const auto &[name, type] : expected) {
        SCOPED_TRACE(name);
        const auto m = parseSimModel(name);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->name, name);
        EXPECT_EQ(m->typeRegister(), type);
    }
    EXPECT_EQ(parseSimModel("netec-a")->name, "NETEC-A");
    EXPECT_EQ(parseSimModel("6.4")->name, "NETEC-A");
    const auto custom = parseSimModel("7.300");
    ASSERT_TRUE(custom);
    EXPECT_TRUE(custom->name.empty());
    EXPECT_EQ(custom->typeRegister(), 0x0007012Cu);
    for (const char *bad : {"", "NETEC", "6", "6.", ".4", "6.4.1", "x.1", "70000.1", "-1.2", "6,4"})
        EXPECT_FALSE(parseSimModel(bad)) << bad;
}

TEST(SimController, RegisterSetFollowsTheModel)
{
    auto netdc = makeController("NETDC-A");
    EXPECT_TRUE(netdc->answersRead(Reg::Kp));
    EXPECT_FALSE(netdc->answersRead(Reg::Temperature));
    EXPECT_FALSE(netdc->answersRead(Reg::PowerUpCount));
    EXPECT_TRUE(netdc->answersRead(Reg::VffOffset)); // major 7: feed-forward
    EXPECT_FALSE(netdc->acceptsWrite(Reg::Feedback));

    for (const char *stepper : {"BUSST-A", "BUSST-B", "BUSST-C", "BUSST-D"}) {
        SCOPED_TRACE(stepper);
        auto c = makeController(stepper);
        for (int a = Reg::VffOffset; a <= Reg::Kdff; ++a)
            EXPECT_FALSE(c->answersRead(a) || c->acceptsWrite(a));
        EXPECT_FALSE(c->answersRead(Reg::Kp));
        EXPECT_TRUE(c->acceptsWrite(Reg::LoopRest));
        EXPECT_EQ(c->answersRead(Reg::IoConfig),
                  std::string(stepper) != "BUSST-A" && std::string(stepper) != "BUSST-B");
    }

    auto netecA = makeController("NETEC-A");
    for (int a : {0x61, 0x62, 0x63, 0x64, 0x2B, 0x0B, 0x0C, 0x2F})
        EXPECT_TRUE(netecA->answersRead(a)) << a;

    // Firmware-dependent grants of the sim's own table.
    SimModel old = preset("NETEC-B");
    old.version = 0x00050012; // 5.18
    SimController netecB5(old, {});
    EXPECT_FALSE(netecB5.answersRead(Reg::PowerUpCount));
    EXPECT_TRUE(netecB5.answersRead(Reg::StandbyTimer));
    EXPECT_FALSE(netecB5.answersRead(Reg::VffOffset));
    old.version = 0x00050005;
    EXPECT_FALSE(SimController(old, {}).answersRead(Reg::StandbyTimer));
    SimModel busdc = *parseSimModel("3.5");
    busdc.version = 0x00030001;
    EXPECT_FALSE(SimController(busdc, {}).answersRead(Reg::EnhancedInput));
    EXPECT_TRUE(makeController("BUSDC-A")->answersRead(Reg::EnhancedInput));
    EXPECT_TRUE(makeController("BUSDC-B")->answersRead(Reg::Temperature));
    EXPECT_FALSE(makeController("BUSDC-A")->answersRead(Reg::Temperature));

    // An unknown type has the registers of every model, and discovery's.
    SimController unknown(*parseSimModel("7.1"), {});
    for (int a : {0x00, 0x01, 0x07, 0x11, 0x15, 0x26, 0x5B})
        EXPECT_TRUE(unknown.answersRead(a)) << a;
    EXPECT_FALSE(unknown.answersRead(Reg::Kp));
    EXPECT_FALSE(unknown.answersRead(Reg::ResetProc)); // commands are write-only
    EXPECT_TRUE(unknown.acceptsWrite(Reg::ResetProc));
    EXPECT_FALSE(unknown.acceptsWrite(Reg::Type));
}

TEST(SimController, AnswersHaveTheTableSizesAndPlausibleValues)
{
    for (const SimModel &m : simModelPresets()) {
        SCOPED_TRACE(m.name);
        SimIdentity id;
        id.name = "Bench 3";
        SimController c(m, id);
        c.useManualClock(true);
        for (int a = 0; a < RegisterCount; ++a) {
            std::vector<uint8_t> out{0xAA};
            const bool answered = c.readRegister(a, out);
            EXPECT_EQ(answered, c.answersRead(a));
            EXPECT_EQ(out.size(), 1u + (answered ? size_t(registerInfo(a)->size) : 0u)) << a;
        }
        EXPECT_EQ(readInt(c, Reg::Type), int32_t(m.typeRegister()));
        EXPECT_EQ(uint32_t(readInt(c, Reg::Version)), m.version);
        EXPECT_NEAR(readFixed16(c, Reg::Voltage), 24.0, 0.1);
        const std::vector<uint8_t> name = readBytes(c, Reg::Name);
        EXPECT_EQ(std::string(name.begin(), name.end()), "Bench 3         ");
        EXPECT_EQ(readBytes(c, Reg::EthernetMac),
                  std::vector<uint8_t>(id.mac.begin(), id.mac.end()));
        EXPECT_EQ(readInt(c, Reg::RegulationMode), 0);
    }
}

TEST(SimController, RefusesWhatTheDeviceWouldRefuse)
{
    auto c = makeController("NETEC-A");
    EXPECT_FALSE(write32(*c, Reg::Speed, 5)); // read-only
    EXPECT_FALSE(write32(*c, Reg::Version, 5));
    EXPECT_FALSE(write16(*c, Reg::Kp, 5));            // wrong size
    EXPECT_FALSE(write8(*c, Reg::RegulationMode, 7)); // no such mode
    EXPECT_FALSE(write8(*c, Reg::SaveParams, 1));     // a command carries no value
    EXPECT_FALSE(c->writeRegister(0x09, {}));         // empty slot
    const uint8_t big[40] = {};
    for (int a = -1000; a <= 1000; ++a) {
        for (size_t n :
             {size_t(0), size_t(1), size_t(2), size_t(3), size_t(5), size_t(17), size_t(40)}) {
            if (a >= 0 && a < RegisterCount && registerInfo(a)->size == int(n))
                continue;
            ASSERT_FALSE(c->writeRegister(a, std::span<const uint8_t>(big, n))) << a << " " << n;
        }
        std::vector<uint8_t> out;
        if (a < 0 || a >= RegisterCount) {
            ASSERT_FALSE(c->readRegister(a, out));
            ASSERT_TRUE(out.empty());
            ASSERT_FALSE(c->answersRead(a) || c->acceptsWrite(a));
        }
    }
    // Every accepted register takes any value of its size without harm.
    for (int a = 0; a < RegisterCount; ++a) {
        if (!c->acceptsWrite(a) || a == Reg::ResetProc)
            continue;
        const size_t n = size_t(registerInfo(a)->size);
        for (const uint8_t fill : {0x00, 0x7F, 0x80, 0xFF}) {
            std::vector<uint8_t> v(n, fill);
            c->writeRegister(a, v);
            c->advance(3ms);
        }
    }
    c->advance(2s);
    for (int a = 0; a < RegisterCount; ++a)
        EXPECT_EQ(readBytes(*c, a).size(), c->answersRead(a) ? size_t(registerInfo(a)->size) : 0u);
}

TEST(SimController, EepromSaveRestoreAndFactory)
{
    auto c = makeController("NETEC-A");
    ASSERT_TRUE(writeFixed16(*c, Reg::Kp, 2.5));
    ASSERT_TRUE(write32(*c, Reg::SpeedMax, 3000));
    ASSERT_TRUE(command(*c, Reg::SaveParams));
    writeFixed16(*c, Reg::Kp, 7.0);
    write32(*c, Reg::SpeedMax, 100);
    EXPECT_EQ(readFixed16(*c, Reg::Kp), 7.0);
    ASSERT_TRUE(command(*c, Reg::RestoreParams));
    EXPECT_EQ(readFixed16(*c, Reg::Kp), 2.5);
    EXPECT_EQ(readInt(*c, Reg::SpeedMax), 3000);

    ASSERT_TRUE(command(*c, Reg::RestoreFactoryParams));
    EXPECT_EQ(readFixed16(*c, Reg::Kp), 1.0);
    EXPECT_EQ(readInt(*c, Reg::SpeedMax), 2000);
    EXPECT_EQ(readInt(*c, Reg::Acceleration), 43172);
    EXPECT_EQ(readInt(*c, Reg::AntiResetWindup), 2000000000);
    EXPECT_EQ(uint32_t(readInt(*c, Reg::MaxOutputVoltage)), 0xFFFFFFFFu);
    EXPECT_EQ(readFixed16(*c, Reg::CurrentMax), 15.0);
    // The user image is untouched by a factory restore.
    command(*c, Reg::RestoreParams);
    EXPECT_EQ(readFixed16(*c, Reg::Kp), 2.5);

    // A new factory image.
    writeFixed16(*c, Reg::Ki, 0.5);
    ASSERT_TRUE(command(*c, Reg::SaveFactoryParams));
    writeFixed16(*c, Reg::Ki, 3.0);
    command(*c, Reg::RestoreFactoryParams);
    EXPECT_EQ(readFixed16(*c, Reg::Ki), 0.5);

    // Network settings are not parameters: a restore keeps a new name.
    const uint8_t name[16] = {'N', 'e', 'w', ' ', ' ', ' ', ' ', ' ',
                              ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    ASSERT_TRUE(c->writeRegister(Reg::Name, name));
    command(*c, Reg::RestoreFactoryParams);
    EXPECT_EQ(c->identity().name, "New");
}

TEST(SimController, ResetCountsPowerUpsAndReloadsTheEeprom)
{
    auto c = makeController("NETEC-A");
    const int64_t powerUps = readInt(*c, Reg::PowerUpCount);
    writeFixed16(*c, Reg::Kd, 0.25);
    command(*c, Reg::SaveParams);
    writeFixed16(*c, Reg::Kd, 4.0); // not saved
    write32(*c, Reg::Input, 20000);
    write8(*c, Reg::RegulationMode, 4);
    c->advance(2s);
    ASSERT_GT(readInt(*c, Reg::Speed), 1000);
    const int64_t service = readInt(*c, Reg::TimeInService);

    ASSERT_TRUE(command(*c, Reg::ResetProc));
    EXPECT_EQ(readInt(*c, Reg::PowerUpCount), powerUps + 1);
    EXPECT_EQ(readInt(*c, Reg::RegulationMode), 0);
    EXPECT_EQ(readInt(*c, Reg::Input), 0);
    EXPECT_EQ(readInt(*c, Reg::Position), 0);
    EXPECT_EQ(readFixed16(*c, Reg::Kd), 0.25);
    c->advance(2s);
    EXPECT_EQ(readInt(*c, Reg::Speed), 0);
    EXPECT_GE(readInt(*c, Reg::TimeInService), service + 2);

    // "Save position at shut down" keeps the counter over a reset.
    write32(*c, Reg::Options, 1 << 6);
    write32(*c, Reg::Position, 1234);
    command(*c, Reg::SaveParams);
    command(*c, Reg::ResetProc);
    EXPECT_EQ(readInt(*c, Reg::Position), 1234);
}

TEST(SimController, IdentityFollowsNetworkWrites)
{
    SimIdentity id;
    id.name = "A name longer than sixteen";
    SimController c(preset("NETEC-A"), id);
    const std::vector<uint8_t> name = readBytes(c, Reg::Name);
    EXPECT_EQ(std::string(name.begin(), name.end()), "A name longer th");
    c.setAddress({127, 0, 0, 9}, {255, 255, 0, 0});
    EXPECT_EQ(readBytes(c, Reg::AddressIp), (std::vector<uint8_t>{127, 0, 0, 9}));
    EXPECT_EQ(readBytes(c, Reg::SubnetMask), (std::vector<uint8_t>{255, 255, 0, 0}));
    const uint8_t ip[4] = {127, 0, 0, 12};
    ASSERT_TRUE(c.writeRegister(Reg::AddressIp, ip));
    EXPECT_EQ(c.identity().ip, (std::array<uint8_t, 4>{127, 0, 0, 12}));
    ASSERT_TRUE(write8(c, Reg::TcpWatchdog, 45));
    EXPECT_EQ(readInt(c, Reg::TcpWatchdog), 45);
}

TEST(SimController, SameInputsGiveTheSameBytes)
{
    auto run = [] {
        SimIdentity id;
        id.mac = {0x00, 0x50, 0xC2, 0x12, 0x34, 0x56};
        SimController c(preset("NETEC-A"), id);
        c.useManualClock(true);
        writeFixed16(c, Reg::Kvff, 1.0);
        write32(c, Reg::Input, 7000);
        write8(c, Reg::RegulationMode, 5);
        std::vector<uint8_t> all;
        for (int i = 0; i < 50; ++i) {
            c.advance(std::chrono::microseconds(37'000 + i * 1000));
            for (int a = 0; a < RegisterCount; ++a)
                c.readRegister(a, all);
        }
        return all;
    };
    const std::vector<uint8_t> first = run();
    EXPECT_EQ(first, run());
    EXPECT_GT(first.size(), 5000u);
}

TEST(SimController, SteadyClockCatchesUpCheaply)
{
    SimController c(preset("NETDC-A"), {});
    write8(c, Reg::LoopTimeOption, 6); // 0.5 ms, the most work per second
    write32(c, Reg::Input, 2000);
    write8(c, Reg::RegulationMode, 4);
    const auto start = std::chrono::steady_clock::now();
    int pairs = 0;
    std::vector<uint8_t> out;
    while (std::chrono::steady_clock::now() - start < 300ms) {
        for (int a : {0x07, 0x0C, 0x20, 0x21, 0x26, 0x28, 0x30, 0x32}) {
            out.clear();
            c.readRegister(a, out);
        }
        write32(c, Reg::Input, 2000);
        ++pairs;
    }
    // Well above the 20,000 request/answer pairs per second the wire side needs
    // (one pair here is a whole poll set and a consign write).
    EXPECT_GT(pairs, 20000 * 3 / 10);
    EXPECT_GT(readInt(c, Reg::Position), 100); // the motor moved with the clock
}

TEST(SimController, ConcurrentAccessIsSafe)
{
    SimController c(preset("NETEC-A"), {});
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        int i = 0;
        while (!stop) {
            write32(c, Reg::Input, (i++ % 20) * 100);
            write8(c, Reg::RegulationMode, uint8_t(i % 2 ? 5 : 4));
            c.setAddress({127, 0, 0, uint8_t(i)}, {255, 0, 0, 0});
        }
    });
    std::vector<uint8_t> out;
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < 200ms) {
        out.clear();
        for (int a = 0; a < RegisterCount; ++a)
            c.readRegister(a, out);
        ASSERT_FALSE(c.identity().name.empty());
    }
    stop = true;
    writer.join();
    EXPECT_EQ(c.model().name, "NETEC-A");
}
