// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fleet/FleetTargets.h"

#include "discovery/QLMCQuelmoDevice.h"
#include "platform/RegularFile.h"

#include <QSet>

#include <algorithm>

QString FleetTarget::label() const
{
    return module > 0 ? QStringLiteral("%1:%2").arg(ip).arg(module) : ip;
}

namespace {

// Printable ASCII as it is, every other byte as \xNN: a line is shown as read.
QString shown(QByteArrayView line)
{
    QString text;
    for (const char c : line.first(std::min<qsizetype>(line.size(), 80))) {
        const auto u = uint8_t(c);
        if (u >= 0x20 && u < 0x7F && c != '\\')
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    if (line.size() > 80)
        text += QStringLiteral("...");
    return text;
}

// A decimal field of at most \a digits digits, from \a min to \a max.
bool decimal(QByteArrayView text, int digits, int min, int max, int &value)
{
    if (text.isEmpty() || text.size() > digits)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return value >= min && value <= max;
}

bool parseLine(QByteArrayView line, FleetTarget &target)
{
    QByteArrayView address = line;
    const qsizetype colon = line.indexOf(':');
    if (colon >= 0) {
        address = line.first(colon);
        if (!decimal(line.sliced(colon + 1), 3, 1, 127, target.module))
            return false;
    }
    int fields = 0;
    QString ip;
    for (qsizetype start = 0; start <= address.size();) {
        qsizetype dot = address.indexOf('.', start);
        if (dot < 0)
            dot = address.size();
        int field = 0;
        if (!decimal(address.sliced(start, dot - start), 3, 0, 255, field))
            return false;
        ip += (fields++ ? QStringLiteral(".") : QString()) + QString::number(field);
        start = dot + 1;
    }
    if (fields != 4)
        return false;
    target.ip = ip;
    return true;
}

} // namespace

namespace FleetTargets {

FleetTargetList parseHosts(QByteArrayView bytes)
{
    FleetTargetList list;
    QSet<QString> seen;
    int number = 0;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        QByteArrayView line = bytes.sliced(start, end - start).trimmed();
        start = end + 1;
        if (++number > MaxTargets) {
            list.error = QStringLiteral("more than %1 lines").arg(MaxTargets);
            break;
        }
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        FleetTarget target;
        if (!parseLine(line, target)) {
            list.error = QStringLiteral("line %1: not an address or address:module (1..127): %2")
                             .arg(number)
                             .arg(shown(line));
            break;
        }
        if (!seen.contains(target.label())) {
            seen.insert(target.label());
            list.targets.push_back(target);
        }
    }
    if (!list.error.isEmpty())
        list.targets.clear();
    else if (list.targets.empty())
        list.error = QStringLiteral("no address in the file");
    return list;
}

FleetTargetList readHosts(const QString &path)
{
    const RegularFileRead read = readRegularFile(path, MaxFileBytes);
    FleetTargetList list;
    switch (read.status) {
    case RegularFileRead::Status::Read:
        if (read.bytes.size() > MaxFileBytes) {
            list.error = QStringLiteral("%1: larger than %2 bytes").arg(path).arg(MaxFileBytes);
            return list;
        }
        list = parseHosts(read.bytes);
        if (!list.error.isEmpty())
            list.error = path + QStringLiteral(": ") + list.error;
        return list;
    case RegularFileRead::Status::Missing:
        list.error = QStringLiteral("%1: no such file").arg(path);
        return list;
    case RegularFileRead::Status::NotRegular:
        list.error = QStringLiteral("%1: a %2, not a file").arg(path, read.detail);
        return list;
    case RegularFileRead::Status::Failed:
        break;
    }
    list.error = QStringLiteral("%1: %2").arg(path, read.detail);
    return list;
}

std::vector<FleetTarget> fromDiscovery(const std::vector<QLMCQuelmoDevice> &devices)
{
    std::vector<FleetTarget> targets;
    for (const QLMCQuelmoDevice &device : devices)
        targets.push_back({device.IPText, 0, device.MACText, device.TypeText});
    std::sort(targets.begin(), targets.end(), [](const FleetTarget &a, const FleetTarget &b) {
        return a.discoveredMac.toLatin1() < b.discoveredMac.toLatin1();
    });
    return targets;
}

} // namespace FleetTargets
