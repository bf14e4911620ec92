// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/AutoChangeTick.h"
#include "platform/AutoResetEvent.h"
#include "platform/PeriodicTimer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class ConsignModel;

/// The consign auto-change thread: woken by its own periodic timer, it runs one
/// auto-change tick of the consign model per period ("Min-Max" or "Step :") and
/// hands the control updates of the tick to the window.
///
/// Created suspended. Suspending and resuming are a flag and a condition
/// variable: a suspended thread waits for the resume and runs no tick; the
/// timer goes on setting the event meanwhile, so a resumed thread ticks at
/// once when a period passed. The register write of a "Step" tick is made here
/// by the model, under the RegisterLock; the update handler runs on this thread
/// and must pass the updates on to the user-interface thread without touching
/// any widget.
class TThreadInputTimer
{
public:
    static constexpr int DefaultPeriodMs = 1000;
    /// Called on the thread after every tick that moves the track bar.
    using UpdateHandler = std::function<void(const AutoChangeUpdate &update)>;

    /// Starts the thread, suspended, and its timer with the default period.
    explicit TThreadInputTimer(ConsignModel &model);
    /// Terminates the thread (see terminate()).
    ~TThreadInputTimer();
    TThreadInputTimer(const TThreadInputTimer &) = delete;
    TThreadInputTimer &operator=(const TThreadInputTimer &) = delete;

    /// Sets the handler of the tick updates (safe while the thread runs).
    void setUpdateHandler(UpdateHandler handler);

    /// The thread runs no more ticks until resumed; a tick in progress completes.
    void suspend();
    /// Lets the thread run its ticks again.
    void resume();
    bool isSuspended() const;

    /// Restarts the timer with a new period (ms, at least 1), keeping the
    /// thread's suspended state. The thread stays suspended while the timer is
    /// replaced.
    void setPeriod(int periodMs);
    int periodMs() const;

    /// Stops the timer first, then wakes the thread at once and waits for it to
    /// end. Idempotent; no tick runs afterwards.
    void terminate();

    /// Ticks run so far (for tests and measurements).
    uint64_t ticks() const { return m_ticks.load(); }

private:
    void Execute();
    /// Waits while suspended; false when the thread is to end.
    bool waitWhileSuspended();

    ConsignModel &m_model;
    // The event outlives the timer that sets it.
    AutoResetEvent m_event;
    PeriodicTimer m_timer;

    mutable std::mutex m_mutex;
    std::condition_variable m_resumed;
    bool m_suspended = true;
    bool m_terminated = false;
    int m_periodMs = DefaultPeriodMs;
    UpdateHandler m_handler;

    std::atomic<uint64_t> m_ticks{0};
    std::thread m_thread;
};
