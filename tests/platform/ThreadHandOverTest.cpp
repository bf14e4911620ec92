// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/ThreadHandOver.h"
#include "support/WaitFor.h"

#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

TEST(ThreadHandOver, RunsCallsFromAnotherThreadInOrderWithOneWakeUpPerBatch)
{
    ThreadHandOver handOver;
    std::vector<std::string> ran;
    std::vector<bool> onOwnThread;
    std::thread sender([&] {
        for (int i = 0; i < 100; ++i)
            handOver.post([&, text = std::to_string(i)] {
                ran.push_back(text);
                onOwnThread.push_back(QThread::currentThread() == handOver.thread());
            });
    });
    sender.join();
    // Nothing runs before the receiving thread's event loop does.
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(handOver.pending(), 100u);
    EXPECT_EQ(handOver.wakeUps(), 1u);

    ASSERT_TRUE(testsupport::waitFor([&] { return ran.size() == 100; }, 2000));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(ran[size_t(i)], std::to_string(i));
    EXPECT_EQ(std::count(onOwnThread.begin(), onOwnThread.end(), true), 100);

    // A call posted while a round runs wakes the thread once more.
    handOver.post([&] { handOver.post([&] { ran.push_back("again"); }); });
    ASSERT_TRUE(testsupport::waitFor([&] { return ran.size() == 101; }, 2000));
    EXPECT_EQ(ran.back(), "again");
    EXPECT_EQ(handOver.wakeUps(), 3u);
    EXPECT_EQ(handOver.pending(), 0u);
}
