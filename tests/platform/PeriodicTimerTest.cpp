// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/PeriodicTimer.h"
#include "platform/AutoResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace std::chrono;

namespace {
double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}
} // namespace

TEST(PeriodicTimer, OneMillisecondTicksWakeAnEvent)
{
    AutoResetEvent event;
    PeriodicTimer timer([&] { event.set(); });
    timer.start(milliseconds(1));
    EXPECT_TRUE(timer.isRunning());
    int wakes = 0;
    const auto start = steady_clock::now();
    while (steady_clock::now() - start < milliseconds(300))
        wakes += event.wait(100) == WaitResult::Signalled;
    timer.stop();
    EXPECT_FALSE(timer.isRunning());
    // About 300 on an idle machine; a loaded one may lose some, never many more.
    EXPECT_GT(wakes, 100);
    EXPECT_LE(wakes, 305);
}

TEST(PeriodicTimer, CostOfAOneMillisecondTimerIsSmall)
{
    std::atomic<int> ticks{0};
    PeriodicTimer timer([&] { ++ticks; });
    const double cpuBefore = processCpuMs();
    const auto start = steady_clock::now();
    timer.start(milliseconds(1));
    std::this_thread::sleep_for(seconds(1));
    timer.stop();
    const double wallMs = duration<double, std::milli>(steady_clock::now() - start).count();
    const double cpuMs = processCpuMs() - cpuBefore;
    RecordProperty("ticks", ticks.load());
    RecordProperty("cpu_percent_x100", int(cpuMs / wallMs * 10000));
    std::printf("[ figures  ] 1 ms timer: %d ticks in %.0f ms, CPU %.2f %%\n", ticks.load(), wallMs,
                cpuMs / wallMs * 100.0);
    EXPECT_GT(ticks.load(), 300);
    EXPECT_LT(cpuMs / wallMs, 0.10);
}

TEST(PeriodicTimer, StopIsPromptDuringALongPeriod)
{
    std::atomic<int> ticks{0};
    PeriodicTimer timer([&] { ++ticks; });
    timer.start(seconds(30));
    std::this_thread::sleep_for(milliseconds(20));
    const auto start = steady_clock::now();
    timer.stop();
    EXPECT_LT(steady_clock::now() - start, milliseconds(500));
    EXPECT_EQ(ticks.load(), 0);
    // Destroying a stopped, restarted timer joins as promptly.
    timer.start(seconds(30));
}

TEST(PeriodicTimer, SetPeriodTakesEffectWhileRunning)
{
    std::atomic<int> ticks{0};
    PeriodicTimer timer([&] { ++ticks; });
    timer.start(seconds(30));
    std::this_thread::sleep_for(milliseconds(20));
    timer.setPeriod(milliseconds(5));
    EXPECT_EQ(timer.period(), milliseconds(5));
    const auto deadline = steady_clock::now() + seconds(5);
    while (ticks < 5 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    EXPECT_GE(ticks.load(), 5);
    timer.setPeriod(seconds(30));
    std::this_thread::sleep_for(milliseconds(20));
    const int settled = ticks.load();
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(ticks.load(), settled);
}

TEST(PeriodicTimer, SkipsTicksMissedDuringAStallInsteadOfBursting)
{
    std::mutex mutex;
    std::vector<steady_clock::time_point> times;
    PeriodicTimer timer([&] {
        std::lock_guard lock(mutex);
        times.push_back(steady_clock::now());
        if (times.size() == 3)
            std::this_thread::sleep_for(milliseconds(100));
    });
    timer.start(milliseconds(2));
    std::this_thread::sleep_for(milliseconds(250));
    timer.stop();
    std::lock_guard lock(mutex);
    ASSERT_GT(times.size(), 5u);
    // The first 20 ms after the stall hold about 10 ticks, not the ~50 missed ones.
    const auto after = times[2] + milliseconds(100);
    int inWindow = 0;
    for (const auto &t : times)
        inWindow += t >= after && t < after + milliseconds(20);
    EXPECT_LE(inWindow, 12);
    EXPECT_GE(timer.skippedTicks(), 40u);
}

TEST(PeriodicTimer, StopFromTheCallbackEndsTheTimer)
{
    std::atomic<int> ticks{0};
    PeriodicTimer *self = nullptr;
    PeriodicTimer timer([&] {
        if (++ticks == 3)
            self->stop();
    });
    self = &timer;
    timer.start(milliseconds(1));
    const auto deadline = steady_clock::now() + seconds(5);
    while (timer.isRunning() && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(ticks.load(), 3);
    timer.start(milliseconds(1)); // a stopped timer restarts
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_GT(ticks.load(), 3);
}
