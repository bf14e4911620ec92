// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Notifications from the sender thread reach the windows on their own thread.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "ui/widgets/GuiSessionBridge.h"

#include <QTimer>

#include <atomic>

#include <thread>

using uitest::waitFor;

TEST(GuiSessionBridge, StartsDisplayTimersOnTheWindowThreadWithoutRestartingThem)
{
    GuiSessionBridge bridge;
    QTimer limits;
    limits.setSingleShot(true);
    limits.setInterval(10);
    int ticks = 0;
    QObject::connect(&limits, &QTimer::timeout, [&] { ++ticks; });
    bridge.setWindowDisplayTimer(SessionListener::Display::Options, &limits);
    std::vector<SessionListener::Display> requested;
    QObject::connect(&bridge, &GuiSessionBridge::windowDisplayRequested,
                     [&](SessionListener::Display window) { requested.push_back(window); });

    std::thread sender([&bridge] {
        bridge.startWindowDisplay(SessionListener::Display::Options);
        bridge.startWindowDisplay(SessionListener::Display::Options);
        bridge.startWindowDisplay(SessionListener::Display::Calibration);
    });
    sender.join();
    EXPECT_FALSE(limits.isActive()); // nothing happens before the window thread runs
    ASSERT_TRUE(waitFor([&] { return ticks > 0; }, 2000));
    waitFor([] { return false; }, 50);
    EXPECT_EQ(ticks, 1); // the second start found the timer running
    EXPECT_EQ(requested, std::vector<SessionListener::Display>(
                             {SessionListener::Display::Options, SessionListener::Display::Options,
                              SessionListener::Display::Calibration}));
}

TEST(GuiSessionBridge, CarriesSamplesAndValuesAsSignals)
{
    GuiSessionBridge bridge;
    std::vector<int32_t> positions;
    int limitsArrived = 0;
    std::vector<SessionListener::DirectValue> direct;
    QObject::connect(&bridge, &GuiSessionBridge::graphSampleArrived,
                     [&](const ReceivedValues &values) { positions.push_back(values.Position); });
    QObject::connect(&bridge, &GuiSessionBridge::limitsArrived, [&] { ++limitsArrived; });
    QObject::connect(&bridge, &GuiSessionBridge::directValueArrived,
                     [&](SessionListener::DirectValue value) { direct.push_back(value); });
    std::thread sender([&bridge] {
        ReceivedValues values;
        for (int32_t p = 1; p <= 3; ++p) {
            values.Position = p;
            bridge.graphSample(values, p);
        }
        bridge.limitsReceived();
        bridge.directValueReceived(SessionListener::DirectValue::DeviceName);
    });
    sender.join();
    ASSERT_TRUE(waitFor([&] { return !direct.empty(); }, 2000));
    EXPECT_EQ(positions, std::vector<int32_t>({1, 2, 3}));
    EXPECT_EQ(limitsArrived, 1);
    EXPECT_EQ(direct, std::vector<SessionListener::DirectValue>(
                          {SessionListener::DirectValue::DeviceName}));
}

TEST(MessageBoxes, BoxFromAnotherThreadIsShownOnTheWindowThreadAndWaitsForIt)
{
    MessageBoxRecorder boxes;
    std::atomic<bool> returned{false};
    std::thread worker([&returned] {
        MessageBoxes::showFromAnyThread(QStringLiteral("Tarvine error"), QStringLiteral("text"),
                                        MessageIcon::Warning);
        returned = true;
    });
    ASSERT_TRUE(waitFor([&] { return returned.load(); }, 2000));
    worker.join();
    const auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Tarvine error"));
    EXPECT_EQ(shown[0].icon, MessageIcon::Warning);
}
