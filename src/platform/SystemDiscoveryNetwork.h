// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/DiscoveryNetwork.h"

/// The machine's own network: getifaddrs, /proc/net/route, one UDP socket
/// bound to each broadcast-capable interface, ICMP echo. Sends real
/// broadcasts: tests use it only inside network namespaces they create.
class SystemDiscoveryNetwork : public DiscoveryNetwork
{
public:
    bool adapters(std::vector<NetworkAdapter> &out, std::string *error) override;
    std::vector<std::string> routeDestinations() override;
    std::vector<NetworkAdapter> broadcastInterfaces(std::string *error) override;
    std::unique_ptr<DiscoverySocket> openSocket(const NetworkAdapter &adapter,
                                                std::string *error) override;
    PingResult ping(const Ipv4Bytes &address, int timeoutMs, std::string *detail) override;

    /// The destinations of a /proc/net/route text (hex, host byte order).
    static std::vector<std::string> parseRouteTable(const std::string &text);
};
