// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/WaitResult.h"

#include <condition_variable>
#include <mutex>

/// An event that wakes one waiter per set() and then clears itself.
///
/// Sets do not count: two sets before a wait give one wake. Waiting on a set
/// event consumes it at once.
class AutoResetEvent
{
public:
    AutoResetEvent() = default;
    AutoResetEvent(const AutoResetEvent &) = delete;
    AutoResetEvent &operator=(const AutoResetEvent &) = delete;

    /// Signals the event: one current or future waiter returns Signalled.
    void set();
    /// Clears the event without waking anyone.
    void reset();
    /// Waits up to \a timeoutMs milliseconds (WaitResult::Infinite: no limit) and
    /// returns WaitResult::Signalled or WaitResult::Timeout. A negative time-out
    /// other than Infinite fails with WaitResult::Failed.
    int wait(int timeoutMs = WaitResult::Infinite);

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_signalled = false;
};
