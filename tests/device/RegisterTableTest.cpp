// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/RegisterTable.h"
#include "device/QLMCIPMotor.h"
#include "device/RegisterText.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>

namespace {

TEST(RegisterTable, RowsKeepTheirStoredNamesAndSizes)
{
    struct Row
    {
        int address;
        const char *name;
        int size;
    };
    const Row rows[] = {
        {0x00, "Type", 4},
        {0x07, "Voltage", 4},
        {0x0B, "Nb of power up", 4},
        {0x0D, "Standby timer", 2},
        {0x11, "Ethernet MAC", 6},
        {0x14, "TCP Watchdog", 1},
        {0x15, "Name", 16},
        {0x20, "Regulation mode", 1},
        {0x2B, "Current sense", 6},
        {0x2E, "Max output volage", 4},
        {0x37, "Intergral delta", 4},
        {0x39, "Auto Tunning", 1},
        {0x46, "Loop rest", 2},
        {0x49, "Homing start", 0},
        {0x4D, "Enhanced input", 6},
        {0x4E, "Loops config", 12},
        {0x4F, "Enhanced params", 8},
        {0x55, "I/O config", 2},
        {0x5B, "Limit2 xinput", 4},
        {0x64, "Kdff", 4},
    };
    for (const Row &row : rows) {
        const RegisterInfo *info = registerInfo(row.address);
        ASSERT_NE(info, nullptr) << row.address;
        EXPECT_EQ(info->address, row.address);
        EXPECT_EQ(info->name, row.name);
        EXPECT_EQ(info->size, row.size) << row.name;
    }
}

TEST(RegisterTable, EmptySlotsAndBounds)
{
    int occupied = 0;
    for (const RegisterInfo &info : registerTable())
        occupied += info.address >= 0;
    // 101 slots, of which these are empty: 09 0A 0E 0F 16..1F 3A..3F 45 54 57 5C..60.
    EXPECT_EQ(occupied, 101 - 2 - 2 - 10 - 6 - 1 - 1 - 1 - 5);
    for (int empty : {0x09, 0x0A, 0x0E, 0x0F, 0x16, 0x1F, 0x3A, 0x3F, 0x45, 0x54, 0x57, 0x5C, 0x60})
        EXPECT_FALSE(isRegisterAddress(empty)) << empty;
    EXPECT_EQ(registerInfo(-1), nullptr);
    EXPECT_EQ(registerInfo(101), nullptr);
    EXPECT_EQ(QLMCIPMotor::RegisterSize(0x200), 0);
}

TEST(RegisterTable, CommandRegistersHaveNoValue)
{
    std::set<int> commands;
    for (const RegisterInfo &info : registerTable())
        if (info.access == BaseAccess::Command) {
            commands.insert(info.address);
            EXPECT_EQ(info.size, 0);
        }
    EXPECT_EQ(commands, (std::set<int>{0x02, 0x03, 0x04, 0x05, 0x06, 0x49, 0x4A}));
}

class MotorImage : public ::testing::Test
{
protected:
    RegisterLock lock;
    QLMCIPMotor motor{lock};
};

TEST_F(MotorImage, FreshImageReadsOnlyTypeAndVersion)
{
    const auto &regs = motor.registers();
    for (int a = 0; a < RegisterCount; ++a) {
        EXPECT_EQ(regs[a].Readable, a == 0 || a == 1) << a;
        EXPECT_FALSE(regs[a].Writable) << a;
        EXPECT_EQ(int(regs[a].Value.size()), regs[a].Size);
        EXPECT_EQ(int(regs[a].WriteValue.size()), regs[a].Size);
    }
    EXPECT_EQ(regs[0x09].Address, -1);
    EXPECT_EQ(regs[0x09].Size, 0);
    EXPECT_TRUE(regs[0x09].Name.empty());
    EXPECT_EQ(regs[0x26].Name, "Position");
}

TEST_F(MotorImage, RequestWriteStoresBigEndianBySize)
{
    motor.RequestWrite(0x26, -2);
    EXPECT_EQ(motor.registers()[0x26].WriteValue, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_TRUE(motor.registers()[0x26].WriteRequest);

    motor.RequestWrite(0x0D, 0x1234);
    EXPECT_EQ(motor.registers()[0x0D].WriteValue, (std::vector<uint8_t>{0x12, 0x34}));
    motor.RequestWrite(0x20, 5);
    EXPECT_EQ(motor.registers()[0x20].WriteValue, (std::vector<uint8_t>{5}));

    motor.RequestWrite(0x03, 99); // command: only the request
    EXPECT_TRUE(motor.registers()[0x03].WriteRequest);
    EXPECT_TRUE(motor.registers()[0x03].WriteValue.empty());

    const uint8_t name[] = {'A', 'B'};
    motor.RequestWriteBytes(0x15, name);
    EXPECT_EQ(motor.registers()[0x15].WriteValue.size(), 16u);
    EXPECT_EQ(motor.registers()[0x15].WriteValue[1], 'B');
    EXPECT_EQ(motor.registers()[0x15].WriteValue[2], 0);
}

TEST_F(MotorImage, OutOfRangeAddressesAreIgnored)
{
    motor.RequestRead(-1);
    motor.RequestRead(101);
    motor.RequestRead(255);
    motor.RequestWrite(0x65, 1);
    motor.RequestWrite(-7, 1);
    const uint8_t bytes[] = {1, 2, 3};
    motor.RequestWriteBytes(1000, bytes);
    motor.setAccess(300, true, true);
    for (const QLMCRegister &reg : motor.registers()) {
        EXPECT_FALSE(reg.ReadRequest);
        EXPECT_FALSE(reg.WriteRequest);
    }
    EXPECT_EQ(motor.registerAt(101), nullptr);
}

TEST_F(MotorImage, RequestAllReadableSkipsTypeAndVersion)
{
    motor.setAccess(0x26, true, true);
    motor.setAccess(0x64, true, false);
    motor.RequestAllReadable();
    for (int a = 0; a < RegisterCount; ++a)
        EXPECT_EQ(motor.registers()[a].ReadRequest, a == 0x26 || a == 0x64) << a;

    motor.ClearReadRequests();
    motor.RequestLimitsRead();
    motor.RequestOptionsRead();
    std::set<int> requested;
    for (int a = 0; a < RegisterCount; ++a)
        if (motor.registers()[a].ReadRequest)
            requested.insert(a);
    EXPECT_EQ(requested, (std::set<int>{0x2C, 0x50, 0x51, 0x52, 0x53, 0x58, 0x59, 0x5A, 0x5B}));
}

// A typed value is taken only when it fits the register; hexadecimal texts
// beyond 64 bits were wrapped into the other sign (found by fuzz_register_text).
TEST(RegisterText, TypedValuesFitTheRegister)
{
    struct Row
    {
        int address;
        const char *text;
        std::optional<int64_t> value;
    };
    const Row rows[] = {
        {0x21, "1000", 1000},
        {0x21, " 0x3E8 ", 1000},
        {0x21, "-0x10", -16},
        {0x21, "0xFFFFFFFF", 0xFFFFFFFF},
        {0x21, "-2147483648", -2147483648LL},
        {0x21, "-2147483649", std::nullopt},
        {0x21, "0x1FFFFFFFF", std::nullopt},
        {0x21, "0xFFFFFFFFFFFFFFFF", std::nullopt},
        {0x21, "-0x8000000000000000", std::nullopt},
        {0x21, "0x", std::nullopt},
        {0x14, "255", 255},
        {0x14, "256", std::nullopt},
        {0x33, "1.5", 98304},
        {0x33, "nan", std::nullopt},
        {0x33, "40000", std::nullopt},
        {0x09, "1", std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(RegisterText::parse(row.address, QString::fromLatin1(row.text)), row.value)
            << row.address << " " << row.text;
    EXPECT_EQ(RegisterText::parseAddress(QStringLiteral("0x64")), 100);
    EXPECT_FALSE(RegisterText::parseAddress(QStringLiteral("-0x8000000000000000")));
}

} // namespace
