// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The chart tools, driven by objectName: pause, zoom, pan, reset and resume,
// the cursor read-out, the CSV export and the image, failed writes, and a
// paused chart of a move on the virtual controller (saved as a screenshot
// when TARVINE_CHART_SCREENSHOT names a PNG file).
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "panel/ChartPages.h"
#include "platform/HighResCounter.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/main/GraphsPanel.h"
#include "ui/widgets/ChartTools.h"
#include "ui/widgets/GuiSessionBridge.h"
#include "ui/widgets/LiveChart.h"
#include "ui/widgets/VirtualController.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

using uitest::child;
using uitest::waitFor;

namespace {

using Page = GraphsPanel::Page;

/// Answers every file dialog with one path, for as long as it lives.
struct ChosenFile
{
    explicit ChosenFile(QString path)
    {
        previous = ChartTools::setFileChooser(
            [path](QWidget *, const QString &, const QString &) { return path; });
    }
    ~ChosenFile() { ChartTools::setFileChooser(previous); }
    ChartTools::FileChooser previous;
};

/// Files of the process may not grow past a few bytes (a full disk), for as long as it lives.
struct FullDisk
{
    FullDisk()
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 64;
        ::setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FullDisk() { ::setrlimit(RLIMIT_FSIZE, &saved); }
    rlimit saved{};
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void wheel(LiveChart *chart, QPoint at, int notches)
{
    QWheelEvent event(at, chart->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart, &event);
}

QPoint pixelOf(const LiveChart *chart, double key)
{
    return QPoint(int(chart->xAxis->coordToPixel(key)), chart->axisRect()->center().y());
}

class ChartToolsTest : public ::testing::Test
{
protected:
    MessageBoxRecorder boxes;
    TFormMain main;
    GraphsPanel *panel = main.findChild<GraphsPanel *>();
    QTemporaryDir dir;

