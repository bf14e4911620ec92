// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>
#include <string_view>

/// How a register's value bytes are read (all multi-byte values big-endian).
enum class ValueFormat : uint8_t {
    None,    ///< empty slot
    Command, ///< size 0: writing it carries out a command
    U8,
    U16,
    U32,
    S32,
    Fixed16_16,     ///< signed 32-bit, raw / 65536
    Fixed8_24,      ///< signed 32-bit, raw / 16777216
    Bytes,          ///< raw bytes (MAC, IP address, mask, I/O state)
    Text,           ///< 16 characters, not terminated
    CurrentSense,   ///< three signed 16-bit 8.8 values
    EnhancedInput,  ///< byte, byte, u32
    LoopsConfig,    ///< three u32
    EnhancedParams, ///< u32, u16, u16
};

/// Access that every model has to a register, before the model profile adds its own.
enum class BaseAccess : uint8_t {
    None,
    Read,
    ReadWrite,
    Command,     ///< writable, no value
    FeedForward, ///< read and write exactly on feed-forward models
};

/// One row of the register table.
struct RegisterInfo
{
    int address;           ///< -1 for an empty slot
    std::string_view name; ///< exact stored name (parameter files depend on it)
    int size;              ///< value bytes; 0 for commands and empty slots
    ValueFormat format;
    BaseAccess access;
};

/// Number of register slots, addresses 0x00..0x64.
inline constexpr int RegisterCount = 101;

/// The register table, indexed by address; empty slots have address -1.
const std::array<RegisterInfo, RegisterCount> &registerTable();

/// The row for \a address, or nullptr when the address is outside 0x00..0x64.
const RegisterInfo *registerInfo(int address);

/// True when \a address is an occupied slot of the table.
bool isRegisterAddress(int address);

/// Register addresses named where the system uses them.
namespace Reg {
inline constexpr int Type = 0x00;
inline constexpr int Version = 0x01;
inline constexpr int ResetProc = 0x02;
inline constexpr int SaveParams = 0x03;
inline constexpr int RestoreParams = 0x04;
inline constexpr int RestoreFactoryParams = 0x05;
inline constexpr int SaveFactoryParams = 0x06;
inline constexpr int Voltage = 0x07;
inline constexpr int Warning = 0x08;
inline constexpr int PowerUpCount = 0x0B;
inline constexpr int TimeInService = 0x0C;
inline constexpr int StandbyTimer = 0x0D;
inline constexpr int ComOptions = 0x10;
inline constexpr int EthernetMac = 0x11;
inline constexpr int AddressIp = 0x12;
inline constexpr int SubnetMask = 0x13;
inline constexpr int TcpWatchdog = 0x14;
inline constexpr int Name = 0x15;
inline constexpr int RegulationMode = 0x20;
inline constexpr int Input = 0x21;
inline constexpr int InputOffset = 0x22;
inline constexpr int InputOffsetMeasured = 0x23;
inline constexpr int InputMin = 0x24;
inline constexpr int InputMax = 0x25;
inline constexpr int Position = 0x26;
inline constexpr int PositionOffset = 0x27;
inline constexpr int Speed = 0x28;
inline constexpr int Temperature = 0x29;
inline constexpr int CurrentMax = 0x2A;
inline constexpr int CurrentSense = 0x2B;
inline constexpr int Options = 0x2C;
inline constexpr int LoopTimeOption = 0x2D;
inline constexpr int MaxOutputVoltage = 0x2E;
inline constexpr int DissipationVoltage = 0x2F;
inline constexpr int Desired = 0x30;
inline constexpr int Feedback = 0x31;
inline constexpr int Command = 0x32;
inline constexpr int Kp = 0x33;
inline constexpr int Ki = 0x34;
inline constexpr int Kd = 0x35;
inline constexpr int AntiResetWindup = 0x36;
inline constexpr int IntegralDelta = 0x37;
inline constexpr int DerivationOfDelta = 0x38;
inline constexpr int AutoTuning = 0x39;
inline constexpr int Acceleration = 0x40;
inline constexpr int Deceleration = 0x41;
inline constexpr int SpeedMax = 0x42;
inline constexpr int DeadZone = 0x43;
inline constexpr int EncoderRatio = 0x44;
inline constexpr int LoopRest = 0x46;
inline constexpr int HomingStartInput = 0x47;
inline constexpr int HomingOption = 0x48;
inline constexpr int HomingStart = 0x49;
inline constexpr int HomingStop = 0x4A;
inline constexpr int HomingPosition = 0x4B;
inline constexpr int HomingInput = 0x4C;
inline constexpr int EnhancedInput = 0x4D;
inline constexpr int LoopsConfig = 0x4E;
inline constexpr int EnhancedParams = 0x4F;
inline constexpr int Limit1Setup = 0x50;
inline constexpr int Limit1ControlMode = 0x51;
inline constexpr int Limit1Position = 0x52;
inline constexpr int Limit1XInput = 0x53;
inline constexpr int IoConfig = 0x55;
inline constexpr int IoState = 0x56;
inline constexpr int Limit2Setup = 0x58;
inline constexpr int Limit2ControlMode = 0x59;
inline constexpr int Limit2Position = 0x5A;
inline constexpr int Limit2XInput = 0x5B;
inline constexpr int VffOffset = 0x61;
inline constexpr int Kvff = 0x62;
inline constexpr int Kaff = 0x63;
inline constexpr int Kdff = 0x64;
} // namespace Reg
