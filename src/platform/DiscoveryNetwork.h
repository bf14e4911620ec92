// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

using Ipv4Bytes = std::array<uint8_t, 4>;
using MacBytes = std::array<uint8_t, 6>;

/// One IPv4 address of one local network interface.
struct NetworkAdapter
{
    std::string name;         ///< interface name (eth0); a ":label" alias is cut
    std::string friendlyName; ///< what the user sees as the adapter's name
    std::string description;  ///< alias, else the driver's name
    Ipv4Bytes address{};
    Ipv4Bytes netmask{}; ///< the interface's real mask
    MacBytes mac{};      ///< zero-filled when the link address is shorter
    bool broadcast = false;
};

/// Result of one receive on a discovery socket.
enum class ReceiveStatus { Datagram, TimedOut, Failed };

/// A datagram socket that sends out of one interface and collects the answers.
class DiscoverySocket
{
public:
    virtual ~DiscoverySocket() = default;
    /// Sends \a data to every device the interface reaches on UDP \a port.
    virtual bool sendBroadcast(std::span<const uint8_t> data, uint16_t port,
                               std::string *error) = 0;
    /// Waits up to \a timeoutMs for one datagram; on Datagram \a size bytes of
    /// it are in \a buffer (a longer one is cut) and \a sender is its source.
    virtual ReceiveStatus receive(std::span<uint8_t> buffer, int timeoutMs, size_t *size,
                                  Ipv4Bytes *sender, std::string *error) = 0;
};

/// Outcome of an ICMP echo test.
enum class PingResult {
    Reply,      ///< an echo reply came from the address
    NoReply,    ///< nothing answered within the time-out
    Unavailable ///< no ICMP socket could be opened: the address could not be tested
};

/// The local machine as discovery sees it: adapters, routes, one socket per
/// interface and the ICMP echo. The tool uses the system's; tests and the
/// loopback mode use LoopbackDiscoveryNetwork, which never leaves 127.0.0.0/8.
class DiscoveryNetwork
{
public:
    virtual ~DiscoveryNetwork() = default;
    /// Every up and running IPv4 address of a non-loopback interface, in system
    /// order. False with \a error when the list could not be read.
    virtual bool adapters(std::vector<NetworkAdapter> &out, std::string *error) = 0;
    /// The routes as dotted destinations, for the "ForwardDest = " debug lines.
    virtual std::vector<std::string> routeDestinations() = 0;
    /// The interfaces a broadcast goes out of: one entry per interface that can
    /// broadcast, with its first address.
    virtual std::vector<NetworkAdapter> broadcastInterfaces(std::string *error) = 0;
    /// A socket sending out of \a adapter only; nullptr with \a error on failure.
    virtual std::unique_ptr<DiscoverySocket> openSocket(const NetworkAdapter &adapter,
                                                        std::string *error) = 0;
    /// One ICMP echo to \a address; only an echo reply from it counts.
    virtual PingResult ping(const Ipv4Bytes &address, int timeoutMs, std::string *detail) = 0;
};

/// "a.b.c.d".
std::string ipv4Text(const Ipv4Bytes &address);

/// Waits up to \a timeoutMs for one datagram on the socket \a fd (the shared
/// receive of the discovery sockets).
ReceiveStatus receiveDatagramOn(int fd, std::span<uint8_t> buffer, int timeoutMs, size_t *size,
                                Ipv4Bytes *sender, std::string *error);
