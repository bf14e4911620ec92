// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/PeriodicTimer.h"

#include <algorithm>

using std::chrono::steady_clock;

PeriodicTimer::PeriodicTimer(Callback callback)
    : m_callback(std::move(callback))
{}

PeriodicTimer::~PeriodicTimer()
{
    stop();
    joinThread();
}

void PeriodicTimer::start(std::chrono::microseconds period)
{
    if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
        // Restarted from its own callback: the running loop carries on.
        {
            std::lock_guard lock(m_mutex);
            m_period = std::max<steady_clock::duration>(period, std::chrono::microseconds(1));
            m_stopRequested = false;
            m_periodChanged = true;
        }
        return;
    }
    stop();
    joinThread();
    std::lock_guard lock(m_mutex);
    m_period = std::max<steady_clock::duration>(period, std::chrono::microseconds(1));
    m_stopRequested = false;
    m_periodChanged = false;
    m_running = true;
    m_thread = std::thread(&PeriodicTimer::run, this);
}

void PeriodicTimer::stop()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_running)
            return;
        m_stopRequested = true;
    }
    m_wake.notify_all();
    if (m_thread.get_id() != std::this_thread::get_id())
        joinThread();
}

void PeriodicTimer::joinThread()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void PeriodicTimer::setPeriod(std::chrono::microseconds period)
{
    {
        std::lock_guard lock(m_mutex);
        m_period = std::max<steady_clock::duration>(period, std::chrono::microseconds(1));
        m_periodChanged = true;
    }
    m_wake.notify_all();
}

bool PeriodicTimer::isRunning() const
{
    std::lock_guard lock(m_mutex);
    return m_running && !m_stopRequested;
}

std::chrono::microseconds PeriodicTimer::period() const
{
    std::lock_guard lock(m_mutex);
    return std::chrono::duration_cast<std::chrono::microseconds>(m_period);
}

uint64_t PeriodicTimer::skippedTicks() const
{
    std::lock_guard lock(m_mutex);
    return m_skipped;
}

void PeriodicTimer::run()
{
    std::unique_lock lock(m_mutex);
    auto deadline = steady_clock::now() + m_period;
    for (;;) {
        // Sleeping on the condition variable to the absolute deadline lets stop()
        // and setPeriod() cut the sleep short.
        m_wake.wait_until(lock, deadline, [&] {
            return m_stopRequested || m_periodChanged || steady_clock::now() >= deadline;
        });
        if (m_stopRequested)
            break;
        if (m_periodChanged) {
            m_periodChanged = false;
            deadline = steady_clock::now() + m_period;
            continue;
        }
        const auto period = m_period;
        lock.unlock();
        m_callback();
        const auto now = steady_clock::now();
        lock.lock();
        deadline += period;
        if (deadline <= now) {
            // Behind schedule: drop the missed ticks and keep the phase.
            const auto missed = (now - deadline) / period + 1;
            deadline += missed * period;
            m_skipped += uint64_t(missed);
        }
    }
    m_running = false;
}
