// Discovery of 250 virtual controllers on loopback through one adapter: the
// engine's whole scan (it waits ScanWaitMs on the interface) and whether all
// were found; the floor is a bare socket doing the same 250 identify
// exchanges. Prints its figures; run by hand.
#include "base/Diagnostics.h"
#include "discovery/DiscoveryFrames.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "support/DiscoverySims.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>

#include <arpa/inet.h>
#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

/// Sends the identify request to each device and waits for all answers.
double bareExchanges(uint16_t port, int count)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int size = 4 << 20;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    const std::vector<uint8_t> request = DiscoveryFrames::identifyRequest();
    const auto start = Clock::now();
    for (int i = 1; i <= count; ++i) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl((127u << 24) | (2u << 8) | uint32_t(i));
        ::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr *>(&to),
                 sizeof to);
    }
    int received = 0;
    uint8_t buffer[2048];
    while (received < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            break;
        if (::recv(fd, buffer, sizeof buffer, 0) > 0)
            ++received;
    }
    const double took = ms(Clock::now() - start);
    ::close(fd);
    return received == count ? took : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    SetLogTarget(0, QStringLiteral("."), QStringLiteral("bench_discovery"));
    SetLogOptions(0, -2, false, true, QStringLiteral("bench_discovery"));
    constexpr int Count = 250;
    testsupport::DiscoverySims sims;
    for (int i = 1; i <= Count; ++i)
        sims.add(i, "NETEC-A", 2);
    LoopbackDiscoveryNetwork network({LoopbackDiscoveryNetwork::virtualAdapter()}, {127, 0, 2, 1},
                                     {127, 0, 2, Count});
    std::printf("devices: %d on one loopback adapter\n", Count);
    for (const int waitMs : {500, 100}) {
        QLMCScanQuelmoDevice engine(waitMs, network, sims.port);
        for (int round = 0; round < 3; ++round) {
            const auto start = Clock::now();
            engine.scanQuelmoDevice();
            const double took = ms(Clock::now() - start);
            std::printf("scan ScanWaitMs=%d: %zu found, %.1f ms (over the wait: %.1f ms)%s\n",
                        waitMs, engine.DeviceList.size(), took, took - waitMs,
                        engine.DeviceList.size() == size_t(Count) && took <= waitMs + 50
                            ? ""
                            : "  GOAL MISSED");
        }
    }
    for (int round = 0; round < 3; ++round)
        std::printf("floor: bare socket, %d exchanges: %.1f ms\n", Count,
                    bareExchanges(sims.port, Count));
    for (auto &s : sims.servers)
        s->stop();
    return 0;
}
