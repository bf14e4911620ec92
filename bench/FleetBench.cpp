// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The fleet commands over many virtual controllers on loopback, run as the
// real tarvine-cli program (a child process, so its own peak memory and CPU
// time are measured): `fleet save` of 100 controllers (from a hosts file, and
// from discovery), `fleet send` of one controller's file to those 100, and
// `fleet list` of 250 discovered ones. Goals: the save and the send within 5 s
// and 300 MB, the list within the scan wait + 1 s.
// Prints its figures; run by hand: build/bench/bench_fleet
#include "sim/SimServer.h"
#include "support/DiscoverySims.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Figures
{
    int code = -1;
    double wallMs = 0;
    double cpuMs = 0;
    double peakMb = 0;
};

// Runs tarvine-cli with \a args, its output thrown away; its exit code, wall
// time, CPU time (user + system) and peak resident memory.
Figures runCli(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    std::string program = TARVINE_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string &a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Figures f;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        return f;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    f.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    f.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
              + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    f.peakMb = usage.ru_maxrss / 1024.0;
    posix_spawn_file_actions_destroy(&actions);
    return f;
}

void print(const char *what, const Figures &f, const char *goal)
{
    std::printf("%-46s exit %d  wall %7.0f ms  cpu %6.0f ms  peak %6.1f MB  (%s)\n", what, f.code,
                f.wallMs, f.cpuMs, f.peakMb, goal);
}

} // namespace

int main()
{
    constexpr int Count = 250;
    constexpr int Saved = 100;
    constexpr int WaitMs = 500;
    testsupport::DiscoverySims sims;
    sims.tcpOnSharedPort = true;
    try {
        sims.addRange(Count, 30);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_fleet: %s\n", e.what());
        return 1;
    }
    const uint16_t port = sims.port;
    std::vector<std::unique_ptr<SimServer>> &servers = sims.servers;
    QTemporaryDir dir;
    const std::string hosts = dir.filePath("hosts").toStdString();
    {
        std::ofstream file(hosts);
        for (int n = 1; n <= Saved; ++n)
            file << "127.0.30." << n << '\n';
    }
    const std::string portText = std::to_string(port);
    const std::string range100 = "127.0.30.1-127.0.30." + std::to_string(Saved);
    const std::string range250 = "127.0.30.1-127.0.30." + std::to_string(Count);
    const std::string wait = std::to_string(WaitMs);
    std::printf("bench_fleet: %d virtual controllers (NETEC-A) on 127.0.30.x, scan wait %d ms\n",
                Count, WaitMs);

    print("fleet save, 100 from a hosts file",
          runCli({"fleet", "save", dir.filePath("a").toStdString(), "--hosts", hosts, "--tcp-port",
                  portText}),
          "goal <= 5000 ms, <= 300 MB");
    // The file of controller 1 to all 100 (the change journal in the temporary folder).
    setenv("XDG_DATA_HOME", dir.path().toLocal8Bit().constData(), 1);
    unsetenv("USERPROFILE");
    servers[1]->controller()->raiseImageValue(0x33, 0x10000); // one of them differs
    print("fleet send, 100 from a hosts file",
          runCli({"fleet", "send", dir.filePath("a/Virtual-1_00-50-C2-00-00-01.qmc").toStdString(),
                  "--hosts", hosts, "--tcp-port", portText}),
          "goal <= 5000 ms, <= 300 MB");
    print("fleet save, 100 discovered (scan wait included)",
          runCli({"fleet", "save", dir.filePath("b").toStdString(), "--loopback", range100,
                  "--port", portText, "--tcp-port", portText, "--wait", wait}),
          "goal <= 5000 ms, <= 300 MB");
    print("fleet list, 250 discovered (scan wait included)",
          runCli({"fleet", "list", "--loopback", range250, "--port", portText, "--tcp-port",
                  portText, "--wait", wait}),
          "goal <= scan wait + 1000 ms = 1500 ms");
    for (auto &server : servers)
        server->stop();
    return 0;
}
