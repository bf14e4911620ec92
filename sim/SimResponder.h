// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimController.h"
#include "sim/SimFrame.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

/// What an Ethernet-to-I2C gateway reports about itself in discovery.
struct SimGatewayIdentity
{
    SimIdentity identity{
        {0x00, 0x50, 0xC2, 0x00, 0x01, 0x00}, {127, 0, 0, 1}, {255, 0, 0, 0}, "Gateway"};
    uint32_t typeRegister = 0x00010001; ///< type code 1 (Ethernet-to-I2C gateway), sub-type 1
    uint32_t version = 0x00010000;      ///< reported as version bytes 00 01 00 00
};

/// Status bytes the gateway puts after each transfer item of its answers.
namespace SimGatewayStatus {
inline constexpr uint8_t Ack = 0x87;         ///< the module acknowledged the transfer
inline constexpr uint8_t AddressNack = 0x20; ///< no module answers at that I2C address
inline constexpr uint8_t DataNack = 0x30;    ///< the module refused the register
inline constexpr uint8_t Filler = 0xFF;      ///< read bytes of a transfer that failed
} // namespace SimGatewayStatus

/// What the virtual controller does with one request.
struct SimResponse
{
    enum class Outcome {
        Answered,   ///< `answer` is to be sent
        Silent,     ///< understood, nothing to send (IP change)
        Malformed,  ///< entries truncated or unknown: not answered
        Unsupported ///< function not served in this role or on this transport
    };

    Outcome outcome = Outcome::Silent;
    SimFrame answer;
    std::string note; ///< what happened, for the request log

    bool addressChanged = false; ///< an IP change addressed to this device was applied
    std::array<uint8_t, 4> newIp{};
    std::array<uint8_t, 4> newMask{};
};

/// Turns request frames into answer frames for one device on the wire: a
/// directly connected controller, or a gateway forwarding register transfers
/// to controller modules on its I2C bus. It owns no socket; SimServer feeds it.
class SimResponder
{
public:
    /// A direct controller answering register reads and writes on TCP and UDP.
    explicit SimResponder(std::shared_ptr<SimController> controller);
    /// A gateway with modules keyed by their 7-bit I2C address (1..127).
    SimResponder(SimGatewayIdentity gateway, std::map<int, std::shared_ptr<SimController>> modules);

    bool isGateway() const { return m_gateway; }

    /// Handles one request whose checksum was verified.
    SimResponse respond(const SimFrame &request, SimTransport transport);

    /// The controller of a direct device (nullptr for a gateway).
    std::shared_ptr<SimController> controller() const { return m_controller; }
    /// The module at I2C address \a address, or nullptr.
    std::shared_ptr<SimController> module(int address) const;
    /// Module addresses in ascending order.
    std::vector<int> moduleAddresses() const;

    /// Network identity this device reports in discovery (the controller's or the gateway's).
    SimIdentity identity() const;

    /// Gateway: answer a transfer that is not acknowledged with its status
    /// byte only, leaving out the filler bytes where its value would be.
    void setNackStatusOnly(bool on) { m_nackStatusOnly = on; }

    /// The 12-byte discovery identify request: a read of type, MAC, version and name.
    static bool isIdentifyRequest(const SimFrame &request);

private:
    SimResponse readDirect(const SimFrame &request);
    SimResponse writeDirect(const SimFrame &request);
    SimResponse identify(const SimFrame &request);
    SimResponse changeIp(const SimFrame &request);
    SimResponse gatewayTransfer(const SimFrame &request);
    SimResponse gatewayScan(const SimFrame &request);

    bool m_gateway = false;
    std::atomic<bool> m_nackStatusOnly{false};
    std::shared_ptr<SimController> m_controller;
    std::map<int, std::shared_ptr<SimController>> m_modules;
    mutable std::mutex m_identityMutex; ///< guards m_gatewayIdentity
    SimGatewayIdentity m_gatewayIdentity;
};
