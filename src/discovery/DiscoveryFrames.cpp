// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "discovery/DiscoveryFrames.h"

#include "discovery/QLMCNetBoard.h"
#include "protocol/PacketChecksum.h"
#include "protocol/QLMCIPPacket.h"

#include <QStringList>

namespace DiscoveryFrames {

namespace {

std::vector<uint8_t> framed(int function, int transaction, const std::vector<uint8_t> &data)
{
    std::vector<uint8_t> out;
    out.reserve(6 + data.size() + 2); // header, data, checksum: one allocation
    for (const unsigned value : {unsigned(function), unsigned(transaction), unsigned(data.size())}) {
        out.push_back(uint8_t(value >> 8));
        out.push_back(uint8_t(value));
    }
    out.insert(out.end(), data.begin(), data.end());
    const uint16_t sum = PacketChecksum(out.data(), out.size());
    out.push_back(uint8_t(sum >> 8));
    out.push_back(uint8_t(sum));
    return out;
}

} // namespace

int variableSize(uint8_t code)
{
    switch (code) {
    case VarType:
        return 4;
    case VarMac:
        return 6;
    case VarVersion:
        return 4;
    case VarName:
        return 16;
    default:
        return -1;
    }
}

std::vector<uint8_t> identifyRequest()
{
    return framed(Function::Read, 0, {VarType, VarMac, VarVersion, VarName});
}

std::vector<uint8_t> changeIpRequest(const std::array<uint8_t, 6> &mac,
                                     const std::array<uint8_t, 4> &address,
                                     const std::array<uint8_t, 4> &mask)
{
    std::vector<uint8_t> data(mac.begin(), mac.end());
    data.insert(data.end(), address.begin(), address.end());
    data.insert(data.end(), mask.begin(), mask.end());
    return framed(Function::ChangeIp, 1, data);
}

bool testIPAddress(const QString &text, std::array<uint8_t, 4> &bytes)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 4)
        return false;
    std::array<uint8_t, 4> result{};
    for (int i = 0; i < 4; ++i) {
        const QString &field = fields[i];
        if (field.isEmpty())
            return false;
        int value = 0;
        for (const QChar c : field) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return false;
            value = value * 10 + (c.unicode() - '0');
            if (value > 255)
                return false;
        }
        result[size_t(i)] = uint8_t(value);
    }
    bytes = result;
    return true;
}

QString ipText(const std::array<uint8_t, 4> &b)
{
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

QString macText(const std::array<uint8_t, 6> &mac)
{
    QString text;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i)
            text += QLatin1Char('-');
        text += QStringLiteral("%1").arg(mac[i], 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

std::optional<std::array<uint8_t, 6>> parseMac(const QString &text)
{
    QString t = text;
    t.replace(QLatin1Char(':'), QLatin1Char('-'));
    const QStringList parts = t.split(QLatin1Char('-'));
    if (parts.size() != 6)
        return std::nullopt;
    std::array<uint8_t, 6> mac{};
    for (int i = 0; i < 6; ++i) {
        bool ok = false;
        const uint value = parts[i].toUInt(&ok, 16);
        if (!ok || parts[i].size() != 2 || value > 255)
            return std::nullopt;
        mac[size_t(i)] = uint8_t(value);
    }
    return mac;
}

std::array<uint8_t, 4> classMask(const std::array<uint8_t, 4> &address)
{
    if (address[0] < 128)
        return {255, 0, 0, 0};
    if (address[0] < 192)
        return {255, 255, 0, 0};
    return {255, 255, 255, 0};
}

bool acceptableNewAddress(const std::array<uint8_t, 4> &address, const QLMCNetBoard &board)
{
    if (address[0] == 0 || address[0] >= 224)
        return false;
    if (address[0] == 127 && !board.loopback)
        return false;
    const std::array<uint8_t, 4> mask =
        board.Mask == std::array<uint8_t, 4>{} ? classMask(board.IP) : board.Mask;
    bool allZero = true;
    bool allOne = true;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t host = address[i] & uint8_t(~mask[i]);
        allZero = allZero && host == 0;
        allOne = allOne && host == uint8_t(~mask[i]);
    }
    return !allZero && !allOne;
}

bool sameSubnet(const std::array<uint8_t, 4> &a, const std::array<uint8_t, 4> &b,
                const std::array<uint8_t, 4> &mask)
{
    for (size_t i = 0; i < 4; ++i) {
        if ((a[i] & mask[i]) != (b[i] & mask[i]))
            return false;
    }
    return true;
}

} // namespace DiscoveryFrames
