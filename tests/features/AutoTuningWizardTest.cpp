// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The auto-tuning wizard: status table, pages and buttons, the edits' rules,
// the writes of a run and its response recorder.
#include "FeatureTestSupport.h"

#include "base/NumberText.h"
#include "device/QLMCSession.h"
#include "features/AutoTuningWizard.h"

#include <gtest/gtest.h>

using featuretest::takeRead;
using featuretest::takeWriteEntry;

namespace {

QString local(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

/// A wizard on step 4, connected, with a run of \a kind started.
AutoTuningWizard runningWizard(TuningKind kind)
{
    AutoTuningWizard w;
    w.setConnected(true);
    w.formShown();
    for (int i = 0; i < 4; ++i)
        w.next(QStringLiteral("1"), 120, true);
    EXPECT_EQ(w.step(), AutoTuningWizard::StartStep);
    w.startClicked(kind);
    return w;
}

} // namespace

TEST(AutoTuningWizard, StatusesWhileRunning)
{
    struct Case
    {
        uint8_t status;
        int step;
        bool stillRunning;
        QStringList lines;
        bool reset; ///< 0x39 = 0 written
    };
    const QStringList noSpeed{QStringLiteral("Error - Speed measured = 0")};
    const Case cases[] = {
        {0x00, 5, false, {QStringLiteral("Auto-tuning finished correctly.")}, false},
        {0x10, 5, false, {QStringLiteral("Auto-tuning finished correctly.")}, false},
        {0x13, 4, true, {}, false},
        {0x04, 5, false, {QStringLiteral("Error - Auto-tuning aborted.")}, true},
        {0x14, 5, false,
         noSpeed + QStringList{QStringLiteral("EC motor - no Hall sensors detected"),
                               QStringLiteral("DC motor - check encoder & winding")},
         true},
        {0x24, 5, false,
         noSpeed + QStringList{QStringLiteral("EC motor - Hall sensors detected"),
                               QStringLiteral("=> check winding lines"),
                               QStringLiteral("=> swap Hall sensors lines")},
         true},
        {0x34, 5, false,
         {QStringLiteral("Error - Oscillation measured"),
          QStringLiteral("EC motor - Hall sensors detected"),
          QStringLiteral("=> swap Hall sensors lines")},
         true},
        {0xF4, 5, false, {QStringLiteral("Error - not defined")}, true},
        {0x05, 4, true, {}, false},
    };
    for (const Case &c : cases) {
        AutoTuningWizard w = runningWizard(TuningKind::PidPredictive);
        const WizardRequests r = w.statusDecoded(c.status, [](int address) {
            return address != Reg::Kdff; // not granted: not re-read
        });
        SCOPED_TRACE(c.status);
        EXPECT_EQ(w.step(), c.step);
        EXPECT_EQ(w.running(), c.stillRunning);
        EXPECT_EQ(w.resultLines(), c.lines);
        EXPECT_EQ(w.runningText(),
                  c.status == 0x13 ? QStringLiteral("Running...") : QStringLiteral("----------"));
        const std::vector<WizardWrite> reset{{Reg::AutoTuning, 0}};
        EXPECT_EQ(r.writes, c.reset ? reset : std::vector<WizardWrite>());
        EXPECT_EQ(r.reads.size(), c.stillRunning ? 0u : 17u);
        if (!c.stillRunning) {
            EXPECT_EQ(r.reads.front(), Reg::Options);
            EXPECT_EQ(r.reads.back(), Reg::Kaff);
            EXPECT_TRUE(w.backEnabled());
        }
    }
}

TEST(AutoTuningWizard, FinalStatusWithoutRunChangesNothing)
{
    // 0x39 read at identification, from a file, or still in flight after the end.
    AutoTuningWizard w;
    w.setConnected(true);
    w.formShown();
    EXPECT_TRUE(w.statusDecoded(0x00, nullptr).empty());
    EXPECT_TRUE(w.statusDecoded(0x24, nullptr).empty());
    EXPECT_EQ(w.step(), 0);
    EXPECT_TRUE(w.resultLines().isEmpty());

    AutoTuningWizard run = runningWizard(TuningKind::PidOnly);
    EXPECT_EQ(run.statusDecoded(0x14, nullptr).writes.size(), 1u);
    const QStringList lines = run.resultLines();
    EXPECT_TRUE(run.statusDecoded(0x14, nullptr).empty()); // no second reset, no second advice
    EXPECT_EQ(run.resultLines(), lines);
}

TEST(AutoTuningWizard, StartAbortAndButtons)
{
    AutoTuningWizard w;
    w.setConnected(true);
    w.identified(true);
    w.formShown();
    for (int i = 0; i < 4; ++i)
        w.next(QStringLiteral("1"), 120, true);
    EXPECT_FALSE(w.nextEnabled());

    WizardRequests start = w.startClicked(TuningKind::PidPredictive);
    EXPECT_TRUE(start.runStarted);
    EXPECT_EQ(start.writes, (std::vector<WizardWrite>{{Reg::AutoTuning, 0x11}}));
    EXPECT_EQ(w.startCaption(TuningKind::PidPredictive), QStringLiteral("Abort"));
    EXPECT_FALSE(w.startEnabled(TuningKind::PidOnly));
    EXPECT_FALSE(w.backEnabled()); // no Back during a run
    w.back();
    EXPECT_EQ(w.step(), AutoTuningWizard::StartStep);
    // Reopening the window mid-run keeps step 4 and "Abort".
    w.formShown();
    EXPECT_EQ(w.step(), AutoTuningWizard::StartStep);
    EXPECT_EQ(w.startCaption(TuningKind::PidPredictive), QStringLiteral("Abort"));
    EXPECT_TRUE(w.startClicked(TuningKind::PidOnly).empty());

    EXPECT_EQ(w.startClicked(TuningKind::PidPredictive).writes,
              (std::vector<WizardWrite>{{Reg::AutoTuning, 0x12}}));
    w.statusDecoded(0x04, nullptr);
    EXPECT_EQ(w.resultLines(), QStringList{QStringLiteral("Error - Auto-tuning aborted.")});
    // Back to step 4: "Start PID only" enabled again.
    w.back();
    EXPECT_EQ(w.step(), AutoTuningWizard::StartStep);
    EXPECT_TRUE(w.startEnabled(TuningKind::PidOnly));
    EXPECT_EQ(w.startCaption(TuningKind::PidPredictive), QStringLiteral("Start PID + Predictive"));

    // A PID-only run leaves the predictive button off until the next identification.
    EXPECT_EQ(w.startClicked(TuningKind::PidOnly).writes,
              (std::vector<WizardWrite>{{Reg::AutoTuning, 0x01}}));
    EXPECT_EQ(w.startClicked(TuningKind::PidOnly).writes,
              (std::vector<WizardWrite>{{Reg::AutoTuning, 0x02}}));
    w.statusDecoded(0x00, nullptr);
    w.back();
    EXPECT_FALSE(w.startEnabled(TuningKind::PidPredictive));
    w.identified(true);
    EXPECT_TRUE(w.startEnabled(TuningKind::PidPredictive));
    w.setConnected(false);
    EXPECT_FALSE(w.startEnabled(TuningKind::PidOnly));
}

TEST(AutoTuningWizard, ARunEndsWithItsConnection)
{
    for (const TuningKind kind : {TuningKind::PidOnly, TuningKind::PidPredictive}) {
        AutoTuningWizard w = runningWizard(kind);
        w.statusDecoded(0x03, nullptr);
        ASSERT_EQ(w.runningText(), QStringLiteral("Running..."));
        const WizardRequests closed = w.setConnected(false);
        EXPECT_TRUE(closed.runEnded);
        EXPECT_TRUE(closed.writes.empty()); // the device is gone: nothing to send
        EXPECT_TRUE(closed.reads.empty());
        EXPECT_FALSE(w.running());
        EXPECT_EQ(w.step(), AutoTuningWizard::ResultStep);
        EXPECT_EQ(w.resultLines(), QStringList{AutoTuningWizard::connectionClosedLine()});
        EXPECT_TRUE(w.backEnabled());
        // The next connection's controller reads 0 ("finished"): not this run's end.
        w.setConnected(true);
        EXPECT_TRUE(w.statusDecoded(0x00, nullptr).empty());
        EXPECT_EQ(w.resultLines(), QStringList{AutoTuningWizard::connectionClosedLine()});
        w.back();
        EXPECT_EQ(w.step(), AutoTuningWizard::StartStep);
        EXPECT_TRUE(w.startEnabled(TuningKind::PidOnly));
        EXPECT_EQ(w.runningText(), QStringLiteral("----------"));
    }
    // A closed connection without a run ends nothing.
    AutoTuningWizard idle;
    idle.setConnected(true);
    EXPECT_FALSE(idle.setConnected(false).runEnded);
    // "Running..." belongs to a run: a running status decoded without one shows nothing.
    idle.setConnected(true);
    idle.statusDecoded(0x13, nullptr);
    EXPECT_EQ(idle.runningText(), QStringLiteral("----------"));
}

TEST(AutoTuningWizard, CurrentEdit)
{
    const int32_t max15 = 15 * 65536;
    struct Case
    {
        QString text;
        std::optional<int32_t> raw;
    };
    const Case cases[] = {
        {local(QStringLiteral("1.5")), 0x18000},
        {local(QStringLiteral("0.0")), 0},
        {QStringLiteral("15"), max15},
        {QStringLiteral("16"), std::nullopt},
        {local(QStringLiteral("15.00001")), std::nullopt}, // above before truncation
        {QStringLiteral("-1"), std::nullopt},
        {QStringLiteral("nan"), std::nullopt},
        {QStringLiteral("inf"), std::nullopt},
        {QStringLiteral("1e1"), std::nullopt},
        {QString(), std::nullopt},
        {local(QStringLiteral(".")), std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(AutoTuningWizard::currentRaw(c.text, max15), c.raw) << c.text.toStdString();
    EXPECT_EQ(AutoTuningWizard::cutCurrentText(local(QStringLiteral("1.1234567"))),
              local(QStringLiteral("1.12345")));
    EXPECT_EQ(AutoTuningWizard::cutCurrentText(local(QStringLiteral("1.12345"))),
              local(QStringLiteral("1.12345")));

    // "Next ->" on step 2 with 16 A against 15 A does not advance.
    AutoTuningWizard w;
    w.setMaxPeakCurrent(max15);
    w.formShown();
    w.next({}, 0, false);
    w.next({}, 0, false);
    ASSERT_EQ(w.step(), AutoTuningWizard::CurrentStep);
    w.currentTextChanged(QStringLiteral("16"));
    EXPECT_FALSE(w.nextEnabled());
    EXPECT_TRUE(w.next(QStringLiteral("16"), 0, false).empty());
    EXPECT_EQ(w.step(), AutoTuningWizard::CurrentStep);
    w.currentTextChanged(local(QStringLiteral("1.5")));
    EXPECT_TRUE(w.nextEnabled());
}

TEST(AutoTuningWizard, StepWritesOnTheImage)
{
    QLMCSession session;
    AutoTuningWizard w;
    w.setConnected(true);
    w.formShown();
    w.next({}, 0, false);
    w.next({}, 0, false);
    applyWizardRequests(session, w, w.next(local(QStringLiteral("1.5")), 0, false));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::CurrentMax), "2A 00 01 80 00");
    applyWizardRequests(session, w, w.next({}, 120, true));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::MaxOutputVoltage), "2E 00 0C 00 00");
    EXPECT_EQ(AutoTuningWizard::outputVoltageRaw(120, false), -1);
    EXPECT_EQ(AutoTuningWizard::outputVoltageRaw(55, true), 360448); // 5.5 V

    // The start sets AutoTuningActive in the same hold and starts the recorder.
    applyWizardRequests(session, w, w.startClicked(TuningKind::PidPredictive));
    EXPECT_TRUE(session.AutoTuningActive.load());
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::AutoTuning), "39 11");
    applyWizardRequests(session, w, w.startClicked(TuningKind::PidPredictive));
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::AutoTuning), "39 12");

    // Answers carrying the command are stamped while the run goes on.
    session.connection().ComMode = ComModes::TcpDirect;
    QLMCIPPacket live;
    const uint8_t payload[] = {0x28, 0, 0, 0, 5, 0x32, 0xFF, 0xFF, 0xFF, 0xF6};
    std::copy(std::begin(payload), std::end(payload), live.Data.begin());
    live.Function = 0x21;
    live.Length = int(sizeof payload);
    session.DataReceived(live);
    applyWizardRequests(session, w, w.statusDecoded(0x04, [&](int address) {
        return session.motor().registerAt(address)->Readable;
    }));
    EXPECT_FALSE(session.AutoTuningActive.load());
    EXPECT_EQ(takeWriteEntry(session.motor(), Reg::AutoTuning), "39 00");
    EXPECT_FALSE(takeRead(session.motor(), Reg::Kp)); // nothing granted yet
    session.DataReceived(live); // after the end: not recorded
    RegisterLockGuard guard(session.lock());
    const std::vector<TuningSample> samples = session.TuningRecorder.samples();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples[0].speed, 5);
    EXPECT_EQ(samples[0].command, -10);
}

TEST(TuningResponse, KeepsTheNewestWhenFull)
{
    TuningResponse recorder;
    recorder.record(0, 1, 1, 1); // not started: dropped silently
    recorder.start(1'000'000'000);
    for (int i = 0; i < int(TuningResponse::Capacity) + 3; ++i)
        recorder.record(1'000'000'000 + int64_t(i) * 1'000'000, i, 0, 0);
    const std::vector<TuningSample> samples = recorder.samples();
    ASSERT_EQ(samples.size(), TuningResponse::Capacity);
    EXPECT_EQ(samples.front().position, 3);
    EXPECT_EQ(samples.back().position, int(TuningResponse::Capacity) + 2);
    EXPECT_NEAR(samples.front().seconds, 0.003, 1e-9);
    EXPECT_EQ(recorder.dropped(), 3u);
}
