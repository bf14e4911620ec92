// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SystemDiscoveryNetwork.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::string errnoText(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

Ipv4Bytes bytesOf(const sockaddr *address)
{
    Ipv4Bytes bytes{};
    if (address && address->sa_family == AF_INET)
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, 4);
    return bytes;
}

/// "eth0:1" -> "eth0": an alias label shares its interface's link.
std::string baseName(const char *name)
{
    std::string text(name);
    const size_t colon = text.find(':');
    if (colon != std::string::npos)
        text.resize(colon);
    return text;
}

std::string firstLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

/// The interface's alias if one is set, else the name of its driver.
std::string describe(const std::string &name)
{
    if (name.find('/') != std::string::npos || name.find("..") != std::string::npos)
        return {};
    const std::string alias = firstLine("/sys/class/net/" + name + "/ifalias");
    if (!alias.empty())
        return alias;
    char target[512] = {};
    const ssize_t n = ::readlink(("/sys/class/net/" + name + "/device/driver").c_str(), target,
                                 sizeof target - 1);
    if (n <= 0)
        return {};
    const std::string path(target, size_t(n));
    return path.substr(path.rfind('/') + 1);
}

/// A datagram socket tied to one interface. It is bound to 0.0.0.0 (bound to
/// a unicast address, Linux would not deliver answers sent by broadcast) and
/// sends with the interface's address as source through IP_PKTINFO.
class InterfaceSocket : public DiscoverySocket
{
public:
    InterfaceSocket(int fd, const NetworkAdapter &adapter, unsigned index)
        : m_fd(fd)
        , m_adapter(adapter)
        , m_index(index)
    {}
    ~InterfaceSocket() override { ::close(m_fd); }

    bool sendBroadcast(std::span<const uint8_t> data, uint16_t port, std::string *error) override
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
        iovec part{const_cast<uint8_t *>(data.data()), data.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        message.msg_name = &to;
        message.msg_namelen = sizeof to;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = int(m_index);
        std::memcpy(&info.ipi_spec_dst.s_addr, m_adapter.address.data(), 4);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
        ssize_t n;
        do {
            n = ::sendmsg(m_fd, &message, 0);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            if (error)
                *error = std::to_string(errno);
            return false;
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
    NetworkAdapter m_adapter;
    unsigned m_index;
};

uint16_t internetChecksum(const uint8_t *bytes, size_t count)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < count; i += 2)
        sum += uint32_t(bytes[i]) << 8 | bytes[i + 1];
    if (count & 1)
        sum += uint32_t(bytes[count - 1]) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum);
}

} // namespace

bool SystemDiscoveryNetwork::adapters(std::vector<NetworkAdapter> &out, std::string *error)
{
    out.clear();
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0) {
        if (error)
            *error = errnoText("getifaddrs");
        return false;
    }
    std::map<std::string, MacBytes> macs;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto *link = reinterpret_cast<const sockaddr_ll *>(entry->ifa_addr);
        MacBytes mac{};
        std::copy_n(link->sll_addr, std::min<size_t>(link->sll_halen, mac.size()), mac.begin());
        macs[baseName(entry->ifa_name)] = mac;
    }
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        const unsigned flags = entry->ifa_flags;
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK))
            continue;
        NetworkAdapter adapter;
        adapter.name = baseName(entry->ifa_name);
        adapter.friendlyName = entry->ifa_name;
        adapter.description = describe(adapter.name);
        adapter.address = bytesOf(entry->ifa_addr);
        adapter.netmask = bytesOf(entry->ifa_netmask);
        adapter.broadcast = flags & IFF_BROADCAST;
        if (const auto it = macs.find(adapter.name); it != macs.end())
            adapter.mac = it->second;
        out.push_back(std::move(adapter));
    }
    ::freeifaddrs(list);
    return true;
}

