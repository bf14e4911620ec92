// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/TThreadInputTimer.h"

#include "PanelTestSupport.h"
#include "panel/ConsignModel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

class InputTimerTest : public ::testing::Test
{
protected:
    InputTimerTest() { paneltest::grantAll(session); }

    QLMCSession session;
    ConsignModel model{session};

    std::mutex mutex;
    std::vector<AutoChangeUpdate> updates;

    void record(TThreadInputTimer &thread)
    {
        thread.setUpdateHandler([this](const AutoChangeUpdate &update) {
            std::lock_guard lock(mutex);
            updates.push_back(update);
        });
    }
    size_t updateCount()
    {
        std::lock_guard lock(mutex);
        return updates.size();
    }
    bool waitForTicks(const TThreadInputTimer &thread, uint64_t ticks)
    {
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (thread.ticks() < ticks) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }
};

} // namespace

TEST_F(InputTimerTest, RunsStepTicksOnlyWhileResumed)
{
    TThreadInputTimer thread(model);
    record(thread);
    thread.setPeriod(10);
    EXPECT_TRUE(thread.isSuspended()); // created suspended, and kept so
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(thread.ticks(), 0u);

    ASSERT_TRUE(model.stepEnter(QStringLiteral("300")) == StepEnterResult::Stored);
    model.selectAutoChange(AutoChange::Step);
    thread.resume();
    ASSERT_TRUE(waitForTicks(thread, 4));
    thread.suspend();
    // A tick in progress completes; then nothing more runs.
    std::this_thread::sleep_for(30ms);
    const uint64_t ticks = thread.ticks();
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(thread.ticks(), ticks);

    std::lock_guard lock(mutex);
    ASSERT_GE(updates.size(), 4u);
    const int32_t expected[] = {300, 600, 900, 1000};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(updates[i].consign, expected[i]);
        EXPECT_TRUE(updates[i].skipChangeEvent);
    }
    EXPECT_EQ(updates[3].trackPosition, 1000);
    // The "Step" tick wrote the consign itself, under the RegisterLock.
    EXPECT_TRUE(paneltest::pendingWrite(session, Reg::Input).has_value());
}

TEST_F(InputTimerTest, MinMaxHandsTheTrackBarEndsAndNoStopsAtOnce)
{
    TThreadInputTimer thread(model);
    record(thread);
    thread.setPeriod(10);
    model.selectAutoChange(AutoChange::MinMax);
    thread.resume();
    ASSERT_TRUE(waitForTicks(thread, 3));
    // "No" chosen while the thread runs: ticks go on until the suspension
    // is seen, but they hand over nothing more.
    model.selectAutoChange(AutoChange::No);
    ASSERT_TRUE(waitForTicks(thread, thread.ticks() + 2)); // a tick already computed
    const size_t handed = updateCount();
    ASSERT_TRUE(waitForTicks(thread, thread.ticks() + 2));
    EXPECT_EQ(updateCount(), handed);
    thread.suspend();

    std::lock_guard lock(mutex);
    ASSERT_GE(updates.size(), 3u);
    EXPECT_EQ(updates[0].trackPosition, 1000);
    EXPECT_EQ(updates[1].trackPosition, 0);
    EXPECT_EQ(updates[2].trackPosition, 1000);
    EXPECT_FALSE(updates[0].skipChangeEvent);
    EXPECT_FALSE(updates[0].consign.has_value());
}

TEST_F(InputTimerTest, PeriodChangeKeepsTheRunningStateAndTerminationIsPrompt)
{
    auto thread = std::make_unique<TThreadInputTimer>(model);
    record(*thread);
    model.selectAutoChange(AutoChange::MinMax);
    thread->resume();
    thread->setPeriod(20);
    EXPECT_FALSE(thread->isSuspended());
    EXPECT_EQ(thread->periodMs(), 20);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(waitForTicks(*thread, 5));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 60ms);

    // A long period and a suspended thread: ending it does not wait for a tick.
    thread->setPeriod(100000);
    thread->suspend();
    const auto ending = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - ending, 500ms);

    TThreadInputTimer running(model);
    running.setPeriod(100000);
    running.resume();
    const auto stopping = std::chrono::steady_clock::now();
    running.terminate();
    running.terminate();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 500ms);
}
