// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SharedPacer.h"
#include "platform/AutoResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

TEST(SharedPacer, WakesOnlyTheMembersThatHaveWorkAndSleepsWithoutMembers)
{
    // The events outlive the pacer that sets them.
    AutoResetEvent busyEvent;
    AutoResetEvent idleEvent;
    SharedPacer pacer;
    std::atomic<bool> idleHasWork{false};
    std::atomic<int> idleAsked{0};
    const int busy = pacer.add([] { return true; }, busyEvent);
    const int idle = pacer.add(
        [&] {
            ++idleAsked;
            return idleHasWork.load();
        },
        idleEvent);
    EXPECT_EQ(busyEvent.wait(1000), WaitResult::Signalled);
    std::this_thread::sleep_for(20ms);
    EXPECT_GT(idleAsked.load(), 0);
    EXPECT_EQ(idleEvent.wait(0), WaitResult::Timeout); // asked, never woken
    idleHasWork = true;
    EXPECT_EQ(idleEvent.wait(1000), WaitResult::Signalled); // the next tick wakes it

    pacer.remove(idle);
    const int asked = idleAsked.load();
    idleEvent.reset();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(idleAsked.load(), asked); // removed: never asked again
    EXPECT_EQ(idleEvent.wait(0), WaitResult::Timeout);
    EXPECT_EQ(pacer.members(), 1u);

    // No member: the thread sleeps, the tick count stands.
    pacer.remove(busy);
    const uint64_t ticks = pacer.ticks();
    std::this_thread::sleep_for(20ms);
    EXPECT_LE(pacer.ticks(), ticks + 1);
    // A new member starts the ticks again.
    const int again = pacer.add([] { return true; }, busyEvent);
    busyEvent.reset();
    EXPECT_EQ(busyEvent.wait(1000), WaitResult::Signalled);
    pacer.remove(again);
}
