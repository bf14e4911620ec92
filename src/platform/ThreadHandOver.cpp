// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/ThreadHandOver.h"

#include <QMetaObject>

#include <utility>

ThreadHandOver::ThreadHandOver(QObject *parent)
    : QObject(parent)
{}

void ThreadHandOver::post(std::function<void()> call)
{
    bool wake;
    {
        std::lock_guard guard(m_mutex);
        m_calls.push_back(std::move(call));
        wake = !std::exchange(m_wakePending, true);
        if (wake)
            ++m_wakeUps;
    }
    // The wake-up names the method, so Qt allocates and frees its event itself.
    if (wake)
        QMetaObject::invokeMethod(this, "runPending", Qt::QueuedConnection);
}

size_t ThreadHandOver::pending() const
{
    std::lock_guard guard(m_mutex);
    return m_calls.size();
}

size_t ThreadHandOver::wakeUps() const
{
    std::lock_guard guard(m_mutex);
    return m_wakeUps;
}

void ThreadHandOver::runPending()
{
    // A local list: a call may open a nested event loop that runs the next round.
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard guard(m_mutex);
        calls.swap(m_calls);
        m_wakePending = false;
    }
    for (std::function<void()> &call : calls)
        call();
    // The captured data is freed here, on the receiving thread.
}
