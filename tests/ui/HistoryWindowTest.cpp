// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The change history window and the auto-tuning's "Restore previous values"
// on the virtual controller (NETEC-A, in-process on a loopback address): the
// device holds the values before again, read back over the wire, and the
// journal has one line per change. TARVINE_HISTORY_SCREENSHOT=<file.png>
// saves the window.
#include "MessageBoxRecorder.h"
#include "BuiltInVirtual.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "features/AutoTuningWizard.h"
#include "link/QLMCConnection.h"
#include "panel/RegulationParameter.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/features/TFormAutoTuning.h"
#include "ui/history/TFormHistory.h"
#include "ui/main/RegulationParametersPanel.h"
#include "ui/widgets/VirtualController.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <cstdlib>

using uitest::child;
using uitest::local;
using uitest::waitFor;

namespace {

using Bytes = std::vector<uint8_t>;

class HistoryWindow : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    uitest::BuiltInVirtual virtualController{windows};

    void SetUp() override { ASSERT_TRUE(virtualController.connect()); }
    void TearDown() override { virtualController.close(); }
    SimController &sim() { return virtualController.sim(); }
    QLMCSession &session() { return main.context().session(); }
    /// True once the controller holds \a before again (every register of it).
    bool deviceHolds(const std::map<int, Bytes> &before, int timeoutMs = 3000)
    {
        return waitFor([&] {
            for (const auto &[address, bytes] : before)
                if (sim().imageBytes(address) != bytes)
                    return false;
            return true;
        }, timeoutMs);
    }
    /// True once the session holds \a before again, as read back over the wire.
    bool sessionHolds(const std::map<int, Bytes> &before, int timeoutMs = 3000)
    {
        return waitFor([&] {
            RegisterLockGuard guard(session().lock());
            for (const auto &[address, bytes] : before)
                if (session().motor().registerAt(address)->Value != bytes)
                    return false;
            return true;
        }, timeoutMs);
    }
    int journalLines()
    {
        QFile file(session().history().journalPath());
        if (!file.open(QIODevice::ReadOnly))
            return 0;
        return int(file.readAll().count('\n'));
    }
    void type(QLineEdit *edit, const QString &text)
    {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, local(text));
    }
};

} // namespace

TEST_F(HistoryWindow, ThreeWritesRevertedGiveTheValuesBeforeAndSixJournalLines)
{
    const int lines = journalLines(); // the journal of the whole test run
    const int registers[] = {Reg::Kp, Reg::Kd, Reg::CurrentMax};
    std::map<int, Bytes> before;
    for (int address : registers)
        before[address] = sim().imageBytes(address);

    RegulationParametersPanel *panel = main.context().panels().regulationParameters;
    type(panel->edit(RegulationParameterId::Kp), "2.5");
    QTest::keyClick(panel->edit(RegulationParameterId::Kp), Qt::Key_Return);
    type(panel->edit(RegulationParameterId::Kd), "0.5");
    QTest::keyClick(panel->edit(RegulationParameterId::Kd), Qt::Key_Return);

    // The options window: a current above the model's maximum is not written.
    child<QAction>(main, "MenuOptions")->trigger();
    QWidget &options = *main.findChild<QWidget *>(QStringLiteral("FormRegOption"));
    ASSERT_TRUE(waitFor([&] { return options.isVisible(); }));
    QLineEdit *current = child<QLineEdit>(options, "ECurrentMax");
    QPushButton *write = child<QPushButton>(options, "BWriteOutputsMax");
    type(current, "15.00002");
    EXPECT_FALSE(write->isEnabled());
    type(current, "15");
    EXPECT_TRUE(write->isEnabled());
    type(current, "1.5");
    write->click();
    ASSERT_TRUE(waitFor([&] {
        return sim().imageBytes(Reg::Kp) == Bytes{0, 2, 0x80, 0}
               && sim().imageBytes(Reg::Kd) == Bytes{0, 0, 0x80, 0}
               && sim().imageBytes(Reg::CurrentMax) == Bytes{0, 1, 0x80, 0};
    }, 3000));
    EXPECT_EQ(journalLines(), lines + 3);

    child<QAction>(main, "MenuHistory")->trigger();
    TFormHistory *history = main.findChild<TFormHistory *>();
    ASSERT_NE(history, nullptr);
    ASSERT_EQ(history->list()->topLevelItemCount(), 3);
    EXPECT_EQ(history->list()->topLevelItem(0)->text(3), QStringLiteral("0x2A Current max"));
    EXPECT_EQ(history->list()->topLevelItem(2)->text(6), QStringLiteral("Main panel"));
    history->list()->selectAll();
    history->BRevertClick();
    EXPECT_EQ(history->status()->text(), QStringLiteral("Reverted 3 changes"));
    EXPECT_TRUE(deviceHolds(before));
    // Read back over the wire: the session holds the values before again.
    {
        RegisterLockGuard guard(session().lock());
        for (int address : registers)
            session().motor().RequestRead(address);
    }
    EXPECT_TRUE(sessionHolds(before));
    EXPECT_EQ(journalLines(), lines + 6);
    history->Refresh();
    EXPECT_EQ(history->list()->topLevelItem(0)->text(6), QStringLiteral("History: revert"));
    if (const char *path = std::getenv("TARVINE_HISTORY_SCREENSHOT")) {
        QTest::qWait(200);
        EXPECT_TRUE(history->grab().save(QString::fromLocal8Bit(path)));
    }
}

TEST_F(HistoryWindow, AutoTuningRestorePreviousValuesWritesTheBeforeColumnBack)
{
    const int registers[] = {Reg::Kp, Reg::Ki, Reg::Kd, Reg::Acceleration, Reg::SpeedMax};
    std::map<int, Bytes> before;
    for (int address : registers)
        before[address] = sim().imageBytes(address);

    child<QAction>(main, "MenuAutotuning")->trigger();
    TFormAutoTuning &w = windows.autoTuning();
    QPushButton *next = child<QPushButton>(w, "BNext");
    next->click();
    next->click();
    type(child<QLineEdit>(w, "ECurrentMax"), "1.5");
    next->click();
    next->click();
    ASSERT_EQ(w.wizard().step(), AutoTuningWizard::StartStep);
    child<QPushButton>(w, "BStartPIDOnly")->click();
    ASSERT_TRUE(waitFor([&] { return w.wizard().step() == AutoTuningWizard::ResultStep; }, 15000));
    ASSERT_TRUE(waitFor([&] { return sim().imageBytes(Reg::Kp) != before[Reg::Kp]; }, 3000));
    QPushButton *restore = child<QPushButton>(w, "BRestorePrevious");
    ASSERT_TRUE(waitFor([&] { return restore->isEnabled(); }, 5000));
    restore->click();
    EXPECT_TRUE(child<QLabel>(w, "LRestoreStatus")->text().startsWith("Restored"))
        << child<QLabel>(w, "LRestoreStatus")->text().toStdString();
    EXPECT_TRUE(deviceHolds(before));
    // Read back over the wire: the session holds them, and the table's
    // "After" column follows.
    EXPECT_TRUE(sessionHolds(before, 5000));
    QTableWidget *changes = child<QTableWidget>(w, "TVAutoTuningChanges");
    EXPECT_TRUE(waitFor([&] {
        for (int r = 0; r < changes->rowCount(); ++r)
            if (changes->item(r, 0)->text().startsWith(QStringLiteral("0x33")))
                return changes->item(r, 1)->text() == changes->item(r, 2)->text();
        return false;
    }, 5000));
}
