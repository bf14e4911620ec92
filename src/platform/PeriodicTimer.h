// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

/// A thread that calls a callback once per period, sleeping to absolute deadlines.
///
/// Ticks missed while the callback ran late are skipped rather than caught up, so
/// a stalled callback is followed by normal spacing, not a burst. The callback
/// runs on the timer's own thread; it must not destroy the timer.
class PeriodicTimer
{
public:
    using Callback = std::function<void()>;

    explicit PeriodicTimer(Callback callback);
    ~PeriodicTimer();
    PeriodicTimer(const PeriodicTimer &) = delete;
    PeriodicTimer &operator=(const PeriodicTimer &) = delete;

    /// Starts ticking every \a period (at least 1 microsecond); the first tick comes
    /// one period from now. Restarts the timer when it runs already.
    void start(std::chrono::microseconds period);
    /// Stops the timer and waits for its thread; returns without delay even within a
    /// long period. Called from the callback, it only asks the thread to end.
    void stop();
    /// Changes the period; while running, the next tick comes one new period from now.
    void setPeriod(std::chrono::microseconds period);

    bool isRunning() const;
    std::chrono::microseconds period() const;
    /// Ticks skipped so far because the thread fell behind.
    uint64_t skippedTicks() const;

private:
    void run();
    void joinThread();

    Callback m_callback;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::thread m_thread;
    std::chrono::steady_clock::duration m_period{std::chrono::milliseconds(1)};
    bool m_stopRequested = false;
    bool m_periodChanged = false;
    bool m_running = false;
    uint64_t m_skipped = 0;
};
