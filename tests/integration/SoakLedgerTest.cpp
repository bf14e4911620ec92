// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The soak's counter check over a short run of one phase, against the
// in-process virtual controller.
#include "integration/SimFixture.h"
#include "soak/SoakLedger.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

TEST(SoakLedger, UdpSplitPhaseOfManyRequestsAddsUp)
{
    // Every answer goes out in three datagrams: each piece is dropped, and the
    // request counts as one lost answer, not as three checksum errors.
    SimConnection c;
    c.startDirect("NETEC-A", 8);
    WireCounter wire;
    auto log = std::make_shared<SimRequestLog>();
    log->setCallback([&wire](const SimWireEvent &event) { wire.record(event); });
    c.server->setLog(log);
    ToolLedger ledger(c.session); // acknowledge errors come from the session's counter
    c.connection.setAnswerTimeoutMs(60);
    ASSERT_TRUE(c.openAndIdentify(ComModes::Udp));
    ledger.opened();
    ASSERT_TRUE(c.waitSettled());

    constexpr int Requests = 40;
    const PhaseMark start = PhaseMark::take(ledger, wire, 0);
    c.server->faults().setSplit(SimFaultRate::always(), 3, 5);
    ASSERT_TRUE(waitFor([&] { return ledger.now().sent() >= start.tool.sent() + Requests; },
                        Requests * 1000));
    // Settled as the soak settles a phase: a clean link, a few answers back.
    c.server->faults().clear();
    ASSERT_TRUE(waitFor(
        [&] {
            const ToolCounts now = ledger.now();
            return now.decoded >= start.tool.decoded + 3
                   && uint64_t(now.sent()) == wire.requests.load();
        },
        5000));

    const PhaseCheck check =
        PhaseCheck::between(SoakFault::Split, start, PhaseMark::take(ledger, wire, 0));
    EXPECT_EQ(check.verdict(), "");
    EXPECT_GE(check.tool.sent(), Requests);
    EXPECT_EQ(check.tool.checksumErrors, 0);
    EXPECT_GE(check.tool.datagramsDropped, Requests); // pieces that came within the wait
    EXPECT_GE(check.damaged, uint64_t(Requests - 2));
    EXPECT_GE(check.tool.unaccounted(), Requests - 3);
}

} // namespace
