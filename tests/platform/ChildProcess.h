// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Helpers for tests that need a second process: the test executable starts itself
// again running only the test ChildProcess.DISABLED_Body, which runs the child body
// named after "--child" on the command line and ends the process with its result.
// ChildProcess.cpp, which holds that test, is compiled into each executable.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QString>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace child {

using Body = std::function<int(const std::vector<std::string> &args)>;

inline std::map<std::string, Body> &registry()
{
    static std::map<std::string, Body> bodies;
    return bodies;
}

struct Registration
{
    Registration(const std::string &name, Body body) { registry()[name] = std::move(body); }
};

/// Starts this executable as child \a name with \a args; returns its pid or -1.
inline pid_t spawn(const std::string &name, const std::vector<std::string> &args = {})
{
    std::vector<std::string> all{"/proc/self/exe", "--gtest_filter=ChildProcess.DISABLED_Body",
                                 "--gtest_also_run_disabled_tests", "--child", name};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &arg : all)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    // The child's own test report would only clutter the parent's.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

/// Waits for \a pid; its exit code, or 128 + signal when a signal ended it.
inline int wait(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return 128 + WTERMSIG(status);
}

/// Waits up to \a timeoutMs for \a path to exist.
inline bool waitForFile(const QString &path, int timeoutMs = 10000)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!QFile::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

inline void touch(const std::string &path)
{
    QFile file(QString::fromStdString(path));
    file.open(QIODevice::WriteOnly);
}

} // namespace child

#define TARVINE_CHILD(name)                                                                        \
    static int childBody_##name(const std::vector<std::string> &args);                             \
    static const child::Registration childRegistration_##name(#name, childBody_##name);            \
    static int childBody_##name(const std::vector<std::string> &args)
