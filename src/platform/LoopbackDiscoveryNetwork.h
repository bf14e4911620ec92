// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/DiscoveryNetwork.h"

#include <functional>
#include <optional>

/// Discovery without a real network: adapters are given, a "broadcast" is one
/// unicast datagram to each address of a loopback range (virtual controllers
/// stand at 127.0.0.N), and the echo test asks the address for its identity
/// instead of sending ICMP. Every address it sends to is in 127.0.0.0/8.
class LoopbackDiscoveryNetwork : public DiscoveryNetwork
{
public:
    /// The adapter of the loopback mode: "Virtual network" at 127.0.0.254.
    static NetworkAdapter virtualAdapter();
    /// The range of the loopback mode.
    static constexpr Ipv4Bytes DefaultFirst{127, 0, 0, 1};
    static constexpr Ipv4Bytes DefaultLast{127, 0, 0, 253};
    static constexpr size_t MaxRange = 4096;

    /// \a first..\a last (inclusive) must lie in 127.0.0.0/8 and span at most
    /// MaxRange addresses; otherwise the range is empty.
    explicit LoopbackDiscoveryNetwork(std::vector<NetworkAdapter> adapters = {virtualAdapter()},
                                      Ipv4Bytes first = DefaultFirst, Ipv4Bytes last = DefaultLast);

    /// Parses "127.0.0.1-127.0.0.3" (full addresses); nullopt when malformed,
    /// outside 127.0.0.0/8, reversed or longer than MaxRange.
    static std::optional<std::pair<Ipv4Bytes, Ipv4Bytes>> parseRange(const std::string &text);

    /// Replaces the echo test (tests decide which addresses are in use).
    void setPing(std::function<PingResult(const Ipv4Bytes &)> ping) { m_ping = std::move(ping); }

    const std::vector<Ipv4Bytes> &targets() const { return m_targets; }

    bool adapters(std::vector<NetworkAdapter> &out, std::string *error) override;
    std::vector<std::string> routeDestinations() override;
    std::vector<NetworkAdapter> broadcastInterfaces(std::string *error) override;
    std::unique_ptr<DiscoverySocket> openSocket(const NetworkAdapter &adapter,
                                                std::string *error) override;
    /// Without a ping set: Reply when a discovery identify sent to the address
    /// on the port of the last socket is answered from it.
    PingResult ping(const Ipv4Bytes &address, int timeoutMs, std::string *detail) override;
    /// The UDP port the echo test asks at (the engine's discovery port).
    void setPingPort(uint16_t port) { m_pingPort = port; }

private:
    std::vector<NetworkAdapter> m_adapters;
    std::vector<Ipv4Bytes> m_targets;
    std::function<PingResult(const Ipv4Bytes &)> m_ping;
    uint16_t m_pingPort = 7010;
};
