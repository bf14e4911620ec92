// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Stop latency: from the moment a STOP is asked for to the first byte of its
// write on the virtual controller's wire (the controller's receive time of the
// request, steady clock). The trigger is any callable run on the
// user-interface thread: the core call (bench_stop), or a button click or an
// Esc key in a window (a window variant passes its own trigger and the
// session its main window owns).

#include "sim/SimRequestLog.h"
#include "sim/SimServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace stopbench {

using Clock = std::chrono::steady_clock;

/// Listens on a virtual controller's wire for write requests carrying a payload.
class WireTap
{
public:
    explicit WireTap(SimServer &server)
        : m_log(std::make_shared<SimRequestLog>())
    {
        m_log->setCallback([this](const SimWireEvent &event) {
            if (event.kind != SimWireEvent::Kind::Request || event.function != 0x22)
                return;
            std::lock_guard guard(m_mutex);
            if (!m_seen && !m_payload.empty() && event.payload == m_payload
                && event.received >= m_since)
                m_seen = event.received;
        });
        server.setLog(m_log);
    }

    /// From now on, waits for a write of \a payload received after \a since.
    void expect(std::vector<uint8_t> payload, Clock::time_point since)
    {
        std::lock_guard guard(m_mutex);
        m_payload = std::move(payload);
        m_since = since;
        m_seen.reset();
    }
    std::optional<Clock::time_point> seen() const
    {
        std::lock_guard guard(m_mutex);
        return m_seen;
    }

private:
    std::shared_ptr<SimRequestLog> m_log;
    mutable std::mutex m_mutex;
    std::vector<uint8_t> m_payload;
    Clock::time_point m_since{};
    std::optional<Clock::time_point> m_seen;
};

/// Runs the event loop for \a ms milliseconds.
inline void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

/// \a count stops by \a trigger, each at a random moment 15..35 ms after the
/// previous one reached the wire; returns each latency in ms (a stop that did
/// not reach the wire within 2 s counts as 2000 ms).
inline std::vector<double> measure(WireTap &tap, const std::vector<uint8_t> &payload,
                                   const std::function<void()> &trigger, int count)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(15, 35);
    std::vector<double> latencies;
    latencies.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        spin(pause(random));
        const Clock::time_point asked = Clock::now();
        tap.expect(payload, asked);
        trigger();
        std::optional<Clock::time_point> seen;
        // The event loop runs (TCP answers are decoded on this thread), without
        // spinning: a busy wait here would take the CPU the sender needs.
        while (!(seen = tap.seen()) && Clock::now() - asked < std::chrono::seconds(2)) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        const Clock::time_point end = seen ? *seen : asked + std::chrono::seconds(2);
        latencies.push_back(std::chrono::duration<double, std::milli>(end - asked).count());
    }
    return latencies;
}

inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(p * double(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

} // namespace stopbench
