// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QObject>

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

/// Hands calls from any thread to the thread this object lives on (the
/// user-interface thread). The calls wait in a queue guarded by our own mutex;
/// the receiving thread is woken once when the queue turns non-empty, and then
/// runs every call queued so far in order. Because the calls and their
/// captured data pass through the mutex, ThreadSanitizer sees the hand-over
/// from both sides; the wake-up itself carries no data.
class ThreadHandOver : public QObject
{
    Q_OBJECT

public:
    explicit ThreadHandOver(QObject *parent = nullptr);

    /// Queues \a call (any thread). A call posted from inside a call runs in
    /// the next round, after the wake-up it causes.
    void post(std::function<void()> call);
    /// Calls waiting to run.
    size_t pending() const;
    /// Wake-ups sent to the receiving thread so far (one per empty-to-non-empty turn).
    size_t wakeUps() const;

private:
    Q_INVOKABLE void runPending();

    mutable std::mutex m_mutex;
    std::vector<std::function<void()>> m_calls;
    bool m_wakePending = false;
    size_t m_wakeUps = 0;
};
