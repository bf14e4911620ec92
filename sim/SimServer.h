// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimController.h"
#include "sim/SimFaults.h"
#include "sim/SimResponder.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class SimRequestLog;

/// A misshapen discovery answer, as a faulty device or a stranger on the LAN sends it.
enum class SimDiscoveryFault {
    None,
    UnknownCode,     ///< the version variable carries the unknown code 0x42
    CutShort,        ///< the name's value stops 5 bytes early (length field to match)
    NameFirst,       ///< the name variable comes before the type
    TwoRecords,      ///< the record twice, the second with the MAC's last byte + 1
    StrayModuleList, ///< a module-list answer (0x0006) sent before the identify answer
};

/// Where and how a SimServer listens.
struct SimServerConfig
{
    std::string bindAddress = "127.0.0.1"; ///< dotted IPv4; any 127.x.y.z is loopback
    uint16_t tcpPort = 0;                  ///< 0: an ephemeral port (see SimServer::tcpPort)
    uint16_t udpPort = 0;                  ///< 0: an ephemeral port (see SimServer::udpPort)
    /// Allows addresses outside 127.0.0.0/8, 0.0.0.0 included. Only for network
    /// namespaces a test creates: the virtual controller must never face a real network.
    bool allowAnyAddress = false;
    int maxClients = 16; ///< further TCP connections are accepted and closed at once
    /// Discovery answers go to 255.255.255.255 (at the asker's port), as
    /// devices on a foreign subnet answer. Only with allowAnyAddress.
    bool answerByBroadcast = false;
    SimDiscoveryFault discoveryFault = SimDiscoveryFault::None;
};

/// Counters of one server since start().
struct SimServerStats
{
    uint64_t requests = 0;    ///< frames that passed their checksum
    uint64_t answers = 0;     ///< answers queued for sending
    uint64_t dropped = 0;     ///< answers withheld by the drop fault
    uint64_t rejected = 0;    ///< bad checksum, oversized, malformed or unsupported requests
    uint64_t connections = 0; ///< TCP connections accepted
    int openConnections = 0;
};

/// Puts one virtual device on the wire: a direct controller (TCP and UDP) or an
/// Ethernet-to-I2C gateway with modules (TCP), both answering discovery on the
/// UDP port. Runs its own thread with plain sockets and poll(), so it needs no
/// event loop and works inside tests, the tool and tarvine-sim alike.
class SimServer
{
public:
    /// A directly connected controller.
    SimServer(SimServerConfig config, std::shared_ptr<SimController> controller);
    /// A gateway; \a modules maps 7-bit I2C addresses to their controllers.
    SimServer(SimServerConfig config, SimGatewayIdentity gateway,
              std::map<int, std::shared_ptr<SimController>> modules);
    ~SimServer();
    SimServer(const SimServer &) = delete;
    SimServer &operator=(const SimServer &) = delete;

    /// Binds both ports and starts serving. False, with a reason in \a error,
    /// when the address is refused or a port cannot be bound.
    bool start(std::string *error = nullptr);
    /// Closes every connection and both sockets and ends the thread.
    void stop();
    bool isRunning() const;

    /// The address currently served (changes when an IP change re-binds).
    std::string address() const;
    /// Bound ports, valid after start().
    uint16_t tcpPort() const;
    uint16_t udpPort() const;

    /// Fault injection for this server; setters may be called at any time.
    SimFaults &faults();
    /// Records requests and answers from now on (nullptr: stop recording).
    void setLog(std::shared_ptr<SimRequestLog> log);
    SimServerStats stats() const;

    bool isGateway() const;
    /// The direct controller (nullptr for a gateway).
    std::shared_ptr<SimController> controller() const;
    /// The gateway module at \a address, or nullptr.
    std::shared_ptr<SimController> module(int address) const;
    /// The identity reported in discovery.
    SimIdentity identity() const;

    /// True for 127.0.0.0/8.
    static bool isLoopbackAddress(std::string_view address);

private:
    class Private;
    std::unique_ptr<Private> d;
};
