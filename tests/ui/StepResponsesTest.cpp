// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The "Step responses" window on the virtual controller: a position step
// with Kp 1, another with Kp 2, a row each with its gains, the second read
// against the first pinned, and the export (pictures of the window and the
// position chart when TARVINE_STEP_SCREENSHOTS names a folder).
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "link/QLMCConnection.h"
#include "record/StepTable.h"
#include "sim/SimModel.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/main/GraphsPanel.h"
#include "ui/tuning/TFormStepResponses.h"
#include "ui/widgets/ChartMarkers.h"
#include "ui/widgets/LiveChart.h"
#include "ui/widgets/VirtualController.h"
#include "ui/widgets/VirtualControllerDialog.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

using uitest::child;
using uitest::waitFor;

namespace {

void enter(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

TEST(StepResponsesWindow, TwoTuningsTwoRowsReadAgainstThePinnedOne)
{
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    main.show();
    auto *steps = main.findChild<TFormStepResponses *>();
    ASSERT_NE(steps, nullptr);
    child<QAction>(main, "MenuStepResponses")->trigger();
    EXPECT_TRUE(steps->isVisible());

    auto *launcher = main.findChild<VirtualController *>();
    VirtualControllerChoice choice;
    for (const SimModel &model : simModelPresets())
        if (model.name == "NETEC-A")
            choice.model = model;
    ASSERT_TRUE(launcher->startAndConnect(choice));
    ASSERT_TRUE(waitFor([&] { return main.windowTitle().contains("NETEC-A"); }, 5000));
    main.graphicCheckBox()->setChecked(true);
    child<QRadioButton>(main, "RBTraj")->click();
    QTest::qWait(300);

    const struct
    {
        const char *kp;
        const char *consign;
    } tries[] = {{"1", "300"}, {"2", "0"}};
    for (size_t i = 0; i < std::size(tries); ++i) {
        enter(child<QLineEdit>(main, "EKp"), uitest::local(tries[i].kp));
        QTest::qWait(200); // the gain reaches the controller and comes back
        child<QLineEdit>(main, "ECons")->setText(QLatin1String(tries[i].consign));
        child<QPushButton>(main, "BSendCons")->click();
        ASSERT_TRUE(waitFor([&] { return steps->rows().size() > i; }, 10000)) << i;
    }
    ASSERT_EQ(steps->rows().size(), 2u);
    const StepRecord &first = steps->rows()[0];
    const StepRecord &second = steps->rows()[1];
    EXPECT_EQ(first.step.to, 300);
    EXPECT_EQ(second.step.from, 300);
    EXPECT_EQ(second.step.to, 0);
    EXPECT_EQ(first.settings.kp, 1.0);
    EXPECT_EQ(second.settings.kp, 2.0);
    ASSERT_TRUE(first.figures.settled && second.figures.settled);
    // The position chart carries the step and settling markers.
    EXPECT_GE(
        ChartMarkers::count(main.findChild<GraphsPanel *>()->chart(GraphsPanel::PositionPage)), 2);

    // Pinned: the second row shows its change against the first.
    steps->table()->setCurrentCell(0, 0);
    steps->BStepPinClick();
    EXPECT_EQ(steps->referenceNumber(), first.number);
    const double change = *second.figures.settlingTime - *first.figures.settlingTime;
    EXPECT_TRUE(steps->table()
                    ->item(1, StepTable::Settling)
                    ->text()
                    .endsWith(QStringLiteral("%1)").arg(std::abs(change), 0, 'f', 3)))
        << steps->table()->item(1, StepTable::Settling)->text().toStdString();
    EXPECT_EQ(steps->table()->item(1, StepTable::Kp)->text(), QStringLiteral("2.0000 (+1.0000)"));
    EXPECT_EQ(steps->table()->item(0, StepTable::Kp)->text(), QStringLiteral("1.0000"));

    if (const char *folder = std::getenv("TARVINE_STEP_SCREENSHOTS")) {
        steps->grab().save(QDir(QString::fromLocal8Bit(folder)).filePath("step-responses.png"));
        main.graphPages()->setCurrentIndex(GraphsPanel::PositionPage);
        LiveChart *chart = main.findChild<GraphsPanel *>()->chart(GraphsPanel::PositionPage);
        child<QPushButton>(*chart, "BChartFitPosition")->click();
        chart->redrawNow();
        chart->grab().save(QDir(QString::fromLocal8Bit(folder)).filePath("step-chart.png"));
    }

    QTemporaryDir dir;
    const QString path = dir.filePath("steps.csv");
    const auto previous = TFormStepResponses::setChooser([&path](QWidget *) { return path; });
    child<QPushButton>(*steps, "BStepExport")->click();
    TFormStepResponses::setChooser(previous);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[1].endsWith(",yes"));
    EXPECT_TRUE(boxes.boxes().empty());

    main.closeCommunication();
    waitFor([&] { return !launcher->isRunning(); }, 3000);
}

} // namespace
