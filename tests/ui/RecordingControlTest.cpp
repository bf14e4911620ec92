// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// File > "Record live values..." on the virtual controller: the caption, the
// status-bar label, the ends by the item and by closing, an unwritable folder.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "record/LiveRecorder.h"
#include "ui/main/RecordingControl.h"
#include "ui/widgets/VirtualController.h"

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>

using uitest::child;
using uitest::waitFor;

namespace {

class RecordingControlTest : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    QTemporaryDir dir;
    QString chosen;
    RecordingControl::Chooser previous =
        RecordingControl::setChooser([this](QWidget *) { return chosen; });

    void SetUp() override
    {
        main.show();
        auto *launcher = main.findChild<VirtualController *>();
        ASSERT_NE(launcher, nullptr);
        launcher->setHostRange(171, 190);
        ASSERT_TRUE(launcher->startAndConnect(VirtualControllerChoice{}));
        ASSERT_TRUE(
            waitFor([this] { return main.windowTitle().contains(QLatin1String("NETDC")); }));
        main.context().session().RefreshRatio = 2;
    }
    void TearDown() override
    {
        main.closeCommunication();
        RecordingControl::setChooser(previous);
    }
    QString trailer(const QString &path) const
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QList<QByteArray> lines = file.readAll().split('\n');
        return lines.size() >= 2 ? QString::fromUtf8(lines[lines.size() - 2]) : QString();
    }
};

TEST_F(RecordingControlTest, RecordsUntilStoppedOrClosed)
{
    QAction *item = child<QAction>(main, "MenuFileRecord");
    QLabel *label = child<QLabel>(main, "StatusRecording");
    ASSERT_TRUE(item && label);
    EXPECT_EQ(item->text(), QStringLiteral("Record live values..."));
    EXPECT_FALSE(label->isVisible());

    // Stopped by the item.
    chosen = dir.filePath(QStringLiteral("first.csv"));
    item->trigger();
    EXPECT_EQ(item->text(), QStringLiteral("Stop recording"));
    ASSERT_TRUE(waitFor([&] {
        return label->text().contains(QRegularExpression("^REC [1-9]\\d* lines, .*B$"));
    })) << label->text().toStdString();
    EXPECT_TRUE(label->isVisible());
    item->trigger();
    EXPECT_EQ(item->text(), QStringLiteral("Record live values..."));
    const LiveRecorder::Progress first = main.context().recorder().progress();
    EXPECT_EQ(trailer(chosen), QStringLiteral("# %1 lines recorded, 0 dropped").arg(first.lines));
    EXPECT_TRUE(label->text().startsWith(QStringLiteral("Recorded %1 lines").arg(first.lines)));

    // Stopped by closing the connection.
    chosen = dir.filePath(QStringLiteral("second.csv"));
    item->trigger();
    ASSERT_TRUE(waitFor([&] { return main.context().recorder().progress().lines > 0; }));
    main.closeCommunication();
    ASSERT_TRUE(waitFor([&] { return !main.context().recorder().isRunning(); }));
    EXPECT_TRUE(trailer(chosen).endsWith(QStringLiteral(" lines recorded, 0 dropped")));
    EXPECT_EQ(item->text(), QStringLiteral("Record live values..."));
    EXPECT_FALSE(item->isEnabled());
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(RecordingControlTest, UnwritableFolderSaysSoAndDoesNotStart)
{
    QAction *item = child<QAction>(main, "MenuFileRecord");
    ASSERT_NE(item, nullptr);
    chosen = dir.filePath(QStringLiteral("missing/live.csv"));
    item->trigger();
    EXPECT_FALSE(main.context().recorder().isRunning());
    EXPECT_EQ(item->text(), QStringLiteral("Record live values..."));
    const auto shown = boxes.boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].title, QStringLiteral("Record live values"));
    EXPECT_TRUE(shown[0].text.startsWith(QStringLiteral("Cannot write ")))
        << shown[0].text.toStdString();
    EXPECT_FALSE(child<QLabel>(main, "StatusRecording")->isVisible());
}

} // namespace
