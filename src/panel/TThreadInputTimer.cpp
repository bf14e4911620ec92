// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/TThreadInputTimer.h"

#include "base/Diagnostics.h"
#include "panel/ConsignModel.h"

#include <algorithm>

namespace {
const char *const ExecuteName = "TThreadInputTimer::Execute";
const QString TimerEventName = QStringLiteral("HevTimer SenPacket");
} // namespace

TThreadInputTimer::TThreadInputTimer(ConsignModel &model)
    : m_model(model)
    , m_timer([this] { m_event.set(); })
{
    m_timer.start(std::chrono::milliseconds(DefaultPeriodMs));
    m_thread = std::thread([this] { Execute(); });
}

TThreadInputTimer::~TThreadInputTimer()
{
    terminate();
}

void TThreadInputTimer::setUpdateHandler(UpdateHandler handler)
{
    std::lock_guard lock(m_mutex);
    m_handler = std::move(handler);
}

void TThreadInputTimer::suspend()
{
    std::lock_guard lock(m_mutex);
    m_suspended = true;
}

void TThreadInputTimer::resume()
{
    {
        std::lock_guard lock(m_mutex);
        m_suspended = false;
    }
    m_resumed.notify_all();
}

bool TThreadInputTimer::isSuspended() const
{
    std::lock_guard lock(m_mutex);
    return m_suspended;
}

void TThreadInputTimer::setPeriod(int periodMs)
{
    bool wasSuspended;
    {
        std::lock_guard lock(m_mutex);
        if (m_terminated)
            return;
        wasSuspended = m_suspended;
        m_suspended = true;
        m_periodMs = std::max(periodMs, 1);
    }
    m_timer.stop();
    m_timer.start(std::chrono::milliseconds(periodMs < 1 ? 1 : periodMs));
    if (!wasSuspended)
        resume();
}

int TThreadInputTimer::periodMs() const
{
    std::lock_guard lock(m_mutex);
    return m_periodMs;
}

void TThreadInputTimer::terminate()
{
    {
        std::lock_guard lock(m_mutex);
        m_terminated = true;
    }
    // No tick may set the event once the thread has ended.
    m_timer.stop();
    m_resumed.notify_all();
    m_event.set();
    if (m_thread.joinable())
        m_thread.join();
}

bool TThreadInputTimer::waitWhileSuspended()
{
    std::unique_lock lock(m_mutex);
    m_resumed.wait(lock, [this] { return !m_suspended || m_terminated; });
    return !m_terminated;
}

void TThreadInputTimer::Execute()
{
    while (waitWhileSuspended()) {
        ReportThreadEventWait(m_event.wait(WaitResult::Infinite), TimerEventName, ExecuteName);
        UpdateHandler handler;
        {
            std::lock_guard lock(m_mutex);
            if (m_terminated)
                break;
            // Suspended while waiting: this period belongs to no tick.
            if (m_suspended)
                continue;
            handler = m_handler;
        }
        const AutoChangeUpdate update = m_model.autoChangeTick();
        m_ticks.fetch_add(1);
        if (handler && update.moveTrackBar)
            handler(update);
    }
}
