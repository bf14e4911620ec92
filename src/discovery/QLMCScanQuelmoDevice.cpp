// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "discovery/QLMCScanQuelmoDevice.h"

#include "base/Diagnostics.h"
#include "discovery/DiscoveryFrames.h"

#include <chrono>

namespace {

constexpr const char *Source = "ScanQuelmoModule";

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

} // namespace

QLMCScanQuelmoDevice::QLMCScanQuelmoDevice(int scanWaitMs, DiscoveryNetwork &network, uint16_t port)
    : ScanWaitMs(scanWaitMs)
    , m_network(network)
    , m_port(port)
{}

bool QLMCScanQuelmoDevice::scanQuelmoDevice()
{
    DeviceList.clear();
    m_listedMacs.clear();
    m_unknownVariables = 0;
    m_dropped = {};
    const std::vector<uint8_t> request = DiscoveryFrames::identifyRequest();
    if (!sendBroadcast(request)) {
        LOG_ERROR(Source, "QLMCScanQuelmoDevice::scanQuelmoDevice",
                  QStringLiteral("sendSocket failed."));
        return false;
    }
    return true;
}

bool QLMCScanQuelmoDevice::scanNetworkBoard()
{
    BoardList.clear();
    std::vector<NetworkAdapter> adapters;
    std::string error;
    if (!m_network.adapters(adapters, &error)) {
        LOG_ERROR(Source, "QLMCScanQuelmoDevice::scanNetworkBoard",
                  QStringLiteral("Call to GetAdaptersAddresses failed. ") + text(error));
        return false;
    }
    for (const NetworkAdapter &adapter : adapters) {
        QLMCNetBoard board;
        board.FriendlyName = text(adapter.friendlyName);
        board.Description =
            adapter.description.empty() ? QStringLiteral("Not defined") : text(adapter.description);
        board.IP = adapter.address;
        board.IPText = DiscoveryFrames::ipText(adapter.address);
        board.Mask = DiscoveryFrames::classMask(adapter.address);
        board.MaskText = DiscoveryFrames::ipText(board.Mask);
        board.RealMask = adapter.netmask;
        board.MAC = adapter.mac;
        board.MACText = DiscoveryFrames::macText(adapter.mac);
        board.loopback = adapter.address[0] == 127;
        if (board.IPText == QLatin1String("127.0.0.1"))
            continue;
        BoardList.push_back(std::move(board));
    }
    return true;
}

bool QLMCScanQuelmoDevice::sendBroadcast(std::span<const uint8_t> data)
{
    m_failures.clear();
    for (const std::string &destination : m_network.routeDestinations())
        LogMessage(Source, __LINE__, "QLMCScanQuelmoDevice::sendBroadcast", LogOutput::Default,
                   LogLevelInfo, LogActionNone,
                   QStringLiteral("ForwardDest = ") + text(destination));
    std::string error;
    const std::vector<NetworkAdapter> interfaces = m_network.broadcastInterfaces(&error);
    if (!error.empty()) {
        LOG_ERROR(Source, "QLMCScanQuelmoDevice::sendBroadcast",
                  QStringLiteral("GetIpForwardTable failed. ") + text(error));
        m_failures << text(error);
        return false;
    }
    // One failing interface must not hide the devices behind the others.
    bool allSent = true;
    for (const NetworkAdapter &adapter : interfaces) {
        if (!sendBroadcast_Add(adapter, data)) {
            LOG_ERROR(Source, "QLMCScanQuelmoDevice::sendBroadcast",
                      QStringLiteral("sendBroadcast_Add failed. ") + text(adapter.name) + ' '
                          + text(ipv4Text(adapter.address)));
            allSent = false;
        }
    }
    return allSent;
}

