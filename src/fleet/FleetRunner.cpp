// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fleet/FleetRunner.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

QString FleetRow::field(const QString &name) const
{
    for (const auto &[key, value] : fields)
        if (key == name)
            return value;
    return {};
}

void FleetRow::setField(const QString &name, const QString &value)
{
    for (auto &[key, old] : fields)
        if (key == name) {
            old = value;
            return;
        }
    fields.emplace_back(name, value);
}

FleetRunner::FleetRunner(FleetSettings settings)
    : m_settings(settings)
{}

int FleetRunner::defaultJobs()
{
    const int processors = int(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(processors * 16, 16, 64);
}

int FleetRunner::jobs() const
{
    return m_settings.jobs > 0 ? m_settings.jobs : defaultJobs();
}

FleetRow FleetRunner::runOne(const FleetTarget &target, const Operation &operation) const
{
    FleetRow row;
    row.target = target;
    const auto deadline =
        FleetDevice::Clock::now() + std::chrono::milliseconds(m_settings.limitMs);
    FleetDevice device(target, m_settings, deadline);
    if (!device.open()) {
        row.status = device.status();
        row.reason = device.why();
        return row;
    }
    operation(device, row);
    return row;
}

std::vector<FleetRow> FleetRunner::run(const std::vector<FleetTarget> &targets,
                                       const Operation &operation, const Progress &progress) const
{
    const int total = int(targets.size());
    std::vector<FleetRow> rows(targets.size());
    std::atomic<int> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    int done = 0;
    int failed = 0;
    int exited = 0;

    // Each worker takes the next controller until none is left, then says so
    // under our mutex: the run returns after that, not on QThread::wait alone.
    auto work = [&] {
        for (int i = next++; i < total; i = next++) {
            FleetRow row = runOne(targets[size_t(i)], operation);
            std::lock_guard lock(mutex);
            failed += row.failed() ? 1 : 0;
            rows[size_t(i)] = std::move(row);
            ++done;
            finished.notify_all();
        }
        std::lock_guard lock(mutex);
        ++exited;
        finished.notify_all();
    };
    const int workers = std::min(jobs(), total);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < workers; ++i) {
        threads.emplace_back(QThread::create(work));
        threads.back()->start();
    }
    {
        std::unique_lock lock(mutex);
        while (done < total || exited < workers) {
            finished.wait_for(lock, std::chrono::milliseconds(200));
            if (progress) {
                const int d = done;
                const int f = failed;
                lock.unlock();
                progress(d, total, f);
                lock.lock();
            }
        }
    }
    for (auto &thread : threads)
        thread->wait();
    if (progress && total == 0)
        progress(0, 0, 0);
    return rows;
}
