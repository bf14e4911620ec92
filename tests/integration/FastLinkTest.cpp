// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// A link that follows its own pace: urgent writes (STOP, auto-tuning abort)
// that do not wait behind a lost answer, late answers told apart by their
// transaction number, and the full wait kept for slow commands, against the
// in-process virtual controller.
#include "features/AutoTuningWizard.h"
#include "integration/SimFixture.h"
#include "link/QLMCThreadSendPacket.h"
#include "panel/ConsignModel.h"
#include "panel/DriverStop.h"
#include "panel/TThreadInputTimer.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace testsupport;

namespace {

using SteadyClock = std::chrono::steady_clock;

/// The receive time of the first request that carries \a payloadHex, if any.
std::optional<SteadyClock::time_point> requestReceived(const WireRecorder &wire,
                                                       const std::string &payloadHex)
{
    for (const SimWireEvent &request : wire.requests())
        if (request.function == 0x22 && hexText(request.payload) == payloadHex)
            return request.received;
    return std::nullopt;
}

/// Opens on a NETEC-A, identifies, and waits until the answer time-out
/// follows the link (enough answers measured).
void openMeasured(SimConnection &c)
{
    c.startDirect("NETEC-A");
    ASSERT_TRUE(c.openAndIdentify(ComModes::TcpDirect));
    ASSERT_TRUE(c.waitSettled());
    ASSERT_TRUE(waitFor([&] {
        return c.session.statistics().shown.answerTimeoutMs.load()
               < QLMCThreadSendPacket::AnswerTimeoutMs;
    }));
}

enum class Urgent { DriverStop, TuningAbort };

class UrgentOnALostAnswer : public ::testing::TestWithParam<Urgent>
{};

TEST_P(UrgentOnALostAnswer, ReachesTheWireWithoutWaitingOutTheTimeout)
{
    SimConnection c;
    openMeasured(c);
    ConsignModel consign(c.session);
    TThreadInputTimer autoChange(consign);
    consign.selectAutoChange(AutoChange::Step);
    autoChange.resume();
    AutoTuningWizard wizard;
    wizard.setConnected(true);
    wizard.identified(true);
    applyWizardRequests(c.session, wizard, wizard.startClicked(TuningKind::PidOnly));

    // Every answer is lost now, and each loss would hold the sender 3 s.
    c.session.RefreshRatio = 2;
    c.connection.setAnswerTimeoutFloorMs(QLMCThreadSendPacket::AnswerTimeoutMs);
    waitFor([] { return false; }, 100);
    c.server->faults().setDrop(SimFaultRate::always());
    waitFor([] { return false; }, 200);
    ASSERT_TRUE(c.connection.sender().awaitingAnswer());
    c.wire.clear();
    // Counted from here: on a loaded machine an answer may have come later
    // than the measured time-out before the floor went up.
    const CommStatistics &s = c.session.statistics();
    const int32_t timeoutsBefore = s.answerTimeouts;
    const int32_t cutBefore = s.waitsCutShort;

    const auto asked = SteadyClock::now();
    std::string expected;
    if (GetParam() == Urgent::DriverStop) {
        EXPECT_TRUE(driverStop(c.session, consign, autoChange));
        expected = "20 00";
        // The auto change is off in the core: the windows only show it.
        EXPECT_EQ(consign.autoChange(), AutoChange::No);
        EXPECT_TRUE(autoChange.isSuspended());
    } else {
        applyWizardRequests(c.session, wizard, wizard.startClicked(TuningKind::PidOnly));
        expected = "39 02";
    }
    std::optional<SteadyClock::time_point> received;
    ASSERT_TRUE(waitFor([&] { return (received = requestReceived(c.wire, expected)).has_value(); },
                        2000));
    EXPECT_LT(*received - asked, std::chrono::milliseconds(500));
    EXPECT_EQ(s.waitsCutShort - cutBefore, 1);
    EXPECT_EQ(s.answerTimeouts - timeoutsBefore, 0);
    autoChange.terminate();
}

INSTANTIATE_TEST_SUITE_P(Paths, UrgentOnALostAnswer,
                         ::testing::Values(Urgent::DriverStop, Urgent::TuningAbort),
                         [](const auto &info) {
                             return info.param == Urgent::DriverStop ? "DriverStop"
                                                                     : "TuningAbort";
                         });

TEST(LateAnswer, IsCountedAndNotDecodedIntoTheNextRequest)
{
    SimConnection c;
    openMeasured(c);
    c.session.RefreshRatio = 2; // a request is in flight when the late answer comes
    SimFaultSettings late;
    late.late = SimFaultRate::first(1);
    late.lateMs = 400;
    c.server->faults().setSettings(late);
    const uint64_t mark = c.session.answerSequence();
    {
        RegisterLockGuard guard(c.session.lock());
        c.session.motor().RequestRead(Reg::Kp);
    }
    // The first answer after the setting is held back 400 ms; the sender gives
    // its request up after a few ms and goes on.
    ASSERT_TRUE(waitFor([&] { return c.session.statistics().lateAnswers.load() >= 1; }, 2000));
    c.connection.setPollingEnabled(false);
    ASSERT_TRUE(c.waitSettled());
    const CommStatistics &s = c.session.statistics();
    // An answer to a request the sender gave up may still be on its way (on
    // a loaded machine, for longer than the answer time-out): wait for it.
    waitFor([&] {
        return int64_t(s.answersDecoded) + s.lateAnswers >= int64_t(c.server->stats().answers);
    }, 2000);
    EXPECT_GE(s.answerTimeouts, 1);
    // Every answer the controller sent was decoded as its own request's, or
    // counted late: none twice, none for another request.
    EXPECT_EQ(int64_t(s.answersDecoded) + s.lateAnswers, int64_t(c.server->stats().answers));
    RegisterLockGuard guard(c.session.lock());
    EXPECT_TRUE(c.session.motor().registerAt(Reg::Kp)->receivedAfter(mark));
}

TEST(SlowCommand, EepromSaveKeepsTheFullWait)
{
    SimConnection c;
    openMeasured(c);
    c.connection.setPollingEnabled(false);
    ASSERT_TRUE(c.waitSettled());
    SimFaultSettings slow;
    slow.lateOn = {Reg::SaveParams};
    slow.lateMs = 1500;
    c.server->faults().setSettings(slow);
    c.wire.clear();
    const int timeouts = c.session.statistics().answerTimeouts;
    const uint64_t mark = c.session.answerSequence();
    {
        RegisterLockGuard guard(c.session.lock());
        c.session.motor().RequestWrite(Reg::SaveParams, 0);
    }
    ASSERT_TRUE(waitFor(
        [&] {
            RegisterLockGuard guard(c.session.lock());
            return c.session.motor().registerAt(Reg::SaveParams)->WriteAnsweredSequence > mark;
        },
        3000));
    EXPECT_EQ(c.session.statistics().answerTimeouts, timeouts);
    EXPECT_EQ(c.session.statistics().lateAnswers, 0);
    // One request, sent once: nothing else went out while it took its time.
    const auto requests = c.wire.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(hexText(requests.front().payload), "03");
}

} // namespace
