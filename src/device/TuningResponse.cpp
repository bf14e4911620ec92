// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/TuningResponse.h"

void TuningResponse::start(int64_t nowNs)
{
    m_ring.clear();
    m_ring.reserve(Capacity);
    m_head = 0;
    m_dropped = 0;
    m_startNs = nowNs;
    m_recording = true;
}

void TuningResponse::record(int64_t nowNs, int32_t position, int32_t speed, int32_t command)
{
    if (!m_recording)
        return;
    const TuningSample sample{double(nowNs - m_startNs) * 1e-9, position, speed, command};
    if (m_ring.size() < Capacity) {
        m_ring.push_back(sample);
        return;
    }
    m_ring[m_head] = sample;
    m_head = (m_head + 1) % Capacity;
    ++m_dropped;
}

std::vector<TuningSample> TuningResponse::samples() const
{
    std::vector<TuningSample> out;
    out.reserve(m_ring.size());
    for (size_t i = 0; i < m_ring.size(); ++i)
        out.push_back(m_ring[(m_head + i) % m_ring.size()]);
    return out;
}
