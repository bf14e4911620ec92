// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReadCycleObserver.h"
#include "device/RegisterTable.h"

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <vector>

class QLMCSession;

/// One decoded read cycle with its decode time and the registers received in
/// this connection when it was decoded.
struct DecodedCycle
{
    ReceivedValues values;
    int64_t ticks = 0; ///< HighResCounter::now() at decode
    std::bitset<RegisterCount> received;
};

/// Keeps every read cycle a session decodes, for a command that reads them
/// at its own pace (tarvine-cli chart, step). The decoder appends under the
/// RegisterLock and never waits; past \a capacity cycles not taken yet the
/// newest are dropped and counted. Registers with the session while it lives.
class CycleCollector : public ReadCycleObserver
{
public:
    explicit CycleCollector(QLMCSession &session, size_t capacity = 1 << 16);
    ~CycleCollector() override;
    CycleCollector(const CycleCollector &) = delete;
    CycleCollector &operator=(const CycleCollector &) = delete;

    /// The cycles decoded since the last call, oldest first.
    std::vector<DecodedCycle> take();
    /// Cycles refused because the store was full.
    int64_t dropped() const;

    void readCycleDecoded(const ReceivedValues &values, int64_t ticks,
                          const QLMCIPMotor &image) override;

private:
    QLMCSession &m_session;
    size_t m_capacity;
    std::vector<DecodedCycle> m_cycles; ///< guarded by the RegisterLock
    int64_t m_dropped = 0;              ///< guarded by the RegisterLock
};
