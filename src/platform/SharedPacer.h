// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

class AutoResetEvent;

/// One 1 ms tick for every sender of the process.
///
/// Each member gives an event and a "due" test. On every tick the pacer's one
/// thread asks each member's test and sets the event of those that have work,
/// so a member with nothing to do is never woken and costs one test per tick.
/// With no member the thread sleeps until one is added. Ticks missed while the
/// thread ran late are skipped (the phase is kept), as with PeriodicTimer.
///
/// A due test runs on the pacer's thread with the pacer's mutex held: it reads
/// atomics only (no lock, no call back into the pacer).
class SharedPacer
{
public:
    static constexpr std::chrono::microseconds Period{1000};
    using Due = std::function<bool()>;

    /// The process's pacer (its thread starts with the first member; it lives
    /// until the process ends).
    static SharedPacer &instance();

    SharedPacer();
    ~SharedPacer();
    SharedPacer(const SharedPacer &) = delete;
    SharedPacer &operator=(const SharedPacer &) = delete;

    /// Adds a member: from the next tick on, \a event is set on every tick on
    /// which \a due returns true. Returns its key for remove().
    int add(Due due, AutoResetEvent &event);
    /// Removes a member; once this returns, its test is not asked again and
    /// its event not set.
    void remove(int key);

    /// Ticks run since the pacer was made (any thread).
    uint64_t ticks() const;
    /// Members now.
    size_t members() const;

private:
    struct Member
    {
        Due due;
        AutoResetEvent *event;
    };
    void run();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<int, Member> m_members;
    std::thread m_thread;
    int m_nextKey = 1;
    uint64_t m_ticks = 0;
    bool m_stop = false;
};
