// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Datagram intake and answer decoding of the discovery engine: pure over the
// received bytes, whatever host sent them.
#include "discovery/QLMCScanQuelmoDevice.h"

#include "base/Diagnostics.h"
#include "discovery/DiscoveryFrames.h"
#include "platform/Cp1252.h"
#include "protocol/PacketChecksum.h"

#include <QByteArrayView>

#include <optional>

namespace {

constexpr const char *Source = "ScanQuelmoModule";

uint16_t be16(const uint8_t *p)
{
    return uint16_t(p[0] << 8 | p[1]);
}

/// Version rule: a first byte of 0 means no hardware version ("-.-") and the
/// firmware version in bytes two and four.
void applyVersion(QLMCQuelmoDevice &device, const uint8_t *v)
{
    if (v[0] != 0) {
        device.HWVersion = {v[0], v[1]};
        device.FWVersion = {v[2], v[3]};
        device.HWVersionText = QStringLiteral("%1.%2").arg(v[0]).arg(v[1]);
    } else {
        device.HWVersion = {0, 0};
        device.FWVersion = {v[1], v[3]};
        device.HWVersionText = QStringLiteral("-.-");
    }
    device.FWVersionText =
        QStringLiteral("%1.%2").arg(device.FWVersion[0]).arg(device.FWVersion[1]);
}

/// The 16 name characters up to the first zero byte.
QString nameText(const uint8_t *name)
{
    size_t length = 0;
    while (length < 16 && name[length] != 0)
        ++length;
    return Cp1252::toUnicode(
        QByteArrayView(reinterpret_cast<const char *>(name), qsizetype(length)));
}

void setSender(QLMCQuelmoDevice &device, const QString &sender)
{
    device.IPText = sender;
    if (!DiscoveryFrames::testIPAddress(sender, device.IP))
        device.IP = {};
}

} // namespace

void QLMCScanQuelmoDevice::receiveDatagram(std::span<const uint8_t> datagram, const QString &sender)
{
    // Each frame: 6-byte header (function, transaction, length n), n data
    // bytes, checksum over header and data. A checksum mismatch drops the rest
    // of the datagram; a tail shorter than its frame is dropped.
    m_datagramRecords = 0;
    size_t offset = 0;
    while (datagram.size() - offset >= 8) {
        const uint8_t *frame = datagram.data() + offset;
        const size_t length = be16(frame + 4);
        const size_t total = 6 + length + 2;
        if (datagram.size() - offset < total)
            return;
        const uint16_t computed = PacketChecksum(frame, 6 + length);
        if (!checksumAccepted(computed, be16(frame + 6 + length)))
            return;
        const int function = be16(frame);
        const std::span<const uint8_t> data(frame + 6, length);
        if (length != 0) {
            switch (function) {
            case DiscoveryFrames::IdentifyAnswer:
                receiveUDP_IPData(data, sender);
                break;
            case DiscoveryFrames::ModuleListAnswer:
                receiveModuleList(data, sender);
                break;
            case DiscoveryFrames::ModuleIdentityAnswer:
                receiveModuleIdentity(data, sender);
                break;
            default:
                break;
            }
        }
        offset += total;
    }
}

