// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// End-to-end polling against the virtual controller: sender passes per
// second, read cycles per second, answer time percentiles and the tool's CPU
// time, beside a bare socket ping-pong with the same virtual controller.
//
// The virtual controller runs in a child process so that the CPU figures are
// the tool's alone. Then, in the same run, the read cycles per second with 5 %
// of the answers dropped against the clean link, at RefreshRatio 20 and 2:
// with the answer time-out that follows the link, and with the fixed 3000 ms
// wait for comparison. Usage: bench_polling [seconds per run, default 3]
#include "ChildController.h"
#include "device/QLMCSession.h"
#include "device/SessionListener.h"
#include "link/QLMCConnection.h"
#include "link/QLMCThreadSendPacket.h"
#include "protocol/PacketChecksum.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *Host = "127.0.0.77";

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t i = std::min(values.size() - 1, size_t(p * double(values.size())));
    return values[i];
}

// Records the answer time of every decoded answer (DisplayDivider 0 arms the
// display after each one, right after the answer time was stored).
class AnswerTimes : public SessionListener
{
public:
    QLMCSession *session = nullptr;
    std::vector<double> times;
    void armMainDisplay() override
    {
        times.push_back(session->statistics().shown.answerTimeMs.load());
    }
};

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct PollingFigures
{
    double passesPerSecond;
    double readsPerSecond;
    double answeredPerSecond; ///< decoded answers (all reads: nothing else is pending)
    double medianMs;
    double p99Ms;
    double cpuPercent;
    int timeoutMs; ///< the answer time-out in force at the end
    int timeouts;  ///< answers given up during the run
};

// A value no register of the virtual controller holds: what still carries it
// after the full read was never answered.
constexpr uint8_t Unanswered = 0xA5;

/// \a fixedTimeoutMs > 0: the answer time-out is that, whatever the link
/// (floor = ceiling), as before it followed the link.
PollingFigures runPolling(uint16_t port, int refreshRatio, int seconds, int fixedTimeoutMs = 0,
                          int *missing = nullptr)
{
    QLMCSession session;
    AnswerTimes times;
    times.session = &session;
    QLMCConnection connection(session, &times);
    if (fixedTimeoutMs > 0) {
        connection.setAnswerTimeoutMs(fixedTimeoutMs);
        connection.setAnswerTimeoutFloorMs(fixedTimeoutMs);
    }
    bool identified = false;
    QObject::connect(&connection, &QLMCConnection::identified, [&](const ModelProfile &) {
        identified = true;
        // Runs before the identification asks for every readable register.
        RegisterLockGuard guard(session.lock());
        for (QLMCRegister &reg : session.motor().registers())
            if (reg.Readable && reg.Address > 1)
                std::fill(reg.Value.begin(), reg.Value.end(), Unanswered);
    });
    connection.setPorts(port, port);
    connection.setComMode(0);
    connection.open(QString::fromLatin1(Host));
    QElapsedTimer t;
    t.start();
    while (!identified && t.elapsed() < 20000)
        spin(10);
    if (!identified) {
        std::fprintf(stderr, "bench_polling: no identification\n");
        std::exit(1);
    }
    // The full read after identification (the poll reads alongside).
    t.restart();
    spin(50);
    while (!connection.isSettled() && t.elapsed() < 60000)
        spin(10);
    if (missing) {
        *missing = 0;
        RegisterLockGuard guard(session.lock());
        for (const QLMCRegister &reg : session.motor().registers())
            if (reg.Readable && reg.Address > 1 && reg.Size > 0
                && std::all_of(reg.Value.begin(), reg.Value.end(),
                               [](uint8_t b) { return b == Unanswered; }))
                ++*missing;
    }
    session.RefreshRatio = refreshRatio;
    session.DisplayDivider = 0;
    spin(200);

    times.times.clear();
    const uint64_t passes0 = connection.sender().passes();
    const int reads0 = session.statistics().readRequestsSent;
    const int timeouts0 = session.statistics().answerTimeouts;
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(seconds * 1000);
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    PollingFigures f{};
    f.passesPerSecond = double(connection.sender().passes() - passes0) / elapsed;
    f.readsPerSecond = double(session.statistics().readRequestsSent - reads0) / elapsed;
    f.answeredPerSecond = double(times.times.size()) / elapsed;
    f.timeoutMs = session.statistics().shown.answerTimeoutMs.load();
    f.timeouts = session.statistics().answerTimeouts - timeouts0;
    f.medianMs = percentile(times.times, 0.5);
    f.p99Ms = percentile(times.times, 0.99);
    f.cpuPercent = 100.0 * cpu / elapsed;
    connection.closeFromMenu();
    spin(100);
    return f;
}

