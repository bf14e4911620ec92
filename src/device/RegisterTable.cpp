// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/RegisterTable.h"

namespace {

using F = ValueFormat;
using A = BaseAccess;

constexpr RegisterInfo empty(int)
{
    return {-1, "", 0, F::None, A::None};
}

// Names are stored exactly as the controllers and the parameter files spell
// them ("Max output volage", "Intergral delta", "Auto Tunning").
constexpr std::array<RegisterInfo, RegisterCount> Table = {{
    {0x00, "Type", 4, F::U32, A::Read},
    {0x01, "Version", 4, F::U32, A::Read},
    {0x02, "Reset proc", 0, F::Command, A::Command},
    {0x03, "Save params", 0, F::Command, A::Command},
    {0x04, "Restore params", 0, F::Command, A::Command},
    {0x05, "Restore factory params", 0, F::Command, A::Command},
    {0x06, "Save factory params", 0, F::Command, A::Command},
    {0x07, "Voltage", 4, F::Fixed16_16, A::Read},
    {0x08, "Warning", 4, F::U32, A::ReadWrite},
    empty(0x09),
    empty(0x0A),
    {0x0B, "Nb of power up", 4, F::U32, A::None},
    {0x0C, "Time in service", 4, F::U32, A::None},
    {0x0D, "Standby timer", 2, F::U16, A::None},
    empty(0x0E),
    empty(0x0F),
    {0x10, "Com options", 4, F::U32, A::ReadWrite},
    {0x11, "Ethernet MAC", 6, F::Bytes, A::None},
    {0x12, "Address IP", 4, F::Bytes, A::ReadWrite},
    {0x13, "Subnet mask", 4, F::Bytes, A::None},
    {0x14, "TCP Watchdog", 1, F::U8, A::None},
    {0x15, "Name", 16, F::Text, A::ReadWrite},
    empty(0x16),
    empty(0x17),
    empty(0x18),
    empty(0x19),
    empty(0x1A),
    empty(0x1B),
    empty(0x1C),
    empty(0x1D),
    empty(0x1E),
    empty(0x1F),
    {0x20, "Regulation mode", 1, F::U8, A::ReadWrite},
    {0x21, "Input", 4, F::S32, A::ReadWrite},
    {0x22, "Input offset", 4, F::S32, A::ReadWrite},
    {0x23, "Input offset measured", 4, F::S32, A::ReadWrite},
    {0x24, "Input min", 4, F::S32, A::ReadWrite},
    {0x25, "Input max", 4, F::S32, A::ReadWrite},
    {0x26, "Position", 4, F::S32, A::ReadWrite},
    {0x27, "Position offset", 4, F::S32, A::ReadWrite},
    {0x28, "Speed", 4, F::S32, A::Read},
    {0x29, "Temperature", 4, F::Fixed16_16, A::None},
    {0x2A, "Current max", 4, F::Fixed16_16, A::ReadWrite},
    {0x2B, "Current sense", 6, F::CurrentSense, A::None},
    {0x2C, "Options", 4, F::U32, A::ReadWrite},
    {0x2D, "Loop time option", 1, F::U8, A::None},
    {0x2E, "Max output volage", 4, F::Fixed16_16, A::None},
    {0x2F, "Dissipation voltage", 4, F::Fixed16_16, A::None},
    {0x30, "Desired", 4, F::S32, A::Read},
    {0x31, "Feedback", 4, F::S32, A::None},
    {0x32, "Command", 4, F::S32, A::None},
    {0x33, "Kp", 4, F::Fixed16_16, A::None},
    {0x34, "Ki", 4, F::Fixed16_16, A::None},
    {0x35, "Kd", 4, F::Fixed16_16, A::None},
    {0x36, "Anti reset windup", 4, F::S32, A::None},
    {0x37, "Intergral delta", 4, F::S32, A::None},
    {0x38, "Derivation of delta", 4, F::S32, A::None},
    {0x39, "Auto Tunning", 1, F::U8, A::None},
    empty(0x3A),
    empty(0x3B),
    empty(0x3C),
    empty(0x3D),
    empty(0x3E),
    empty(0x3F),
    {0x40, "Acceleration", 4, F::S32, A::ReadWrite},
    {0x41, "Deceleration", 4, F::S32, A::ReadWrite},
    {0x42, "Speed max", 4, F::S32, A::ReadWrite},
    {0x43, "Dead zone", 4, F::S32, A::None},
    {0x44, "Encoder ratio", 4, F::Fixed16_16, A::None},
    empty(0x45),
    {0x46, "Loop rest", 2, F::U16, A::None},
    {0x47, "Homing start input", 4, F::S32, A::None},
    {0x48, "Homing option", 4, F::U32, A::ReadWrite},
    {0x49, "Homing start", 0, F::Command, A::Command},
    {0x4A, "Homing stop", 0, F::Command, A::Command},
    {0x4B, "Homing position", 4, F::S32, A::ReadWrite},
    {0x4C, "Homing input", 4, F::S32, A::ReadWrite},
    {0x4D, "Enhanced input", 6, F::EnhancedInput, A::None},
    {0x4E, "Loops config", 12, F::LoopsConfig, A::None},
    {0x4F, "Enhanced params", 8, F::EnhancedParams, A::None},
    {0x50, "Limit1 setup", 4, F::U32, A::ReadWrite},
    {0x51, "Limit1 control mode", 1, F::U8, A::ReadWrite},
    {0x52, "Limit1 position", 4, F::S32, A::ReadWrite},
    {0x53, "Limit1 xinput", 4, F::S32, A::ReadWrite},
    empty(0x54),
    {0x55, "I/O config", 2, F::U16, A::None},
    {0x56, "I/O state", 4, F::Bytes, A::None},
    empty(0x57),
    {0x58, "Limit2 setup", 4, F::U32, A::ReadWrite},
    {0x59, "Limit2 control mode", 1, F::U8, A::ReadWrite},
    {0x5A, "Limit2 position", 4, F::S32, A::ReadWrite},
    {0x5B, "Limit2 xinput", 4, F::S32, A::ReadWrite},
    empty(0x5C),
    empty(0x5D),
    empty(0x5E),
    empty(0x5F),
    empty(0x60),
    {0x61, "VffOffset", 4, F::S32, A::FeedForward},
    {0x62, "Kvff", 4, F::Fixed16_16, A::FeedForward},
    {0x63, "Kaff", 4, F::Fixed8_24, A::FeedForward},
    {0x64, "Kdff", 4, F::Fixed8_24, A::FeedForward},
}};

constexpr bool tableIsIndexedByAddress()
{
    for (int i = 0; i < RegisterCount; ++i) {
        if (Table[i].address != -1 && Table[i].address != i)
            return false;
        if (Table[i].address == -1 && (Table[i].size != 0 || !Table[i].name.empty()))
            return false;
        if (Table[i].size > 16)
            return false;
    }
    return true;
}
static_assert(tableIsIndexedByAddress(), "entry i of the register table must be address i");

} // namespace

const std::array<RegisterInfo, RegisterCount> &registerTable()
{
    return Table;
}

const RegisterInfo *registerInfo(int address)
{
    if (address < 0 || address >= RegisterCount)
        return nullptr;
    return &Table[static_cast<size_t>(address)];
}

bool isRegisterAddress(int address)
{
    const RegisterInfo *info = registerInfo(address);
    return info && info->address >= 0;
}
