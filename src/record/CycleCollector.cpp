// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/CycleCollector.h"

#include "device/QLMCIPMotor.h"
#include "device/QLMCSession.h"

CycleCollector::CycleCollector(QLMCSession &session, size_t capacity)
    : m_session(session)
    , m_capacity(capacity)
{
    m_session.addReadCycleObserver(this);
}

CycleCollector::~CycleCollector()
{
    m_session.removeReadCycleObserver(this);
}

std::vector<DecodedCycle> CycleCollector::take()
{
    std::vector<DecodedCycle> cycles;
    RegisterLockGuard guard(m_session.lock());
    cycles.swap(m_cycles);
    return cycles;
}

int64_t CycleCollector::dropped() const
{
    RegisterLockGuard guard(m_session.lock());
    return m_dropped;
}

void CycleCollector::readCycleDecoded(const ReceivedValues &values, int64_t ticks,
                                      const QLMCIPMotor &image)
{
    // Called with the RegisterLock held.
    if (m_cycles.size() >= m_capacity) {
        ++m_dropped;
        return;
    }
    DecodedCycle cycle{values, ticks, {}};
    for (int address = 0; address < RegisterCount; ++address)
        if (const QLMCRegister *reg = image.registerAt(address); reg && reg->received())
            cycle.received.set(size_t(address));
    m_cycles.push_back(cycle);
}
