// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/DiscoveryNetwork.h"

#include <memory>

/// The network the tool's discovery uses: the machine's own, or, with the
/// environment variable TARVINE_DISCOVERY=loopback, the loopback network of
/// virtual controllers (range 127.0.0.1-127.0.0.253, or the range in
/// TARVINE_DISCOVERY_RANGE, e.g. "127.0.0.1-127.0.0.30").
std::unique_ptr<DiscoveryNetwork> makeDiscoveryNetwork();