std::vector<std::string> SystemDiscoveryNetwork::parseRouteTable(const std::string &text)
{
    // "Iface Destination Gateway Flags ..." with the addresses in hexadecimal,
    // in host byte order.
    std::vector<std::string> destinations;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, destination;
        // Exactly eight hexadecimal digits: strtoul alone would also take a
        // sign, a "0x" prefix or leading blanks.
        if (!(fields >> name >> destination) || destination.size() != 8
            || !std::all_of(destination.begin(), destination.end(),
                            [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            continue;
        const unsigned long value = std::strtoul(destination.c_str(), nullptr, 16);
        const uint32_t host = uint32_t(value);
        Ipv4Bytes bytes;
        std::memcpy(bytes.data(), &host, 4);
        destinations.push_back(ipv4Text(bytes));
    }
    return destinations;
}

std::vector<std::string> SystemDiscoveryNetwork::routeDestinations()
{
    std::ifstream in("/proc/net/route");
    std::stringstream text;
    text << in.rdbuf();
    return parseRouteTable(text.str());
}

std::vector<NetworkAdapter> SystemDiscoveryNetwork::broadcastInterfaces(std::string *error)
{
    std::vector<NetworkAdapter> all;
    std::vector<NetworkAdapter> interfaces;
    if (!adapters(all, error))
        return interfaces;
    for (const NetworkAdapter &adapter : all) {
        const bool seen =
            std::any_of(interfaces.begin(), interfaces.end(),
                        [&](const NetworkAdapter &a) { return a.name == adapter.name; });
        if (adapter.broadcast && !seen)
            interfaces.push_back(adapter);
    }
    return interfaces;
}

std::unique_ptr<DiscoverySocket> SystemDiscoveryNetwork::openSocket(const NetworkAdapter &adapter,
                                                                    std::string *error)
{
    const unsigned index = ::if_nametoindex(adapter.name.c_str());
    if (index == 0) {
        if (error)
            *error = errnoText("if_nametoindex");
        return nullptr;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error)
            *error = errnoText("socket");
        return nullptr;
    }
    auto fail = [&](const char *what) -> std::unique_ptr<DiscoverySocket> {
        if (error)
            *error = errnoText(what);
        ::close(fd);
        return nullptr;
    };
    const int on = 1;
    const int bufferSize = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    if (::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, adapter.name.c_str(),
                     socklen_t(adapter.name.size()))
        != 0)
        return fail("SO_BINDTODEVICE");
    if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0)
        return fail("SO_BROADCAST");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0)
        return fail("bind");
    return std::make_unique<InterfaceSocket>(fd, adapter, index);
}

PingResult SystemDiscoveryNetwork::ping(const Ipv4Bytes &address, int timeoutMs,
                                        std::string *detail)
{
    // An unprivileged ICMP datagram socket, else a raw one (root).
    bool raw = false;
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) {
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        raw = true;
    }
    if (fd < 0) {
        if (detail)
            *detail = errnoText("ICMP socket");
        return PingResult::Unavailable;
    }
    // Echo request: type 8, code 0, checksum, identifier, sequence, then 32
    // data bytes: "Data Buffer" and 21 zero bytes.
    uint8_t request[8 + 32] = {8, 0, 0, 0, 0x54, 0x56, 0x00, 0x01};
    std::memcpy(request + 8, "Data Buffer", 11);
    const uint16_t sum = internetChecksum(request, sizeof request);
    request[2] = uint8_t(sum >> 8);
    request[3] = uint8_t(sum);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr.s_addr, address.data(), 4);
    if (::sendto(fd, request, sizeof request, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to)
        < 0) {
        if (detail)
            *detail = errnoText("ICMP send");
        ::close(fd);
        return PingResult::NoReply;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    PingResult result = PingResult::NoReply;
    uint8_t buffer[1500];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0)
            break;
        size_t size = 0;
        Ipv4Bytes from{};
        const ReceiveStatus status = receiveDatagramOn(fd, buffer, int(left), &size, &from, detail);
        if (status != ReceiveStatus::Datagram)
            break;
        const uint8_t *icmp = buffer;
        if (raw) {
            // A raw socket hands over the IP header too.
            if (size < 20)
                continue;
            const size_t headerLength = size_t(buffer[0] & 0x0F) * 4;
            if (headerLength < 20 || size < headerLength + 8)
                continue;
            icmp = buffer + headerLength;
            size -= headerLength;
        }
        // Only an echo reply (type 0) from the address asked counts.
        if (size >= 8 && from == address && icmp[0] == 0
            && (!raw || (icmp[4] == request[4] && icmp[5] == request[5]))) {
            result = PingResult::Reply;
            break;
        }
    }
    ::close(fd);
    return result;
}
