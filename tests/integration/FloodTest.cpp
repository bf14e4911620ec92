// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Peers that stream bytes or datagrams without pause: the event loop keeps
// beating, what is held stays bounded, and the connection ends with an error.
#include "base/Diagnostics.h"
#include "integration/SimFixture.h"
#include "platform/TcpClientSocket.h"
#include "protocol/PeerAllowance.h"
#include "support/FloodPeers.h"
#include "support/LoopGap.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace testsupport;

namespace {

constexpr const char *FloodAddress = "127.0.0.7";

/// Collects what the log reports as errors (from any thread).
class ErrorLog
{
public:
    ErrorLog()
    {
        ResetLogState();
        SetLogTarget(LogOutput::MessageBox, QStringLiteral("."), QStringLiteral("Tarvine"));
        SetLogMessageBoxHandler([this](const QString &, const QString &text, LogBoxIcon) {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_texts << text;
        });
    }
    ~ErrorLog() { ResetLogState(); }
    int count(const QString &part) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return int(m_texts.filter(part).size());
    }

private:
    mutable std::mutex m_mutex;
    QStringList m_texts;
};

struct FloodRow
{
    const char *name;
    FloodPeer::Kind kind;
    int mode;
    const char *status;
};

class FloodedConnection : public ::testing::TestWithParam<FloodRow>
{};

TEST_P(FloodedConnection, EndsWithTheErrorWhileTheEventLoopKeepsBeating)
{
    const FloodRow &row = GetParam();
    ErrorLog log;
    FloodPeer peer(row.kind, FloodAddress);
    ASSERT_TRUE(peer.listening());
    SimConnection c;
    c.connection.setAnswerTimeoutMs(250);
    c.connection.setPorts(peer.port(), peer.port());
    c.connection.setComMode(row.mode);
    LoopGapMeter gap;
    c.connection.open(QString::fromLatin1(FloodAddress));
    ASSERT_TRUE(waitFor([&] { return c.lastStatus(0) == QLatin1String(row.status); }, 5000))
        << c.lastStatus(0).toStdString();
    waitFor([] { return false; }, 300); // the peer goes on writing
    EXPECT_LT(gap.largestMs(), 100.0);

    EXPECT_EQ(c.connection.comMode(), ComModes::Closed);
    EXPECT_EQ(c.connection.failure().kind, LinkFailure::Kind::InputOverrun);
    EXPECT_TRUE(c.connection.failure().ended);
    const CommStatistics &s = c.session.statistics();
    EXPECT_EQ(s.inputOverruns, 1);
    EXPECT_EQ(s.answersDecoded, 0);
    // One request may bring a bounded number of datagrams (the flood is cut there).
    EXPECT_LE(s.receiveChunks, int(PeerBounds::DatagramsPerRequest) + 1);
    EXPECT_EQ(log.count(QStringLiteral("more than its answers could hold")), 1);
    EXPECT_GT(peer.bytesSent(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Peers, FloodedConnection,
    ::testing::Values(FloodRow{"Tcp", FloodPeer::Kind::Tcp, ComModes::TcpDirect, "TCP Error"},
                      FloodRow{"Gateway", FloodPeer::Kind::Tcp, ComModes::TcpGateway, "TCP Error"},
                      FloodRow{"Udp", FloodPeer::Kind::Udp, ComModes::Udp, "UDP Error"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FloodedSocket, ReadsABoundedShareAndHoldsABoundedBuffer)
{
    // The socket alone under a stream that never stops: while nobody takes
    // the bytes it holds no more than its limit; while they are taken, each
    // receive event reads a bounded amount and the event loop runs between.
    FloodPeer peer(FloodPeer::Kind::Tcp, FloodAddress);
    ASSERT_TRUE(peer.listening());
    constexpr size_t Pending = PeerBounds::PendingBytes;
    TcpClientSocket socket;
    socket.setReceiveLimits(PeerBounds::ReadPerEvent, Pending);
    bool draining = false;
    uint64_t taken = 0;
    int events = 0;
    QObject::connect(&socket, &TcpClientSocket::readyRead, [&] {
        ++events;
        if (draining)
            taken += uint64_t(socket.readAll().size());
    });
    ASSERT_TRUE(socket.open(QString::fromLatin1(FloodAddress), peer.port()));
    ASSERT_TRUE(waitFor([&] { return socket.isConnected(); }));

    LoopGapMeter gap;
    waitFor([] { return false; }, 300);
    EXPECT_EQ(socket.largestPending(), Pending);
    const int eventsHeld = events;
    waitFor([] { return false; }, 100);
    EXPECT_EQ(events, eventsHeld); // full: no more reading until the bytes are taken

    draining = true;
    taken += uint64_t(socket.readAll().size());
    waitFor([] { return false; }, 700);
    EXPECT_LT(gap.largestMs(), 100.0);
    EXPECT_LE(socket.largestPending(), Pending);
    EXPECT_GT(taken, uint64_t(10 * Pending)); // the stream went on flowing
    EXPECT_TRUE(socket.isConnected());
    socket.close();
}

} // namespace