// One small request, one small answer, on a plain blocking socket; with
// \a pauseMs > 0 the requests are paced like the tool's reads, so both ends
// wake from idle for every pair.
std::vector<double> pingPong(uint16_t port, int seconds, int pauseMs = 0)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    inet_pton(AF_INET, Host, &peer.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&peer), sizeof peer) != 0) {
        std::perror("connect");
        std::exit(1);
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint8_t request[9] = {0x00, 0x21, 0x00, 0x00, 0x00, 0x01, 0x26, 0, 0};
    std::vector<double> times;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    uint16_t transaction = 0;
    uint8_t answer[64];
    while (std::chrono::steady_clock::now() < end) {
        request[2] = uint8_t(transaction >> 8);
        request[3] = uint8_t(transaction++);
        const uint16_t cs = PacketChecksum(request, 7);
        request[7] = uint8_t(cs >> 8);
        request[8] = uint8_t(cs);
        const auto t0 = std::chrono::steady_clock::now();
        ::send(fd, request, sizeof request, 0);
        size_t got = 0;
        while (got < 13) { // 6 header + 5 payload + 2 checksum
            const ssize_t n = ::recv(fd, answer + got, sizeof answer - got, 0);
            if (n <= 0)
                std::exit(1);
            got += size_t(n);
        }
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count());
        if (pauseMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
    ::close(fd);
    return times;
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const uint16_t port = 18610;

    const ChildController controller(Host, port);

    QCoreApplication app(argc, argv);
    const std::vector<double> floor = pingPong(port, seconds);
    std::printf("bare ping-pong: %.0f pairs/s, median %.3f ms, p99 %.3f ms\n",
                double(floor.size()) / seconds, percentile(floor, 0.5), percentile(floor, 0.99));
    for (int pause : {2, 20}) {
        const std::vector<double> paced = pingPong(port, seconds, pause);
        std::printf("bare ping-pong, one pair per %d ms: median %.3f ms, p99 %.3f ms\n", pause,
                    percentile(paced, 0.5), percentile(paced, 0.99));
    }
    for (int ratio : {2, 20}) {
        const PollingFigures f = runPolling(port, ratio, seconds);
        std::printf(
            "polling RefreshRatio %3d: %.0f passes/s, %.1f read cycles/s, answer median %.3f ms,"
            " p99 %.3f ms, tool CPU %.1f %% of one core\n",
            ratio, f.passesPerSecond, f.readsPerSecond, f.medianMs, f.p99Ms, f.cpuPercent);
    }
    {
        // 5 % of the answers dropped, beside the clean link in the same run.
        // The sender re-asks the one-shot reads of the identification; the
        // poll brings the live values back.
        const uint16_t lossyPort = port + 1;
        const ChildController lossy(Host, lossyPort, "NETEC-A", "drop=0.05");
        for (int ratio : {20, 2}) {
            const PollingFigures clean = runPolling(port, ratio, seconds);
            for (int fixedMs : {0, QLMCThreadSendPacket::AnswerTimeoutMs}) {
                int missing = -1;
                const PollingFigures f = runPolling(lossyPort, ratio, seconds, fixedMs, &missing);
                std::printf("polling RefreshRatio %3d, 5 %% answers dropped, %s: %.1f read cycles/s "
                            "(%.0f %% of the clean %.1f), %.1f answered/s (%.0f %% of %.1f), %d "
                            "lost, time-out %d ms, %d registers missing after identification\n",
                            ratio, fixedMs ? "fixed 3000 ms wait     " : "time-out follows link",
                            f.readsPerSecond, 100.0 * f.readsPerSecond / clean.readsPerSecond,
                            clean.readsPerSecond, f.answeredPerSecond,
                            100.0 * f.answeredPerSecond / clean.answeredPerSecond,
                            clean.answeredPerSecond, f.timeouts, f.timeoutMs, missing);
            }
        }
    }
    return 0;
}
