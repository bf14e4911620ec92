// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimServer.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

/// A UDP port free on loopback now (the virtual controllers of one test share it).
inline uint16_t freeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

/// Virtual controllers at 127.0.<third>.<first>.. on one UDP port, MACs
/// 00-50-C2-00-00-<first>.., names "Virtual-1"..
struct DiscoverySims
{
    uint16_t port = freeUdpPort();
    /// Their TCP links on the same port too (a fleet reached by discovery);
    /// otherwise each takes an ephemeral one.
    bool tcpOnSharedPort = false;
    std::vector<std::unique_ptr<SimServer>> servers;

    SimServer &add(int lastByte, const char *model = "NETEC-A", int third = 0)
    {
        SimServerConfig config;
        config.bindAddress = "127.0." + std::to_string(third) + '.' + std::to_string(lastByte);
        config.udpPort = port;
        if (tcpOnSharedPort)
            config.tcpPort = port;
        SimIdentity identity;
        identity.mac = {0x00, 0x50, 0xC2, 0x00, 0x00, uint8_t(lastByte)};
        identity.ip = {127, 0, uint8_t(third), uint8_t(lastByte)};
        identity.name = "Virtual-" + std::to_string(servers.size() + 1);
        servers.push_back(std::make_unique<SimServer>(
            config, std::make_shared<SimController>(*parseSimModel(model), identity)));
        std::string error;
        if (!servers.back()->start(&error))
            throw std::runtime_error(error);
        return *servers.back();
    }

    /// \a count controllers at 127.0.<third>.1 .. 127.0.<third>.<count>.
    void addRange(int count, int third, const char *model = "NETEC-A")
    {
        for (int n = 1; n <= count; ++n)
            add(n, model, third);
    }
};

} // namespace testsupport
