// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The Fleet window over three virtual controllers on loopback (discovered on
// the loopback network): rows appear live, a controller that goes away stays
// greyed with its reason, Save all writes a file per reachable controller,
// and Send asks first (listing what changes), sends nothing on Cancel and
// makes the controller equal to the file on OK, its identity kept.
// TARVINE_FLEET_SCREENSHOT=<file.png> saves the window.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "sim/SimServer.h"
#include "support/DiscoverySims.h"
#include "ui/fleet/TFormFleet.h"

#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>

using uitest::child;
using uitest::waitFor;

namespace {

class FleetWindow : public ::testing::Test
{
protected:
    static constexpr int Count = 3;
    testsupport::DiscoverySims sims;
    LoopbackDiscoveryNetwork network{
        {LoopbackDiscoveryNetwork::virtualAdapter()}, {127, 0, 32, 1}, {127, 0, 32, Count}};
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormFleet &fleet = windows.fleet();
    QTableWidget *grid = child<QTableWidget>(fleet, "GridFleet");
    QTemporaryDir dir;
    QString chosen; ///< what the file and folder dialogs answer
    QString confirmation;
    bool confirm = false;
    TFormFleet::Chooser previousChooser;
    TFormFleet::Confirmer previousConfirmer;

    void SetUp() override
    {
        sims.tcpOnSharedPort = true;
        ASSERT_NO_THROW(sims.addRange(Count, 32));
        previousChooser = TFormFleet::setChooser([this](QWidget *, bool) { return chosen; });
        previousConfirmer = TFormFleet::setConfirmer([this](QWidget *, const QString &text) {
            confirmation = text;
            return confirm;
        });
        fleet.monitor().useNetwork(&network, sims.port, 200, sims.port);
    }
    void TearDown() override
    {
        TFormFleet::setChooser(previousChooser);
        TFormFleet::setConfirmer(previousConfirmer);
    }

    QString cell(int row, int column) const
    {
        const QTableWidgetItem *item = grid->item(row, column);
        return item ? item->text() : QString();
    }
    bool idle() const { return child<QPushButton>(fleet, "BSaveAll")->isEnabled(); }
    int liveRows() const
    {
        int live = 0;
        for (int r = 0; r < grid->rowCount(); ++r)
            live += cell(r, TFormFleet::ColState) == "live";
        return live;
    }
};

TEST_F(FleetWindow, ShowsLiveRowsGreysALostOneAndSendsOnlyAfterTheConfirmation)
{
    fleet.show();
    ASSERT_TRUE(waitFor([&] { return liveRows() == Count; }, 10000));
    EXPECT_EQ(cell(1, TFormFleet::ColMac), "00-50-C2-00-00-02");
    EXPECT_EQ(cell(1, TFormFleet::ColAddress), "127.0.32.2");
    EXPECT_EQ(cell(1, TFormFleet::ColModel), "NETEC-A");
    EXPECT_EQ(cell(1, TFormFleet::ColName), "Virtual-2");
    EXPECT_NE(cell(1, TFormFleet::ColTemperature), "-");
    EXPECT_EQ(grid->item(1, TFormFleet::ColMac)->checkState(), Qt::Unchecked);

    // Controller 3 goes away: its row stays, greyed, with the reason and no values.
    sims.servers[2]->stop();
    ASSERT_TRUE(
        waitFor([&] { return cell(2, TFormFleet::ColState).startsWith("unreachable: "); }, 10000));
    EXPECT_GT(cell(2, TFormFleet::ColState).size(), QString("unreachable: ").size());
    EXPECT_EQ(cell(2, TFormFleet::ColModel), "-");
    EXPECT_EQ(cell(2, TFormFleet::ColTemperature), "-");
    EXPECT_EQ(grid->item(2, TFormFleet::ColName)->foreground().color(),
              fleet.palette().color(QPalette::Disabled, QPalette::Text));
    EXPECT_NE(grid->item(0, TFormFleet::ColName)->foreground().color(),
              grid->item(2, TFormFleet::ColName)->foreground().color());
    if (const char *path = std::getenv("TARVINE_FLEET_SCREENSHOT")) {
        EXPECT_TRUE(fleet.grab().save(QString::fromLocal8Bit(path)));
    }

    chosen = dir.path();
    child<QPushButton>(fleet, "BSaveAll")->click();
    ASSERT_TRUE(waitFor([&] { return idle(); }, 20000));
    const QStringList files = QDir(dir.path()).entryList({"*.qmc"}, QDir::Files, QDir::Name);
    EXPECT_EQ(files,
              (QStringList{"Virtual-1_00-50-C2-00-00-01.qmc", "Virtual-2_00-50-C2-00-00-02.qmc"}));
    EXPECT_TRUE(child<QPlainTextEdit>(fleet, "MemoFleetResult")
                    ->toPlainText()
                    .contains("127.0.32.3: unreachable"));

    // Controller 1 gets another Kp; the file of controller 2 goes to it.
    sims.servers[0]->controller()->raiseImageValue(0x33, 0x10000);
    const std::vector<uint8_t> raised = sims.servers[0]->controller()->imageBytes(0x33);
    ASSERT_NE(raised, sims.servers[1]->controller()->imageBytes(0x33));
    grid->item(0, TFormFleet::ColMac)->setCheckState(Qt::Checked);
    chosen = dir.filePath("Virtual-2_00-50-C2-00-00-02.qmc");
    child<QPushButton>(fleet, "BSendSelected")->click();
    ASSERT_TRUE(waitFor([&] { return !confirmation.isEmpty() && idle(); }, 20000));
    EXPECT_TRUE(
        confirmation.contains("127.0.32.1 (Virtual-1): 1 changes\n    0x33 Kp 2.00000 -> 1.00000"))
        << confirmation.toStdString();
    EXPECT_FALSE(confirmation.contains("127.0.32.2")); // not ticked
    QTest::qWait(300);
    EXPECT_EQ(sims.servers[0]->controller()->imageBytes(0x33), raised); // cancelled: nothing sent

    confirmation.clear();
    confirm = true;
    child<QPushButton>(fleet, "BSendSelected")->click();
    ASSERT_TRUE(waitFor(
        [&] {
            return !confirmation.isEmpty() && idle()
                   && child<QLabel>(fleet, "LFleetStatus")
                          ->text()
                          .startsWith("Sent: 1 controllers, 0 failed");
        },
        20000))
        << child<QLabel>(fleet, "LFleetStatus")->text().toStdString();
    EXPECT_EQ(sims.servers[0]->controller()->imageBytes(0x33),
              sims.servers[1]->controller()->imageBytes(0x33));
    const std::vector<uint8_t> name = sims.servers[0]->controller()->imageBytes(0x15);
    EXPECT_TRUE(QByteArray(reinterpret_cast<const char *>(name.data()), qsizetype(name.size()))
                    .startsWith("Virtual-1"));
    EXPECT_EQ(sims.servers[0]->controller()->imageBytes(0x12), (std::vector<uint8_t>{127, 0, 32, 1}));

    // Hidden and shown again at once: the links told to close (perhaps in the
    // middle of a read) give way to a new scan's, and the two left go live.
    fleet.hide();
    fleet.show();
    ASSERT_TRUE(waitFor([&] { return grid->rowCount() == Count - 1 && liveRows() == Count - 1; },
                        10000));
    fleet.hide();
}

} // namespace