void QLMCScanQuelmoDevice::receiveUDP_IPData(std::span<const uint8_t> data, const QString &sender)
{
    // Variables: a code byte, then its value. 0x00 opens a record, 0x11 and
    // 0x01 fill it, 0x15 closes it. A value running past the data ends the
    // answer; the record it was filling is dropped. Past the datagram's bound
    // a record is only walked and counted, never built.
    std::optional<QLMCQuelmoDevice> record;
    bool uncounted = false; // a record opened past the bound, not yet closed
    size_t i = 0;
    while (i < data.size()) {
        const uint8_t code = data[i];
        const int size = DiscoveryFrames::variableSize(code);
        if (size < 0) {
            ++m_unknownVariables;
            // The log's own outputs: the log file in the desktop tool, standard
            // error in tarvine-cli only with --verbose.
            LOG_ERROR(Source, "QLMCScanQuelmoDevice::receiveUDP_IPData",
                      QStringLiteral("Unknown variable in IP Packet. Code 0x%1 from %2")
                          .arg(code, 2, 16, QLatin1Char('0'))
                          .arg(sender));
            return;
        }
        if (data.size() - i - 1 < size_t(size))
            return;
        const uint8_t *value = data.data() + i + 1;
        i += 1 + size_t(size);
        if (code == DiscoveryFrames::VarType) {
            // A second type starts over: the unfinished record is dropped.
            record.reset();
            uncounted = m_datagramRecords >= MaxRecordsPerDatagram;
            if (uncounted)
                continue;
            record.emplace();
            record->TypeCode = be16(value);
            record->SubType = be16(value + 2);
            record->TypeText = QStringLiteral("%1.%2").arg(record->TypeCode).arg(record->SubType);
            continue;
        }
        if (uncounted && code == DiscoveryFrames::VarName) {
            uncounted = false;
            countOverDatagramBound(sender);
            continue;
        }
        if (!record)
            continue; // nothing to fill before a type
        if (code == DiscoveryFrames::VarMac) {
            std::copy_n(value, 6, record->MAC.begin());
            record->MACText = DiscoveryFrames::macText(record->MAC);
        } else if (code == DiscoveryFrames::VarVersion) {
            applyVersion(*record, value);
        } else if (code == DiscoveryFrames::VarName) {
            record->NameText = nameText(value);
            setSender(*record, sender);
            ++m_datagramRecords;
            addDevice(std::move(*record));
            record.reset();
        }
    }
}

void QLMCScanQuelmoDevice::addDevice(QLMCQuelmoDevice &&record)
{
    // The index follows DeviceList, which its users may clear or reorder.
    if (m_listedMacs.size() != qsizetype(DeviceList.size())) {
        m_listedMacs.clear();
        for (const QLMCQuelmoDevice &device : DeviceList)
            m_listedMacs.insert(device.MACText);
    }
    // A device seen twice (through two interfaces) keeps its first answer.
    if (m_listedMacs.contains(record.MACText))
        return;
    if (DeviceList.size() >= MaxDevicesPerScan) {
        if (m_dropped.overScanBound++ == 0)
            LOG_ERROR(Source, "QLMCScanQuelmoDevice::receiveUDP_IPData",
                      QStringLiteral("More than %1 devices answered: %2 and the later ones "
                                     "are not listed")
                          .arg(MaxDevicesPerScan)
                          .arg(record.MACText));
        return;
    }
    m_listedMacs.insert(record.MACText);
    DeviceList.push_back(std::move(record));
}

void QLMCScanQuelmoDevice::countOverDatagramBound(const QString &sender)
{
    if (m_dropped.overDatagramBound++ == 0)
        LOG_ERROR(Source, "QLMCScanQuelmoDevice::receiveUDP_IPData",
                  QStringLiteral("A datagram from %1 holds more than %2 device records: the "
                                 "rest are not listed")
                      .arg(sender)
                      .arg(MaxRecordsPerDatagram));
}

void QLMCScanQuelmoDevice::receiveModuleList(std::span<const uint8_t> data, const QString &sender)
{
    ModuleList.clear();
    for (const uint8_t address : data) {
        QLMCQuelmoDevice module;
        setSender(module, sender);
        module.ModuleAddress = address;
        module.ModuleAddressText = QString::number(address);
        ModuleList.push_back(std::move(module));
    }
}

void QLMCScanQuelmoDevice::receiveModuleIdentity(std::span<const uint8_t> data,
                                                 const QString &sender)
{
    // 27 bytes: type and sub-type, 0x87, four version bytes, 0x87, 16 name
    // characters, 0x87. The answer names no module: it updates the one module
    // of that sender, and nothing when the sender has none or several.
    if (data.size() != 27 || data[4] != 0x87 || data[9] != 0x87 || data[26] != 0x87)
        return;
    QLMCQuelmoDevice *match = nullptr;
    for (QLMCQuelmoDevice &module : ModuleList) {
        if (module.IPText != sender)
            continue;
        if (match)
            return;
        match = &module;
    }
    if (!match)
        return;
    match->TypeCode = be16(data.data());
    match->SubType = be16(data.data() + 2);
    match->TypeText = QStringLiteral("%1.%2").arg(match->TypeCode).arg(match->SubType);
    applyVersion(*match, data.data() + 5);
    match->NameText = nameText(data.data() + 10);
}
