// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/SpawnCommandRunner.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

bool SpawnCommandRunner::run(const QStringList &argv)
{
    if (argv.isEmpty() || argv.first().isEmpty())
        return false;
    std::vector<QByteArray> encoded;
    encoded.reserve(size_t(argv.size()));
    for (const QString &argument : argv)
        encoded.push_back(QFile::encodeName(argument));
    std::vector<char *> pointers;
    for (QByteArray &argument : encoded)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: a terminal hang-up or Ctrl-C aimed at us does not reach it.
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    sigset_t defaultSignals;
    sigemptyset(&defaultSignals);
    posix_spawnattr_setsigmask(&attributes, &defaultSignals);
    sigaddset(&defaultSignals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaultSignals);

    pid_t pid = -1;
    const int result =
        posix_spawnp(&pid, pointers[0], &actions, &attributes, pointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        return false;
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return true;
}

SpawnCommandRunner &SpawnCommandRunner::instance()
{
    static SpawnCommandRunner runner;
    return runner;
}