bool QLMCScanQuelmoDevice::sendBroadcast_Add(const NetworkAdapter &adapter,
                                             std::span<const uint8_t> data)
{
    const char *function = "QLMCScanQuelmoDevice::sendBroadcast_Add";
    const QString where = text(adapter.friendlyName) + QStringLiteral(" (")
                          + text(ipv4Text(adapter.address)) + QStringLiteral("): ");
    std::string error;
    const auto socket = m_network.openSocket(adapter, &error);
    if (!socket) {
        LOG_ERROR(Source, function,
                  QStringLiteral("WSASocket returns invalid socket failed ") + text(error));
        m_failures << where + text(error);
        return false;
    }
    LogMessage(Source, __LINE__, function, LogOutput::Default, LogLevelInfo, LogActionNone,
               QStringLiteral("Sending a datagram..."));
    if (!socket->sendBroadcast(data, m_port, &error)) {
        LOG_ERROR(Source, function,
                  QStringLiteral("WSASendTo failed, Error Code = ") + text(error));
        m_failures << where + text(error);
        return false;
    }
    // Answers are taken as they come until the wait is over, so a burst of
    // answers never waits in (and overflows) the socket's buffer.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ScanWaitMs);
    m_buffer.resize(ReceiveBufferSize);
    for (;;) {
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        // Rounded up, so the wait never ends before the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        size_t size = 0;
        Ipv4Bytes sender{};
        const ReceiveStatus status = socket->receive(m_buffer, int(left), &size, &sender, &error);
        if (status == ReceiveStatus::TimedOut)
            break;
        if (status == ReceiveStatus::Failed) {
            LOG_ERROR(Source, function,
                      QStringLiteral("WSARecv failed. Eror code = ") + text(error));
            break;
        }
        receiveDatagram(std::span<const uint8_t>(m_buffer.data(), size),
                        DiscoveryFrames::ipText(sender));
    }
    return true;
}

std::optional<std::array<uint8_t, 4>>
QLMCScanQuelmoDevice::checkNewAddress(const QString &text, const QLMCNetBoard &board)
{
    std::array<uint8_t, 4> address{};
    if (!DiscoveryFrames::testIPAddress(text, address)
        || !DiscoveryFrames::acceptableNewAddress(address, board))
        return std::nullopt;
    return address;
}

bool QLMCScanQuelmoDevice::changeIPAdd(const QLMCQuelmoDevice &device, const QLMCNetBoard &board,
                                       const QString &addressText)
{
    const auto address = checkNewAddress(addressText, board);
    if (!address) {
        LOG_ERROR(Source, "QLMCScanQuelmoDevice::changeIPAdd",
                  QStringLiteral("IP Address bad format : ") + addressText);
        return false;
    }
    const std::vector<uint8_t> request =
        DiscoveryFrames::changeIpRequest(device.MAC, *address, board.Mask);
    if (!sendBroadcast(request)) {
        LOG_ERROR(Source, "QLMCScanQuelmoDevice::changeIPAdd",
                  QStringLiteral("sendSocket failed."));
        return false;
    }
    return true;
}

PingResult QLMCScanQuelmoDevice::testPing(const std::array<uint8_t, 4> &address)
{
    std::string detail;
    const PingResult result = m_network.ping(address, PingTimeoutMs, &detail);
    const char *function = "QLMCScanQuelmoDevice::testPing";
    const QString target = DiscoveryFrames::ipText(address);
    switch (result) {
    case PingResult::Reply:
        LogMessage(Source, __LINE__, function, LogOutput::Default, LogLevelInfo, LogActionNone,
                   QStringLiteral("Sent icmp message\n\t Received from ") + target);
        break;
    case PingResult::NoReply:
        LogMessage(Source, __LINE__, function, LogOutput::Default, LogLevelInfo, LogActionNone,
                   QStringLiteral("Request timeout. ") + target + ' ' + text(detail));
        break;
    case PingResult::Unavailable:
        LOG_ERROR(Source, function, QStringLiteral("\tUnable to open handle.\n") + text(detail));
        break;
    }
    return result;
}

const QLMCQuelmoDevice *QLMCScanQuelmoDevice::findDevice(const QString &macText) const
{
    for (const QLMCQuelmoDevice &device : DeviceList) {
        if (device.MACText == macText)
            return &device;
    }
    return nullptr;
}

QLMCScanQuelmoDevice::ChangeCheck
QLMCScanQuelmoDevice::checkChange(const QString &macText,
                                  const std::array<uint8_t, 4> &address) const
{
    const QString target = DiscoveryFrames::ipText(address);
    const QLMCQuelmoDevice *device = findDevice(macText);
    if (device && device->IP == address)
        return {true, QStringLiteral("%1 answers at %2").arg(macText, target)};
    return {false,
            QStringLiteral("%1 does not answer at %2").arg(macText, target)
                + (device ? QStringLiteral(" (it answers at %1)").arg(device->IPText) : QString())};
}

const QLMCNetBoard *QLMCScanQuelmoDevice::findBoard(const QString &ipText) const
{
    for (const QLMCNetBoard &board : BoardList) {
        if (board.IPText == ipText)
            return &board;
    }
    return nullptr;
}

bool QLMCScanQuelmoDevice::inAdapterSubnet(const std::array<uint8_t, 4> &ip) const
{
    for (const QLMCNetBoard &board : BoardList) {
        if (DiscoveryFrames::sameSubnet(ip, board.IP, board.RealMask))
            return true;
    }
    return false;
}
