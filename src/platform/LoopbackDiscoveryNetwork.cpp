// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/LoopbackDiscoveryNetwork.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

uint32_t hostOrder(const Ipv4Bytes &a)
{
    return uint32_t(a[0]) << 24 | uint32_t(a[1]) << 16 | uint32_t(a[2]) << 8 | a[3];
}

Ipv4Bytes fromHostOrder(uint32_t v)
{
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

bool isLoopback(const Ipv4Bytes &a)
{
    return a[0] == 127;
}

std::optional<Ipv4Bytes> parseAddress(const std::string &text)
{
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1)
        return std::nullopt;
    Ipv4Bytes bytes;
    std::memcpy(bytes.data(), &address.s_addr, 4);
    return bytes;
}

/// A UDP socket bound to a loopback adapter address; its "broadcast" is one
/// datagram to each address of the range.
class LoopbackSocket : public DiscoverySocket
{
public:
    LoopbackSocket(int fd, const std::vector<Ipv4Bytes> &targets)
        : m_fd(fd)
        , m_targets(targets)
    {}
    ~LoopbackSocket() override { ::close(m_fd); }

    bool sendBroadcast(std::span<const uint8_t> data, uint16_t port, std::string *error) override
    {
        for (const Ipv4Bytes &target : m_targets) {
            if (!isLoopback(target))
                continue; // never leaves 127.0.0.0/8
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            std::memcpy(&to.sin_addr.s_addr, target.data(), 4);
            ssize_t n;
            do {
                n = ::sendto(m_fd, data.data(), data.size(), 0,
                             reinterpret_cast<const sockaddr *>(&to), sizeof to);
            } while (n < 0 && errno == EINTR);
            if (n < 0 && errno != ECONNREFUSED) {
                if (error)
                    *error = std::strerror(errno);
                return false;
            }
        }
        return true;
    }

    ReceiveStatus receive(std::span<uint8_t> buffer, int timeoutMs, size_t *size, Ipv4Bytes *sender,
                          std::string *error) override
    {
        return receiveDatagramOn(m_fd, buffer, timeoutMs, size, sender, error);
    }

private:
    int m_fd;
    const std::vector<Ipv4Bytes> &m_targets;
};

} // namespace

NetworkAdapter LoopbackDiscoveryNetwork::virtualAdapter()
{
    NetworkAdapter adapter;
    adapter.name = "lo";
    adapter.friendlyName = "Virtual network";
    adapter.description = "Loopback (virtual controllers)";
    adapter.address = {127, 0, 0, 254};
    adapter.netmask = {255, 0, 0, 0};
    adapter.broadcast = true;
    return adapter;
}

LoopbackDiscoveryNetwork::LoopbackDiscoveryNetwork(std::vector<NetworkAdapter> adapters,
                                                   Ipv4Bytes first, Ipv4Bytes last)
    : m_adapters(std::move(adapters))
{
    const uint32_t from = hostOrder(first);
    const uint32_t to = hostOrder(last);
    if (isLoopback(first) && isLoopback(last) && from <= to && to - from < MaxRange) {
        for (uint32_t a = from; a <= to; ++a)
            m_targets.push_back(fromHostOrder(a));
    }
}

std::optional<std::pair<Ipv4Bytes, Ipv4Bytes>>
LoopbackDiscoveryNetwork::parseRange(const std::string &text)
{
    const size_t dash = text.find('-');
    if (dash == std::string::npos)
        return std::nullopt;
    const auto first = parseAddress(text.substr(0, dash));
    const auto last = parseAddress(text.substr(dash + 1));
    if (!first || !last || !isLoopback(*first) || !isLoopback(*last)
        || hostOrder(*first) > hostOrder(*last) || hostOrder(*last) - hostOrder(*first) >= MaxRange)
        return std::nullopt;
    return std::make_pair(*first, *last);
}

bool LoopbackDiscoveryNetwork::adapters(std::vector<NetworkAdapter> &out, std::string *)
{
    out = m_adapters;
    return true;
}

std::vector<std::string> LoopbackDiscoveryNetwork::routeDestinations()
{
    return {"127.0.0.0"};
}

std::vector<NetworkAdapter> LoopbackDiscoveryNetwork::broadcastInterfaces(std::string *)
{
    std::vector<NetworkAdapter> interfaces;
    for (const NetworkAdapter &adapter : m_adapters) {
        if (adapter.broadcast)
            interfaces.push_back(adapter);
    }
    return interfaces;
}

std::unique_ptr<DiscoverySocket> LoopbackDiscoveryNetwork::openSocket(const NetworkAdapter &adapter,
                                                                      std::string *error)
{
    if (!isLoopback(adapter.address)) {
        if (error)
            *error = "not a loopback address: " + ipv4Text(adapter.address);
        return nullptr;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error)
            *error = std::strerror(errno);
        return nullptr;
    }
    // A large receive buffer: hundreds of devices answer at once.
    const int bufferSize = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    std::memcpy(&local.sin_addr.s_addr, adapter.address.data(), 4);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        if (error)
            *error = std::strerror(errno);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<LoopbackSocket>(fd, m_targets);
}

PingResult LoopbackDiscoveryNetwork::ping(const Ipv4Bytes &address, int timeoutMs,
                                          std::string *detail)
{
    if (m_ping)
        return m_ping(address);
    if (!isLoopback(address))
        return PingResult::NoReply; // nothing outside loopback is ever asked
    // In use when a device answers discovery there.
    static constexpr uint8_t identify[] = {0x00, 0x21, 0x00, 0x00, 0x00, 0x04,
                                           0x00, 0x11, 0x01, 0x15, 0xFE, 0xB4};
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return PingResult::Unavailable;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(m_pingPort);
    std::memcpy(&to.sin_addr.s_addr, address.data(), 4);
    PingResult result = PingResult::NoReply;
    if (::sendto(fd, identify, sizeof identify, 0, reinterpret_cast<const sockaddr *>(&to),
                 sizeof to)
        == ssize_t(sizeof identify)) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        uint8_t buffer[256];
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                break;
            size_t size = 0;
            Ipv4Bytes from{};
            if (receiveDatagramOn(fd, buffer, int(left), &size, &from, detail)
                != ReceiveStatus::Datagram)
                break;
            if (from == address) {
                result = PingResult::Reply;
                break;
            }
        }
    }
    ::close(fd);
    return result;
}
