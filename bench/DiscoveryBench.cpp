// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Discovery on loopback through one adapter. 250 virtual controllers: the
// engine's whole scan (it waits ScanWaitMs on the interface) and whether all
// were found, against a bare socket doing the same 250 identify exchanges;
// then the scan window from "Scan" to "Scan finished". A flooding host that
// answers with 13,300 records in 10 datagrams: the same two figures and what
// the bounds dropped. And what intake and list cost without the network.
// Prints its figures; run by hand.
#include "app/AppWindows.h"
#include "base/Diagnostics.h"
#include "discovery/DiscoveryFrames.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "protocol/PacketChecksum.h"
#include "support/DiscoverySims.h"
#include "ui/discovery/DiscoveryListViews.h"
#include "ui/discovery/TFormScanUDP.h"

#include <QApplication>
#include <QLabel>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

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

/// An identify answer with \a count device records, MACs 00-50-C2-nn-nn-nn
/// from \a first on.
std::vector<uint8_t> identifyAnswer(int first, int count)
{
    std::vector<uint8_t> out{0x00, 0x23, 0x00, 0x00, 0x00, 0x00};
    for (int n = first; n < first + count; ++n) {
        const uint8_t rec[] = {0x00,
                               0x00,
                               0x06,
                               0x00,
                               0x04,
                               0x11,
                               0x00,
                               0x50,
                               0xC2,
                               uint8_t(n >> 16),
                               uint8_t(n >> 8),
                               uint8_t(n),
                               0x01,
                               0x00,
                               0x07,
                               0x00,
                               0x12,
                               0x15};
        out.insert(out.end(), std::begin(rec), std::end(rec));
        out.insert(out.end(), {'D', 'r', 'i', 'v', 'e'});
        out.insert(out.end(), 11, 0);
    }
    const size_t length = out.size() - 6;
    out[4] = uint8_t(length >> 8);
    out[5] = uint8_t(length);
    const uint16_t sum = PacketChecksum(out.data(), out.size());
    out.push_back(uint8_t(sum >> 8));
    out.push_back(uint8_t(sum));
    return out;
}

/// What the tool adds to the wait for \a count answers, without the network:
/// their intake (one datagram each) and the sorted rows of the list.
void listCost(int count)
{
    LoopbackDiscoveryNetwork none({}, {127, 0, 0, 1}, {127, 0, 0, 0});
    QLMCScanQuelmoDevice engine(0, none);
    std::vector<std::vector<uint8_t>> answers;
    for (int n = 0; n < count; ++n)
        answers.push_back(identifyAnswer(count - n, 1)); // arriving in falling MAC order
    engine.scanQuelmoDevice();
    const auto start = Clock::now();
    for (const auto &answer : answers)
        engine.receiveDatagram(answer, QStringLiteral("127.0.2.1"));
    const auto taken = Clock::now();
    QTreeWidget view;
    DiscoveryListViews::fillDevices(&view, engine);
    std::printf("%d answers without the network: intake %.2f ms, sorted list %.2f ms (%d rows)\n",
                count, ms(taken - start), ms(Clock::now() - taken), view.topLevelItemCount());
}

/// A host at 127.0.3.1 that answers every identify request with Datagrams
/// datagrams of RecordsEach device records, each with its own MAC.
class FloodHost
{
public:
    static constexpr int Datagrams = 10;
    static constexpr int RecordsEach = 1330;

    FloodHost()
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl((127u << 24) | (3u << 8) | 1u);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t length = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &length);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~FloodHost()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    uint16_t port() const { return m_port; }

private:
    void run()
    {
        uint8_t buffer[2048];
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            if (::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from),
                           &length)
                <= 0)
                continue;
            for (int d = 0; d < Datagrams; ++d) {
                const std::vector<uint8_t> bytes = identifyAnswer(d * RecordsEach, RecordsEach);
                ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&from),
                         length);
                // Paced, so that the receiving socket's buffer takes them all.
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
    }

    int m_fd = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

/// The scan window from "Scan" to "Scan finished", in milliseconds; \a rows
/// gets the rows it lists.
double windowScan(TFormScanUDP &window, int *rows)
{
    auto *state = window.findChild<QLabel *>(QStringLiteral("LStateUDP"));
    auto *list = window.findChild<QTreeWidget *>(QStringLiteral("LVDevices"));
    const auto start = Clock::now();
    window.BScanClick();
    while (state->text() != QLatin1String("Scan finished"))
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    const double took = ms(Clock::now() - start);
    *rows = list->topLevelItemCount();
    return took;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
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

    for (const int count : {250, int(QLMCScanQuelmoDevice::MaxDevicesPerScan)})
        listCost(count);

    constexpr int WaitMs = TFormScanUDP::ScanWaitMs;
    AppWindows windows;
    TFormScanUDP &window = windows.scanUDP();
    window.useNetwork(network, sims.port, WaitMs);
    for (int round = 0; round < 3; ++round) {
        int rows = 0;
        const double took = windowScan(window, &rows);
        std::printf("scan window, %d devices: %d rows, Scan to \"Scan finished\" %.1f ms (over "
                    "the wait: %.1f ms)%s\n",
                    Count, rows, took, took - WaitMs,
                    rows == Count && took <= WaitMs + 50 ? "" : "  GOAL MISSED");
    }
    for (auto &s : sims.servers)
        s->stop();

    FloodHost flood;
    LoopbackDiscoveryNetwork floodNetwork({LoopbackDiscoveryNetwork::virtualAdapter()},
                                          {127, 0, 3, 1}, {127, 0, 3, 1});
    std::printf("flood: one host answering %d records in %d datagrams\n",
                FloodHost::Datagrams * FloodHost::RecordsEach, FloodHost::Datagrams);
    QLMCScanQuelmoDevice engine(WaitMs, floodNetwork, flood.port());
    for (int round = 0; round < 3; ++round) {
        const auto start = Clock::now();
        engine.scanQuelmoDevice();
        const double took = ms(Clock::now() - start);
        std::printf("scan: %zu listed, %d dropped past %d per datagram, %.1f ms (over the wait: "
                    "%.1f ms)\n",
                    engine.DeviceList.size(), engine.droppedRecords().overDatagramBound,
                    QLMCScanQuelmoDevice::MaxRecordsPerDatagram, took, took - WaitMs);
    }
    window.useNetwork(floodNetwork, flood.port(), WaitMs);
    for (int round = 0; round < 3; ++round) {
        int rows = 0;
        const double took = windowScan(window, &rows);
        std::printf("scan window: %d rows, Scan to \"Scan finished\" %.1f ms (over the wait: "
                    "%.1f ms)\n",
                    rows, took, took - WaitMs);
    }
    return 0;
}
