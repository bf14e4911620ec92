// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/LogFileLock.h"
#include "platform/ChildProcess.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

std::string uniqueLockName(const char *what)
{
    return std::string("test_") + what + "_" + std::to_string(getpid());
}

// Removes the shared object of a test lock when the test ends.
struct LockName
{
    explicit LockName(const char *what)
        : name(uniqueLockName(what))
    {
        LogFileLock::removeObject(name);
    }
    ~LockName() { LogFileLock::removeObject(name); }
    std::string name;
};

} // namespace

// args: lock name, ready file, hold ms, "release" or "die"
TARVINE_CHILD(lock_holder)
{
    LogFileLock lock(args.at(0));
    if (!lock.create() || lock.wait(5000) != WaitResult::Signalled)
        return 2;
    child::touch(args.at(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(args.at(2))));
    if (args.at(3) == "die")
        _exit(0); // ends while holding the lock
    return lock.release() ? 0 : 3;
}

// args: lock name, counter file, rounds. Read-modify-write of a shared counter
// that loses counts unless the lock excludes the other process.
TARVINE_CHILD(lock_counter)
{
    LogFileLock lock(args.at(0));
    if (!lock.create())
        return 2;
    const QString path = QString::fromStdString(args.at(1));
    const int rounds = std::stoi(args.at(2));
    for (int i = 0; i < rounds; ++i) {
        if (lock.wait(10000) != WaitResult::Signalled)
            return 3;
        QFile file(path);
        file.open(QIODevice::ReadWrite);
        const int value = file.readAll().trimmed().toInt();
        std::this_thread::yield();
        file.resize(0);
        file.seek(0);
        file.write(QByteArray::number(value + 1));
        file.close();
        if (!lock.release())
            return 4;
    }
    return 0;
}

TEST(LogFileLock, ExcludesThreadsAndTimesOut)
{
    LockName name("threads");
    LogFileLock first(name.name);
    LogFileLock second(name.name);
    ASSERT_TRUE(first.create());
    ASSERT_TRUE(second.create());
    ASSERT_EQ(first.wait(1000), WaitResult::Signalled);

    std::atomic<int> result{999};
    std::thread other([&] { result = second.wait(50); });
    other.join();
    EXPECT_EQ(result.load(), WaitResult::Timeout);
    std::thread notOwner([&] { result = second.release() ? 1 : 0; });
    notOwner.join();
    EXPECT_EQ(result.load(), 0) << "a thread that does not hold the lock cannot release it";

    std::thread waiter([&] {
        result = second.wait(5000);
        second.release();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(first.release());
    waiter.join();
    EXPECT_EQ(result.load(), WaitResult::Signalled);
    EXPECT_FALSE(first.release());
}

TEST(LogFileLock, UnusableLockReportsFailure)
{
    LogFileLock lock(std::string(300, 'x'));
    EXPECT_FALSE(lock.create());
    EXPECT_FALSE(lock.isValid());
    EXPECT_NE(lock.errorCode(), 0);
    EXPECT_EQ(lock.wait(10), WaitResult::Failed);
    EXPECT_FALSE(lock.release());
}

TEST(LogFileLock, HolderInAnotherProcessGivesTimeoutThenSignalled)
{
    LockName name("timeout");
    QTemporaryDir dir;
    const std::string ready = (dir.path() + "/ready").toStdString();
    const pid_t pid = child::spawn("lock_holder", {name.name, ready, "800", "release"});
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(child::waitForFile(QString::fromStdString(ready)));

    LogFileLock lock(name.name);
    ASSERT_TRUE(lock.create());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(lock.wait(100), WaitResult::Timeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    EXPECT_FALSE(lock.release());
    EXPECT_EQ(lock.wait(10000), WaitResult::Signalled);
    EXPECT_TRUE(lock.release());
    EXPECT_EQ(child::wait(pid), 0);
}

TEST(LogFileLock, HolderThatDiesLeavesAnAbandonedLockThatStaysUsable)
{
    LockName name("abandoned");
    QTemporaryDir dir;
    const std::string ready = (dir.path() + "/ready").toStdString();
    const pid_t pid = child::spawn("lock_holder", {name.name, ready, "0", "die"});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(child::wait(pid), 0);
    ASSERT_TRUE(QFile::exists(QString::fromStdString(ready)));

    LogFileLock lock(name.name);
    ASSERT_TRUE(lock.create());
    EXPECT_EQ(lock.wait(1000), WaitResult::Abandoned);
    EXPECT_TRUE(lock.release());
    EXPECT_EQ(lock.wait(1000), WaitResult::Signalled);
    EXPECT_TRUE(lock.release());
}

TEST(LogFileLock, TwoProcessesNeverHoldItAtOnce)
{
    LockName name("counter");
    QTemporaryDir dir;
    const QString counter = dir.path() + "/counter";
    constexpr int Rounds = 300;
    const pid_t a =
        child::spawn("lock_counter", {name.name, counter.toStdString(), std::to_string(Rounds)});
    const pid_t b =
        child::spawn("lock_counter", {name.name, counter.toStdString(), std::to_string(Rounds)});
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(child::wait(a), 0);
    EXPECT_EQ(child::wait(b), 0);
    QFile file(counter);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toInt(), 2 * Rounds);
}
