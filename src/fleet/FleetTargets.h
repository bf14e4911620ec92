// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QByteArrayView>
#include <QString>

#include <vector>

struct QLMCQuelmoDevice;

/// One controller of a fleet run: its address and, behind a gateway, its
/// module; from discovery also the MAC and type it announced (used to name and
/// order the rows only; reported values come from the connection).
struct FleetTarget
{
    QString ip;
    int module = 0; ///< 0: a direct controller; 1..127: a module behind the gateway at ip
    QString discoveredMac;
    QString discoveredType;

    /// "127.0.0.1" or "127.0.0.1:17".
    QString label() const;
};

/// The targets, or why there are none.
struct FleetTargetList
{
    std::vector<FleetTarget> targets;
    QString error; ///< one line; empty when the list is good
};

namespace FleetTargets {

/// A hosts file holds at most this many lines and targets.
inline constexpr int MaxTargets = 1024;
/// A hosts file larger than this is refused unread.
inline constexpr qint64 MaxFileBytes = 64 * 1024;

/// One address ("A.B.C.D", each field 0..255) or address:module (1..127) per
/// line; blank lines and lines starting with '#' are skipped, spaces around a
/// line ignored. The first bad line ends the parse with "line N: ..." (the
/// text shown escaped). A target named twice is kept once.
FleetTargetList parseHosts(QByteArrayView bytes);
/// Reads and parses a hosts file (a regular file of at most MaxFileBytes).
FleetTargetList readHosts(const QString &path);
/// One target per discovered device, in MAC order.
std::vector<FleetTarget> fromDiscovery(const std::vector<QLMCQuelmoDevice> &devices);

} // namespace FleetTargets
