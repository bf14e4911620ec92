// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AutoResetEvent.h"

#include <chrono>

void AutoResetEvent::set()
{
    {
        std::lock_guard lock(m_mutex);
        m_signalled = true;
    }
    m_condition.notify_one();
}

void AutoResetEvent::reset()
{
    std::lock_guard lock(m_mutex);
    m_signalled = false;
}

int AutoResetEvent::wait(int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    if (timeoutMs == WaitResult::Infinite) {
        m_condition.wait(lock, [this] { return m_signalled; });
    } else if (timeoutMs < 0) {
        return WaitResult::Failed;
    } else {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        if (!m_condition.wait_until(lock, deadline, [this] { return m_signalled; }))
            return WaitResult::Timeout;
    }
    m_signalled = false;
    return WaitResult::Signalled;
}