    void SetUp() override
    {
        main.resize(1008, 620);
        main.show();
        main.graphicCheckBox()->setChecked(true);
        main.context().connectedControls().setConnected(true);
    }
    LiveChart *chart(Page page) const { return panel->chart(page); }
    ChartTools *tools(Page page) const { return chart(page)->findChild<ChartTools *>(); }
    /// Samples \a first .. \a first + count - 1: position i, consign -i, speed 2 i.
    void feed(int first, int count)
    {
        for (int i = first; i < first + count; ++i) {
            ReceivedValues v;
            v.Position = i;
            v.Input = -i;
            v.Speed = 2 * i;
            // Decoded one second apart: key i.
            main.context().sessionBridge().graphSample(v, int64_t(i) * HighResCounter::frequency());
        }
        QApplication::processEvents();
    }
    void show(Page page)
    {
        main.graphPages()->setCurrentIndex(page);
        QApplication::processEvents();
        chart(page)->redrawNow();
    }
};

} // namespace

TEST_F(ChartToolsTest, EveryPageHasItsPauseAndAViewReset)
{
    const struct
    {
        Page page;
        const char *pause;
        const char *reset;
    } pages[] = {{Page::PositionPage, "BChartPausePosition", "BChartResetPosition"},
                 {Page::SpeedPage, "BChartPauseSpeed", "BResetScaleSpeed"},
                 {Page::CommandPage, "BChartPauseCommand", "BChartResetCommand"},
                 {Page::CurrentPage, "BChartPauseCurrent", "BResetScaleCurrent"},
                 {Page::MicrometrePage, "BChartPausePosition_um", "BChartResetPosition_um"}};
    for (const auto &p : pages) {
        SCOPED_TRACE(p.pause);
        QPushButton *pause = child<QPushButton>(*chart(p.page), p.pause);
        QPushButton *reset = child<QPushButton>(*chart(p.page), p.reset);
        ASSERT_TRUE(pause && reset);
        EXPECT_EQ(tools(p.page)->resetButton(), reset);
        const bool own = QByteArray(p.reset).startsWith("BChartReset");
        EXPECT_EQ(pause->text(), QStringLiteral("Pause"));
        EXPECT_EQ(reset->isVisibleTo(chart(p.page)), !own);
        pause->click();
        EXPECT_EQ(pause->text(), QStringLiteral("Resume"));
        EXPECT_TRUE(reset->isVisibleTo(chart(p.page)));
        pause->click();
        EXPECT_EQ(pause->text(), QStringLiteral("Pause"));
        EXPECT_EQ(reset->isVisibleTo(chart(p.page)), !own);
    }
}

// The command line's chart export names the same series as the window.
TEST_F(ChartToolsTest, TheCommandLinePagesMatchTheCharts)
{
    ASSERT_EQ(int(ChartPages::pages().size()), GraphsPanel::PageCount);
    for (int p = 0; p < GraphsPanel::PageCount; ++p) {
        const ChartPages::Page &page = ChartPages::pages()[size_t(p)];
        LiveChart *c = chart(Page(p));
        EXPECT_EQ(c->xAxis->label(), ChartPages::TimeTitle);
        EXPECT_EQ(c->valueTitle(), ChartPages::valueTitle(p, false));
        ASSERT_EQ(size_t(c->seriesCount()), page.titles.size());
        for (int s = 0; s < c->seriesCount(); ++s)
            EXPECT_EQ(c->series(s)->name(), page.titles[size_t(s)]);
    }
}

TEST_F(ChartToolsTest, PauseFreezesZoomsPansResetsAndResumesWithoutMovingTheFocus)
{
    show(Page::PositionPage);
    LiveChart *position = chart(Page::PositionPage);
    feed(0, 250); // keys 0 .. 249, the history shows 50 .. 249
    auto *edit = main.findChild<QLineEdit *>(QStringLiteral("ECons"));
    ASSERT_NE(edit, nullptr);
    edit->setFocus();

    child<QPushButton>(*position, "BChartPausePosition")->click();
    edit->setFocus();
    feed(250, 100);
    position->setValueRange(-5000, 5000); // a new axis waits for the live view
    position->redrawNow();
    EXPECT_EQ(position->shownKeyRange(), QCPRange(50, 249));
    EXPECT_EQ(position->xAxis->range(), QCPRange(50, 249));
    EXPECT_EQ(position->series(1)->data()->at(199)->value, 249);
    EXPECT_EQ(position->valueRange(), QCPRange(-200, 200));
    EXPECT_EQ(position->lastKey(), 349); // the samples went on behind

    // Wheel: zoom in around the mouse, on both axes.
    wheel(position, pixelOf(position, 150), 3);
    const QCPRange zoomed = position->xAxis->range();
    EXPECT_LT(zoomed.size(), 199 * 0.7);
    EXPECT_NEAR(zoomed.center(), 150, 20);
    EXPECT_LT(position->valueRange().size(), 400 * 0.7);
    // Drag: pan to the right, but not past the newest point shown.
    const QPoint from = pixelOf(position, 150);
    QTest::mousePress(position, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(position, from - QPoint(40, 0));
    QTest::mouseRelease(position, Qt::LeftButton, Qt::NoModifier, from - QPoint(40, 0));
    EXPECT_GT(position->xAxis->range().lower, zoomed.lower);
    EXPECT_NEAR(position->xAxis->range().size(), zoomed.size(), 1e-6);
    position->xAxis->setRange(200, 400);
    EXPECT_EQ(position->xAxis->range(), QCPRange(50, 249));
    position->xAxis->setRange(100, 101);
    EXPECT_EQ(position->xAxis->range().size(), 10);

    // Reset: the whole history, the values fitted (-249 .. 249 and a margin).
    child<QPushButton>(*position, "BChartResetPosition")->click();
    EXPECT_EQ(position->xAxis->range(), QCPRange(50, 249));
    EXPECT_NEAR(position->valueRange().lower, -249 - 0.05 * 498, 1e-9);
    EXPECT_NEAR(position->valueRange().upper, 249 + 0.05 * 498, 1e-9);

    child<QPushButton>(*position, "BChartPausePosition")->click();
    edit->setFocus();
    feed(350, 1);
    position->redrawNow();
    EXPECT_EQ(position->xAxis->range(), QCPRange(151, 350));
    EXPECT_EQ(position->series(1)->data()->at(199)->value, 350);
    EXPECT_EQ(position->valueRange(), QCPRange(-5000, 5000));
    // Not paused: the wheel leaves the live view alone.
    wheel(position, pixelOf(position, 250), 3);
    EXPECT_EQ(position->xAxis->range(), QCPRange(151, 350));
    EXPECT_TRUE(edit->hasFocus());
}

// Fit: a consign far outside the range edits' axis is shown, and the manual
// axis set meanwhile comes back when Fit goes off.
TEST_F(ChartToolsTest, FitFollowsTheDataAndGivesBackTheManualAxis)
{
    show(Page::PositionPage);
    LiveChart *position = chart(Page::PositionPage);
    auto *fit = child<QPushButton>(*position, "BChartFitPosition");
    position->setValueRange(-200, 200);
    feed(19800, 200); // consign down to -19999, position up to 19999
    fit->click();
    EXPECT_TRUE(position->isFit());
    position->redrawNow();
    EXPECT_LT(position->valueRange().lower, -19999);
    EXPECT_GT(position->valueRange().upper, 19999);
    position->setValueRange(-500, 500); // a range edit while fitting
    position->redrawNow();
    EXPECT_GT(position->valueRange().upper, 19999);
    fit->click();
    EXPECT_EQ(position->valueRange(), QCPRange(-500, 500));
}

TEST_F(ChartToolsTest, CursorReadsTheNearestSampleOfEveryShownSeries)
{
    show(Page::PositionPage);
    LiveChart *position = chart(Page::PositionPage);
    ChartTools *t = tools(Page::PositionPage);
    feed(0, 200);
    position->redrawNow();
    const QPoint at = pixelOf(position, 120.3);
    QTest::mouseMove(position, at);
    QApplication::processEvents();
    ASSERT_TRUE(t->isCursorShown());
    // Legend order: the series inverted.
    EXPECT_EQ(t->cursorText(), QStringLiteral("Time [s]: -79.000\nPosition: 120\nPosition consign: -120"));
    position->redrawNow();
    auto *line = qobject_cast<QCPItemStraightLine *>(position->item(0));
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->visible());
    EXPECT_EQ(line->point1->key(), 120);

    // A live chart moves under a still mouse; a hidden series leaves the read-out.
    feed(200, 5);
    position->setSeriesVisible(0, false);
    EXPECT_EQ(t->cursorText(), QStringLiteral("Time [s]: -79.000\nPosition: 125"));

    QTest::mouseMove(position, QPoint(2, 2)); // over the legend row, off the plot
    EXPECT_FALSE(t->isCursorShown());
    t->showCursorAt(at);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(position, &leave);
    EXPECT_FALSE(t->isCursorShown());
}

TEST_F(ChartToolsTest, ExportsTheTwoHundredRowsShownAndSavesTheImage)
{
    show(Page::SpeedPage);
    LiveChart *speed = chart(Page::SpeedPage);
    feed(0, 230);
    child<QPushButton>(*speed, "BChartPauseSpeed")->click();
    feed(230, 20); // behind the pause: not in the export
    QMenu *menu = tools(Page::SpeedPage)->contextMenu();
    ASSERT_EQ(menu->objectName(), QStringLiteral("PopupChartSpeed"));

    const QString csv = dir.filePath(QStringLiteral("speed")); // the suffix is added
    {
        ChosenFile chosen(csv);
        child<QAction>(*menu, "ActionChartExportCsv")->trigger();
    }
    const QList<QByteArray> lines = contents(csv + ".csv").split('\n');
    ASSERT_EQ(lines.size(), LiveChart::DefaultHistorySamples + 2); // the header, 200 rows, the end
    // Seconds relative to the newest sample shown (decoded one second apart).
    EXPECT_EQ(lines[0], "Time [s],Desired state,Speed");
    EXPECT_EQ(lines[1], "-199.000,0,60");
    EXPECT_EQ(lines[200], "0.000,0,458");
    EXPECT_EQ(lines[201], "");

    const QString png = dir.filePath(QStringLiteral("speed.png"));
    {
        ChosenFile chosen(png);
        child<QAction>(*menu, "ActionChartSaveImage")->trigger();
    }
    const QImage image(png);
    EXPECT_EQ(image.size(), speed->size());
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ChartToolsTest, TheHistoryLengthMenuKeepsEverySampleForTheExportAndDrawsThinned)
{
    show(Page::PositionPage);
    LiveChart *position = chart(Page::PositionPage);
    QMenu *menu = tools(Page::PositionPage)->contextMenu();
    auto *lengths = child<QMenu>(*menu, "PopupChartHistoryPosition");
    EXPECT_TRUE(child<QAction>(*lengths, "ActionChartHistory200")->isChecked());
    child<QAction>(*lengths, "ActionChartHistory60s")->trigger();
    EXPECT_TRUE(child<QAction>(*lengths, "ActionChartHistory60s")->isChecked());

    // 500 samples a second for a minute: moves between -20000 and 20000 every
    // 1.5 s, and one position spike in the middle.
    double actual = 0;
    for (int i = 0; i < 30000; ++i) {
        ReceivedValues v;
        v.Input = (i / 750) % 2 ? -20000 : 20000;
        actual += (v.Input - actual) * 0.02;
        v.Position = i == 15000 ? 35000 : int32_t(actual);
        main.context().sessionBridge().graphSample(v, int64_t(i) * HighResCounter::frequency()
                                                          / 500);
    }
    QApplication::processEvents();
    position->redrawNow();
    if (const char *file = std::getenv("TARVINE_CHART_HISTORY_SCREENSHOT")) {
        child<QPushButton>(*position, "BChartFitPosition")->click();
        position->redrawNow();
        EXPECT_TRUE(main.grab().save(QString::fromLocal8Bit(file)));
    }
    const QCPGraphDataContainer &drawn = *position->series(1)->data();
    EXPECT_LE(drawn.size(), 2 * position->axisRect()->width() + 4);
    double highest = 0;
    for (auto point = drawn.constBegin(); point != drawn.constEnd(); ++point)
        highest = std::max(highest, point->value);
    EXPECT_EQ(highest, 35000); // the one-sample spike is drawn

    const auto exportedRows = [&] {
        const QString csv = dir.filePath(QStringLiteral("position.csv"));
        ChosenFile chosen(csv);
        child<QAction>(*menu, "ActionChartExportCsv")->trigger();
        QList<QByteArray> lines = contents(csv).split('\n');
        lines.removeFirst(); // the header
        lines.removeLast();  // after the last line end
        return lines;
    };
    QList<QByteArray> rows = exportedRows();
    // Every sample, and the last start-up point (-60.000 s) as well.
    ASSERT_EQ(rows.size(), 30001);
    EXPECT_TRUE(rows.first().startsWith("-60.000,"));
    EXPECT_TRUE(rows[15001].endsWith(",35000"));
    EXPECT_TRUE(rows.last().startsWith("0.000,"));
    EXPECT_TRUE(rows.last().endsWith(",-19999") || rows.last().endsWith(",-20000"))
        << rows.last().toStdString();

    child<QAction>(*lengths, "ActionChartHistory10s")->trigger();
    rows = exportedRows();
    EXPECT_NEAR(rows.size(), 5001, 1);
    EXPECT_TRUE(rows.first().startsWith("-10.000,") || rows.first().startsWith("-9.998,"));
    child<QAction>(*lengths, "ActionChartHistory200")->trigger();
    EXPECT_EQ(exportedRows().size(), LiveChart::DefaultHistorySamples);
    EXPECT_TRUE(boxes.boxes().empty());
}

TEST_F(ChartToolsTest, AFailedWriteSaysSoAndKeepsTheOldFile)
{
    show(Page::CommandPage);
    ChartTools *t = tools(Page::CommandPage);
    feed(0, 10);
    const struct
    {
        const char *name;
        bool (ChartTools::*write)(const QString &);
    } writes[] = {{"old.csv", &ChartTools::exportCsv}, {"old.png", &ChartTools::saveImage}};
    for (const auto &w : writes) {
        SCOPED_TRACE(w.name);
        const QString path = dir.filePath(QLatin1String(w.name));
        {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("the old file");
        }
        const size_t before = boxes.boxes().size();
        {
            FullDisk full;
            EXPECT_FALSE((t->*w.write)(path));
        }
        EXPECT_EQ(contents(path), "the old file");
        ASSERT_EQ(boxes.boxes().size(), before + 1);
        EXPECT_TRUE(boxes.boxes().back().text.startsWith(QStringLiteral("Cannot write the ")));
        EXPECT_EQ(boxes.boxes().back().icon, MessageIcon::Warning);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).count(w.name), 1); // no temporary left
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 2);
}

