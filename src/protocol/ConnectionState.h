// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <atomic>
#include <cstdint>

/// Connection modes.
namespace ComModes {
inline constexpr int Closed = -1;
inline constexpr int TcpDirect = 0;  ///< TCP, port 8010
inline constexpr int Udp = 1;        ///< UDP, port 7010
inline constexpr int TcpGateway = 2; ///< TCP to an Ethernet-to-I2C gateway, port 8010
} // namespace ComModes

/// Packet kinds the sender thread builds in its cycle.
namespace Phases {
inline constexpr int Read = 0;
inline constexpr int Write = 1;
inline constexpr int InputOnly = 2;
} // namespace Phases

/// The state that the connection, the sender thread and the answer decoder
/// share. Plain flags and numbers; those touched by several threads are atomic.
class ConnectionState
{
public:
    std::atomic<int> ComMode{ComModes::Closed};
    std::atomic<int> I2CAddress{1}; ///< module address behind the gateway, 1..127
    std::atomic<bool> ScanningI2C{false};
    std::atomic<bool> SendScanRequest{false};
    std::atomic<int> Phase{Phases::Read}; ///< kind of the request in flight
    /// Write items of the gateway request in flight; the decoder checks the
    /// acknowledge count against it.
    std::atomic<int> GatewayWriteItems{0};
    /// Raised (under the RegisterLock) by every open and close. Answers carry
    /// the generation of the connection they arrived on; one of a connection
    /// that is no longer current is dropped and never decoded.
    std::atomic<uint32_t> Generation{0};

    /// No request awaits an answer.
    static constexpr int32_t NoTransaction = -1;
    /// Transaction number of the request whose answer is awaited (set by the
    /// encoder right before the send). The decoder takes only the answer that
    /// carries it, and clears it then; the sender clears it when it gives the
    /// request up. Changed under the RegisterLock; an answer carrying any other
    /// number is late (its request was given up) and never decoded.
    std::atomic<int32_t> AwaitedTransaction{NoTransaction};

    /// Next transaction number; used by the sender thread only.
    int32_t TransactionCounter = 0;
    /// Addresses of the last gateway read request, in request order (0xFF = none).
    /// Written by the sender and read by the decoder, both under the RegisterLock.
    std::array<uint8_t, 100> RequestedAddresses{};
};
