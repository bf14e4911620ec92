// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/AutoResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono;

TEST(AutoResetEvent, OneWaitConsumesOneSetAndSetsDoNotCount)
{
    AutoResetEvent event;
    EXPECT_EQ(event.wait(0), WaitResult::Timeout);
    event.set();
    event.set();
    EXPECT_EQ(event.wait(0), WaitResult::Signalled);
    EXPECT_EQ(event.wait(0), WaitResult::Timeout);
    event.set();
    event.reset();
    EXPECT_EQ(event.wait(0), WaitResult::Timeout);
    EXPECT_EQ(event.wait(-5), WaitResult::Failed);
}

TEST(AutoResetEvent, TimeoutWaitsTheGivenTime)
{
    AutoResetEvent event;
    const auto start = steady_clock::now();
    EXPECT_EQ(event.wait(30), WaitResult::Timeout);
    EXPECT_GE(steady_clock::now() - start, milliseconds(30));
}

TEST(AutoResetEvent, SetFromAnotherThreadWakesTheInfiniteWait)
{
    AutoResetEvent event;
    std::thread setter([&] {
        std::this_thread::sleep_for(milliseconds(10));
        event.set();
    });
    EXPECT_EQ(event.wait(WaitResult::Infinite), WaitResult::Signalled);
    setter.join();
}

TEST(AutoResetEvent, EachSetWakesOneWaiter)
{
    AutoResetEvent event;
    std::atomic<int> woken{0};
    std::thread a([&] { woken += event.wait(5000) == WaitResult::Signalled; });
    std::thread b([&] { woken += event.wait(5000) == WaitResult::Signalled; });
    std::this_thread::sleep_for(milliseconds(20));
    event.set();
    const auto deadline = steady_clock::now() + seconds(5);
    while (woken == 0 && steady_clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(1));
    std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(woken.load(), 1);
    event.set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 2);
}

TEST(AutoResetEvent, HandshakeBetweenThreadsLosesNoWake)
{
    // Ping-pong as the sender thread and the answer path do it.
    AutoResetEvent request, answer;
    constexpr int Rounds = 2000;
    std::thread peer([&] {
        for (int i = 0; i < Rounds; ++i) {
            if (request.wait(5000) != WaitResult::Signalled)
                return;
            answer.set();
        }
    });
    int answered = 0;
    for (int i = 0; i < Rounds; ++i) {
        request.set();
        answered += answer.wait(5000) == WaitResult::Signalled;
    }
    peer.join();
    EXPECT_EQ(answered, Rounds);
}
