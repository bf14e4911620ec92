// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A peer that floods the tool: how long the event loop goes without running
// and how much memory the process holds while a loopback peer writes random
// bytes (TCP) or datagrams (UDP) without pause for N seconds.
//
// Two measurements per run:
// - "connection": the tool's core (session, connection, sender thread) opens
//   on the flooding peer, and opens again each time the flood closes the
//   connection ("TCP Error" / "UDP Error"), as a user pressing Open would;
// - "socket": the TCP client alone with its receive limits, its bytes taken
//   and dropped as they come, the stream never closed.
// Prints the largest gap between the ticks of a 5 ms timer on the event-loop
// thread, the resident memory at the start, largest and end, and the counts.
//
// Usage: bench_flood [seconds per measurement, default 10] [tcp|udp|socket|all]
#include "base/Diagnostics.h"
#include "device/QLMCSession.h"
#include "platform/TcpClientSocket.h"
#include "protocol/PeerAllowance.h"
#include "link/QLMCConnection.h"
#include "support/FloodPeers.h"
#include "support/LoopGap.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using testsupport::FloodPeer;
using testsupport::LoopGapMeter;

constexpr const char *Host = "127.0.0.83";

double rssMiB()
{
    long pages = 0;
    long resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

/// Spins the event loop for \a ms, calling \a step every turn and noting the
/// largest resident memory.
template <typename Step>
double spin(int ms, Step step)
{
    double largest = rssMiB();
    QElapsedTimer clock;
    clock.start();
    int turns = 0;
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        step();
        if (++turns % 64 == 0)
            largest = std::max(largest, rssMiB());
        QThread::usleep(200);
    }
    return std::max(largest, rssMiB());
}

void connectionRun(FloodPeer::Kind kind, int seconds)
{
    const bool udp = kind == FloodPeer::Kind::Udp;
    FloodPeer peer(kind, Host);
    if (!peer.listening()) {
        std::printf("flood %s: cannot listen on %s\n", udp ? "udp" : "tcp", Host);
        return;
    }
    QLMCSession session;
    QLMCConnection connection(session);
    connection.setPorts(peer.port(), peer.port());
    connection.setAnswerTimeoutMs(3000); // the desktop tool's
    int opens = 0;
    int overruns = 0;
    auto open = [&] {
        connection.setComMode(udp ? ComModes::Udp : ComModes::TcpDirect);
        connection.open(QString::fromLatin1(Host));
        ++opens;
    };
    const double rssStart = rssMiB();
    LoopGapMeter gap;
    open();
    bool closed = false;
    QObject::connect(&connection, &QLMCConnection::statusChanged,
                     [&](int panel, const QString &text) {
                         if (panel == 0 && text.endsWith(QLatin1String("Error")))
                             closed = true;
                     });
    const double rssLargest = spin(seconds * 1000, [&] {
        if (!closed)
            return;
        closed = false;
        overruns += session.statistics().inputOverruns.load(); // cleared by the next open
        open();
    });
    if (connection.isConnected())
        connection.closeFromMenu();
    spin(100, [] {});
    std::printf("flood %s connection: %d s, opens %d, closed on overrun %d, peer wrote %.1f MiB; "
                "largest event-loop gap %.1f ms; RSS %.1f MiB at start, %.1f MiB largest, "
                "%.1f MiB at end\n",
                udp ? "udp" : "tcp", seconds, opens, overruns,
                double(peer.bytesSent()) / (1024.0 * 1024.0), gap.largestMs(), rssStart,
                rssLargest, rssMiB());
    peer.stop();
}

void socketRun(int seconds)
{
    FloodPeer peer(FloodPeer::Kind::Tcp, Host);
    TcpClientSocket socket;
    socket.setReceiveLimits(PeerBounds::ReadPerEvent, PeerBounds::PendingBytes);
    uint64_t taken = 0;
    uint64_t events = 0;
    QObject::connect(&socket, &TcpClientSocket::readyRead, [&] {
        ++events;
        taken += uint64_t(socket.readAll().size());
    });
    if (!peer.listening() || !socket.open(QString::fromLatin1(Host), peer.port())) {
        std::printf("flood socket: cannot connect on %s\n", Host);
        return;
    }
    spin(200, [] {});
    const double rssStart = rssMiB();
    LoopGapMeter gap;
    const double rssLargest = spin(seconds * 1000, [] {});
    std::printf("flood tcp socket: %d s, taken %.1f MiB in %llu receive events (%.0f bytes "
                "each), largest held %zu bytes (limit %zu); largest event-loop gap %.1f ms; "
                "RSS %.1f MiB at start, %.1f MiB largest, %.1f MiB at end\n",
                seconds, double(taken) / (1024.0 * 1024.0),
                static_cast<unsigned long long>(events),
                events ? double(taken) / double(events) : 0.0, socket.largestPending(),
                PeerBounds::PendingBytes, gap.largestMs(), rssStart, rssLargest, rssMiB());
    socket.close();
    peer.stop();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Each closed flood logs one error: kept off the console, which would
    // measure the terminal.
    SetLogTarget(0, QStringLiteral("."), QStringLiteral("bench_flood"));
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const std::string which = argc > 2 ? argv[2] : "all";
    if (which != "all" && which != "tcp" && which != "udp" && which != "socket") {
        std::fprintf(stderr, "usage: bench_flood [seconds] [tcp|udp|socket|all]\n");
        return 64;
    }
    if (which == "all" || which == "tcp")
        connectionRun(FloodPeer::Kind::Tcp, seconds);
    if (which == "all" || which == "udp")
        connectionRun(FloodPeer::Kind::Udp, seconds);
    if (which == "all" || which == "socket")
        socketRun(seconds);
    return 0;
}
