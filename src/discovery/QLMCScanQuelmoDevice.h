// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "discovery/QLMCNetBoard.h"
#include "discovery/QLMCQuelmoDevice.h"
#include "platform/DiscoveryNetwork.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

/// The discovery engine: lists the local adapters, broadcasts the identify
/// request out of every interface and collects the answers, sends the IP
/// change addressed by MAC, and tests whether an address is in use. All
/// traffic goes through the injected DiscoveryNetwork.
///
/// Intake frames each datagram on its own: every whole frame in it is
/// dispatched, a partial tail is dropped, nothing carries over to the next
/// datagram. It is bounded: at most MaxRecordsPerDatagram records of one
/// datagram and MaxDevicesPerScan devices per scan are taken, in time linear
/// in what arrives. Nothing here shows a box: an unknown variable is logged and
/// counted, and the window says so once per scan (unknownVariableCount()).
class QLMCScanQuelmoDevice
{
public:
    static constexpr uint16_t DefaultPort = 7010;
    static constexpr size_t ReceiveBufferSize = 66000;
    static constexpr int PingTimeoutMs = 1000;
    /// A device answers with its own record; a datagram holding more is a
    /// flood: the records past this many are dropped and counted.
    static constexpr int MaxRecordsPerDatagram = 16;
    /// Devices listed by one scan; further ones are dropped and counted.
    static constexpr size_t MaxDevicesPerScan = 1024;

    /// Records the intake bounds dropped since the last scan began.
    struct DroppedRecords
    {
        int overDatagramBound = 0; ///< past MaxRecordsPerDatagram in their datagram
        int overScanBound = 0;     ///< new devices past MaxDevicesPerScan
    };

    /// What a scan after an IP change found of the device.
    struct ChangeCheck
    {
        bool answers = false; ///< it answered from the new address
        QString text;         ///< "MAC answers at A" or "MAC does not answer at A ..."
    };

    QLMCScanQuelmoDevice(int scanWaitMs, DiscoveryNetwork &network, uint16_t port = DefaultPort);

    /// Time to wait for answers on each interface.
    int ScanWaitMs;
    std::vector<QLMCQuelmoDevice> DeviceList; ///< devices of the last scan, first answer per MAC
    std::vector<QLMCQuelmoDevice> ModuleList; ///< modules of the last module-list answer
    std::vector<QLMCNetBoard> BoardList;      ///< adapters of the last adapter scan

    uint16_t port() const { return m_port; }
    DiscoveryNetwork &network() { return m_network; }

    /// Clears DeviceList, broadcasts the identify request and collects the
    /// answers. False ("sendSocket failed.") when an interface failed; the
    /// answers of the others are listed all the same.
    bool scanQuelmoDevice();
    /// Fills BoardList with the adapters' addresses (the loopback address never).
    bool scanNetworkBoard();
    /// Sends \a data out of every broadcast interface, each followed by its wait.
    /// Tries all interfaces; false when any failed.
    bool sendBroadcast(std::span<const uint8_t> data);
    /// Sends out of one interface and collects answers until ScanWaitMs is over.
    bool sendBroadcast_Add(const NetworkAdapter &adapter, std::span<const uint8_t> data);

    /// Broadcasts the IP change of \a device (by MAC) to \a text with the class
    /// mask of \a board. False with "IP Address bad format : " when the text is
    /// not an address that fits (checkNewAddress), or when the broadcast failed.
    bool changeIPAdd(const QLMCQuelmoDevice &device, const QLMCNetBoard &board,
                     const QString &text);
    /// The bytes of \a text when it is an address \a board's network can give.
    static std::optional<std::array<uint8_t, 4>> checkNewAddress(const QString &text,
                                                                 const QLMCNetBoard &board);

    /// Datagram intake: one received datagram from \a sender.
    void receiveDatagram(std::span<const uint8_t> datagram, const QString &sender);
    /// Decodes the data of one identify answer from \a sender.
    void receiveUDP_IPData(std::span<const uint8_t> data, const QString &sender);

    /// One ICMP echo (1000 ms) to \a address.
    PingResult testPing(const std::array<uint8_t, 4> &address);

    /// Unknown-variable answers since the last scan began.
    int unknownVariableCount() const { return m_unknownVariables; }
    /// Records dropped by the bounds since the last scan began (each bound is
    /// logged once per scan when first exceeded).
    const DroppedRecords &droppedRecords() const { return m_dropped; }
    /// Interfaces that failed in the last broadcast ("name: reason").
    const QStringList &failures() const { return m_failures; }

    const QLMCQuelmoDevice *findDevice(const QString &macText) const;
    /// After an IP change of \a macText to \a address: whether the last scan
    /// heard it from that address. Compared and reported as parsed bytes, so a
    /// field typed "021" is .21 in the check and in the text.
    ChangeCheck checkChange(const QString &macText, const std::array<uint8_t, 4> &address) const;
    const QLMCNetBoard *findBoard(const QString &ipText) const;
    /// True when \a ip lies in the real subnet of an adapter of BoardList.
    bool inAdapterSubnet(const std::array<uint8_t, 4> &ip) const;

private:
    void receiveModuleList(std::span<const uint8_t> data, const QString &sender);
    void receiveModuleIdentity(std::span<const uint8_t> data, const QString &sender);
    /// Lists \a record unless its MAC is listed already or the scan is full.
    void addDevice(QLMCQuelmoDevice &&record);
    void countOverDatagramBound(const QString &sender);

    DiscoveryNetwork &m_network;
    uint16_t m_port;
    int m_unknownVariables = 0;
    DroppedRecords m_dropped;
    int m_datagramRecords = 0;  ///< records of the datagram being taken in
    QSet<QString> m_listedMacs; ///< the MACText of every DeviceList record
    QStringList m_failures;
    std::vector<uint8_t> m_buffer;
};
