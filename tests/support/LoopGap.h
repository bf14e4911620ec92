// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Measures how long the event loop of the calling thread goes without
// running: a 5 ms timer notes the largest interval between its ticks.
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace testsupport {

class LoopGapMeter
{
public:
    LoopGapMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
        restart();
        m_timer.start(5);
    }
    /// Forgets the gaps so far.
    void restart()
    {
        m_last = Clock::now();
        m_largest = {};
    }
    /// The largest interval between two ticks, in milliseconds.
    double largestMs() const
    {
        return std::chrono::duration<double, std::milli>(m_largest).count();
    }

private:
    using Clock = std::chrono::steady_clock;
    void tick()
    {
        const auto now = Clock::now();
        m_largest = std::max(m_largest, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    Clock::time_point m_last;
    Clock::duration m_largest{};
};

} // namespace testsupport
