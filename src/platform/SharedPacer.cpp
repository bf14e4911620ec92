// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SharedPacer.h"

#include "platform/AutoResetEvent.h"

using std::chrono::steady_clock;

SharedPacer &SharedPacer::instance()
{
    // Never destroyed: a sender ending during the exit still finds it.
    static SharedPacer *const pacer = new SharedPacer;
    return *pacer;
}

SharedPacer::SharedPacer() = default;

SharedPacer::~SharedPacer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

int SharedPacer::add(Due due, AutoResetEvent &event)
{
    int key = 0;
    {
        std::lock_guard lock(m_mutex);
        key = m_nextKey++;
        m_members.emplace(key, Member{std::move(due), &event});
        if (!m_thread.joinable())
            m_thread = std::thread(&SharedPacer::run, this);
    }
    m_wake.notify_all();
    return key;
}

void SharedPacer::remove(int key)
{
    // The tick runs the tests with the mutex held: once it is ours, none runs.
    std::lock_guard lock(m_mutex);
    m_members.erase(key);
}

uint64_t SharedPacer::ticks() const
{
    std::lock_guard lock(m_mutex);
    return m_ticks;
}

size_t SharedPacer::members() const
{
    std::lock_guard lock(m_mutex);
    return m_members.size();
}

void SharedPacer::run()
{
    std::unique_lock lock(m_mutex);
    auto deadline = steady_clock::now() + Period;
    while (!m_stop) {
        if (m_members.empty()) {
            // Nobody to pace: sleep until a member comes, then tick from then.
            m_wake.wait(lock, [this] { return m_stop || !m_members.empty(); });
            deadline = steady_clock::now() + Period;
            continue;
        }
        if (m_wake.wait_until(lock, deadline, [this] { return m_stop; }))
            break;
        ++m_ticks;
        for (auto &[key, member] : m_members)
            if (member.due())
                member.event->set();
        const auto now = steady_clock::now();
        deadline += Period;
        if (deadline <= now)
            deadline += ((now - deadline) / Period + 1) * Period; // skip, keep the phase
    }
}
