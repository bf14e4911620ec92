// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>

/// Function codes of the controller frame.
namespace Function {
inline constexpr int GatewayScan = 0x0005;       ///< request: I2C bus scan (gateway)
inline constexpr int GatewayScanAnswer = 0x0006; ///< answer: one byte per module address
inline constexpr int GatewayTransfer = 0x0007;   ///< request: I2C transfer items (gateway)
inline constexpr int Read = 0x0021;              ///< request: register read
inline constexpr int Write = 0x0022;             ///< request: register write
inline constexpr int ReadAnswer = 0x0023;        ///< answer sent by controllers and in discovery
inline constexpr int ChangeIp = 0x002A;          ///< discovery: IP change by MAC address
} // namespace Function

/// Frame layout: 6-byte header (function, transaction, payload length, all
/// big-endian), payload, 16-bit checksum over header and payload.
namespace Frame {
inline constexpr int HeaderSize = 6;
inline constexpr int ChecksumSize = 2;
inline constexpr int MaxPayload = 1000; ///< the largest payload a packet can hold
} // namespace Frame

/// One request being built or one answer received.
struct QLMCIPPacket
{
    int32_t Function = 0;
    int32_t TransactionId = 0;
    int32_t Length = 0;                            ///< payload length as carried in the header
    std::array<uint8_t, Frame::MaxPayload> Data{}; ///< payload (requests: direct form)
    int32_t Checksum = 0;
    int32_t DataCount = 0; ///< bytes the sender put into Data
};
