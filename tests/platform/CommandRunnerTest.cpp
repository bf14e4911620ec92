// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/RecordingCommandRunner.h"
#include "platform/SpawnCommandRunner.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(SpawnCommandRunner, StartsAHarmlessCommandWithoutWaiting)
{
    QTemporaryDir dir;
    const QString marker = dir.filePath("started");
    SpawnCommandRunner runner;
    ASSERT_TRUE(runner.run({"touch", marker}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!QFile::exists(marker) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(QFile::exists(marker));
    EXPECT_TRUE(runner.run({"/bin/true"}));
}

TEST(SpawnCommandRunner, ReportsWhatCannotStart)
{
    SpawnCommandRunner runner;
    EXPECT_FALSE(runner.run({}));
    EXPECT_FALSE(runner.run({""}));
    EXPECT_FALSE(runner.run({"tarvine-no-such-command-here"}));
    EXPECT_FALSE(runner.run({"/nonexistent/tool", "x"}));
}

TEST(RecordingCommandRunner, RecordsInsteadOfRunning)
{
    RecordingCommandRunner runner(false);
    CommandRunner &asInterface = runner;
    EXPECT_FALSE(asInterface.run({"systemctl", "reboot"}));
    runner.setResult(true);
    EXPECT_TRUE(asInterface.run({"ip", "neigh", "flush", "to", "127.0.0.2"}));
    ASSERT_EQ(runner.commands().size(), 2);
    EXPECT_EQ(runner.commands()[0], QStringList({"systemctl", "reboot"}));
}
