// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "discovery/DiscoveryNetworkChoice.h"

#include "platform/LoopbackDiscoveryNetwork.h"
#include "platform/SystemDiscoveryNetwork.h"

#include <QByteArray>
#include <QtGlobal>

std::unique_ptr<DiscoveryNetwork> makeDiscoveryNetwork()
{
    if (qgetenv("TARVINE_DISCOVERY") != "loopback")
        return std::make_unique<SystemDiscoveryNetwork>();
    const auto range =
        LoopbackDiscoveryNetwork::parseRange(qgetenv("TARVINE_DISCOVERY_RANGE").toStdString());
    if (range)
        return std::make_unique<LoopbackDiscoveryNetwork>(
            std::vector<NetworkAdapter>{LoopbackDiscoveryNetwork::virtualAdapter()}, range->first,
            range->second);
    return std::make_unique<LoopbackDiscoveryNetwork>();
}