// A newcomer's path: a move on the virtual controller, the speed chart paused,
// zoomed into the step and read with the cursor.
TEST(ChartToolsOnTheVirtualController, PausedZoomedMoveWithTheCursor)
{
    MessageBoxRecorder boxes;
    AppWindows windows;
    TFormMain &main = windows.main();
    auto *launcher = main.findChild<VirtualController *>();
    main.show();
    VirtualControllerChoice choice;
    for (const SimModel &model : simModelPresets())
        if (model.name == "NETEC-A")
            choice.model = model;
    ASSERT_TRUE(launcher->startAndConnect(choice));
    auto *speed = main.findChild<LiveChart *>(QStringLiteral("ChartSpeed"));
    int samples = 0;
    QObject::connect(&main.context().sessionBridge(), &GuiSessionBridge::graphSampleArrived, speed,
                     [&samples] { ++samples; });
    ASSERT_TRUE(waitFor([&samples] { return samples > 60; }, 5000));

    child<QRadioButton>(main, "RBSpePID")->click();
    child<QLineEdit>(main, "ECons")->setText(QStringLiteral("1500"));
    child<QPushButton>(main, "BSendCons")->click();
    main.graphPages()->setCurrentIndex(Page::SpeedPage);
    const int start = samples;
    ASSERT_TRUE(waitFor([&] { return samples > start + 120; }, 8000));

    child<QPushButton>(*speed, "BChartPauseSpeed")->click();
    speed->redrawNow();
    // The step: the first shown sample whose speed left zero.
    const QCPGraphDataContainer &data = *speed->series(1)->data();
    double step = data.constBegin()->key;
    for (auto point = data.constBegin(); point != data.constEnd(); ++point)
        if (point->value != 0) {
            step = point->key;
            break;
        }
    // The keys are decode times: the mean sample period in seconds.
    const double period = speed->shownKeyRange().size() / (LiveChart::DefaultHistorySamples - 1);
    wheel(speed, pixelOf(speed, step + 12 * period), 9);
    speed->redrawNow();
    ASSERT_LT(speed->xAxis->range().size(), 60 * period);
    QTest::mouseMove(speed, pixelOf(speed, step + period));
    speed->redrawNow();
    ChartTools *t = speed->findChild<ChartTools *>();
    ASSERT_TRUE(t->isCursorShown());
    EXPECT_TRUE(t->cursorText().contains(QStringLiteral("\nSpeed: ")));
    EXPECT_FALSE(t->cursorText().contains(QStringLiteral("Speed: 0\n")));
    const double lastShown = speed->shownKeyRange().upper;
    QTest::qWait(200);
    EXPECT_EQ(speed->shownKeyRange().upper, lastShown);
    EXPECT_GT(speed->lastKey(), lastShown);

    if (const char *file = std::getenv("TARVINE_CHART_SCREENSHOT")) {
        EXPECT_TRUE(main.grab().save(QString::fromLocal8Bit(file)));
    }
    EXPECT_TRUE(boxes.boxes().empty());

    main.closeCommunication();
    waitFor([&] { return !launcher->isRunning(); }, 3000);
}
