// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The application frame: the sixteen windows, the main menu, the status bar,
// the window size and the placement of the tool windows.
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "ui/connection/TFormInformation.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/discovery/TFormChangeIPAdd.h"
#include "ui/discovery/TFormScanUDP.h"
#include "ui/features/TFormAutoTuning.h"
#include "ui/features/TFormCalibration.h"
#include "ui/features/TFormEnhancedCmd.h"
#include "ui/features/TFormIOState.h"
#include "ui/features/TFormLimits.h"
#include "ui/features/TFormRegOption.h"
#include "ui/features/TFormRegWarning.h"
#include "ui/files/TFormFile.h"
#include "ui/files/TFormTime.h"
#include "ui/widgets/TFormAbout.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <map>

using uitest::child;

namespace {

QStringList texts(const QList<QAction *> &actions)
{
    QStringList result;
    for (const QAction *action : actions)
        result << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return result;
}

} // namespace

TEST(AppWindows, CreatesTheWindowsOnceHiddenInTheirOrder)
{
    AppWindows windows;
    const QList<QWidget *> all = windows.all();
    const std::vector<std::pair<const char *, QString>> expected = {
        {"TFormMain", QStringLiteral("Ethernet Motor Controller")},
        {"TFormRegOption", QStringLiteral("Options")},
        {"TFormRegWarning", QStringLiteral("Warning")},
        {"TFormAbout", QStringLiteral("About")},
        {"TFormAutoTuning", QStringLiteral("Auto-tuning")},
        {"TFormCalibration", QStringLiteral("Homing")},
        {"TFormChangeIPAdd", QStringLiteral("Change IP Address")},
        {"TFormFile", QStringLiteral("Parameters file  *.qmc")},
        {"TFormInformation", QStringLiteral("Communication stat.")},
        {"TFormLimits", QStringLiteral("Limits switch management")},
        {"TFormEnhancedCmd", QStringLiteral("Enhanced cmd / Loops")},
        {"TFormParamIP", QStringLiteral("IP Communication")},
        {"TFormScanUDP", QStringLiteral("Scan devices")},
        {"TFormIOState", QStringLiteral("I/O State")},
        {"TFormKRVRemote", QStringLiteral("Korvel Lab - Remote")},
        {"TFormTime", QString()},
        {"TFormFleet", QStringLiteral("Fleet")},
    };
    ASSERT_EQ(all.size(), qsizetype(expected.size()));
    std::map<QString, int> instances;
    for (QWidget *widget : QApplication::topLevelWidgets())
        ++instances[QLatin1String(widget->metaObject()->className())];
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].first);
        EXPECT_STREQ(all[qsizetype(i)]->metaObject()->className(), expected[i].first);
        EXPECT_EQ(all[qsizetype(i)]->windowTitle(), expected[i].second);
        EXPECT_TRUE(all[qsizetype(i)]->isWindow());
        EXPECT_FALSE(all[qsizetype(i)]->isVisible());
        EXPECT_EQ(instances[QLatin1String(expected[i].first)], 1);
    }
    EXPECT_TRUE(windows.time().windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(windows.time().size(), QSize(180, 110));
}

TEST(AppWindows, MainMenuHasItsItemsInOrderAndNeverShowsRemote)
{
    AppWindows windows;
    TFormMain &main = windows.main();
    EXPECT_EQ(
        texts(main.menuBar()->actions()),
        QStringList({"&File", "&Communication", "&Loop Time", "&Options", "&Warning", "&Limits",
                     "&Homing", "Auto-tuning", "Enhanced/Loops", "I/O state", "History", "&About", "Remote"}));
    EXPECT_EQ(texts(child<QMenu>(main, "MenuFile")->actions()),
              QStringList({"Save...", "View...", "Record live values...", "Step responses..."}));
    EXPECT_EQ(texts(child<QMenu>(main, "MenuCom")->actions()),
              QStringList({"Parameters...", "Virtual controller...", "Statistics...", "-",
                           "Scan network...", "IP Adress easy config...", "Fleet...", "-", "Open",
                           "Close", "-",
                           "Reset ARP"}));

    QMenu *loopTime = child<QMenu>(main, "MenuLoopTime");
    const QStringList names = {"MenuLoopTime50ms", "MenuLoopTime20ms", "MenuLoopTime10ms",
                               "MenuLoopTime5ms",  "MenuLoopTime2ms",  "MenuLoopTime1ms",
                               "MenuLoopTime05ms"};
    EXPECT_EQ(texts(loopTime->actions()), QStringList({"50 [ms]", "20 [ms]", "10 [ms]", "  5 [ms]",
                                                       "  2 [ms]", "  1 [ms]", " .5 [ms]"}));
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(loopTime->actions()[i]->objectName(), names[i]);

    QAction *remote = child<QAction>(main, "MenuRemote");
    EXPECT_FALSE(remote->isVisible());
    main.show();
    EXPECT_FALSE(remote->isVisible());
    main.hide();
    main.show();
    EXPECT_FALSE(remote->isVisible());

    // Closed: only what needs no connection is offered.
    EXPECT_TRUE(child<QAction>(main, "MenuComOpen")->isEnabled());
    EXPECT_FALSE(child<QAction>(main, "MenuComClose")->isEnabled());
    EXPECT_FALSE(child<QAction>(main, "MenuFileSave")->isEnabled());
    EXPECT_EQ(child<QAction>(main, "MenuFileOpen")->text(), QStringLiteral("View..."));
}

TEST(AppWindows, StatusBarPanelsStartWithTheirTextsAndWidths)
{
    AppWindows windows;
    TFormMain &main = windows.main();
    EXPECT_EQ(main.statusBar()->objectName(), QStringLiteral("StatusBarMain"));
    const std::vector<std::pair<QString, int>> expected = {
        {"Com. closed", 80},     {"IP Address", 100}, {"I2C Add", 70},
        {"Com error : 0", 125},  {"Version", 110},    {"-- [V]", 55},
        {"-- [Sec]", 100},       {"#PUp : -", 90},    {QString::fromUtf8("-- [\u00B0C]"), 55},
        {"0x15-Name : ---", 50},
    };
    main.show();
    for (int panel = 0; panel < 10; ++panel) {
        SCOPED_TRACE(panel);
        QLabel *label =
            child<QLabel>(main, QStringLiteral("StatusPanel%1").arg(panel).toLatin1().constData());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), expected[size_t(panel)].first);
        EXPECT_EQ(main.statusText(panel), expected[size_t(panel)].first);
        if (panel < 9)
            EXPECT_EQ(label->width(), expected[size_t(panel)].second);
        else // the last panel reaches to the right edge
            EXPECT_GE(label->width(), expected[size_t(panel)].second);
        EXPECT_EQ(bool(label->alignment() & Qt::AlignHCenter), panel > 0);
    }
    // Texts of a running device fit their panels.
    const std::vector<std::pair<int, QString>> running = {
        {0, "Opening..."},
        {1, "192.168.100.200"},
        {2, "I2C 0x10 - 16"},
        {3, "Com error : 999 (CS)"},
        {4, "Hw 1.2 Fw 3.18"},
        {5, "48.5 [V]"},
        {6, "12345678 [s]"},
        {7, "#PUp : 12345"},
        {8, QString::fromUtf8("35.5 [\u00B0C]")},
    };
    for (const auto &[panel, text] : running) {
        main.setStatusText(panel, text);
        const QLabel *label =
            child<QLabel>(main, QStringLiteral("StatusPanel%1").arg(panel).toLatin1().constData());
        EXPECT_LE(label->fontMetrics().horizontalAdvance(text), label->contentsRect().width())
            << text.toStdString();
    }
    QWidget *indicator = child<QWidget>(main, "PanelCom");
    EXPECT_EQ(indicator->palette().color(QPalette::Window),
              QApplication::palette().color(QPalette::Button));
}

TEST(AppWindows, MainWindowFitsItsGroupsAndGivesTheRestToTheGraphs)
{
    AppWindows windows;
    TFormMain &main = windows.main();
    EXPECT_EQ(main.size(), QSize(1008, 557 + main.menuBar()->sizeHint().height()));
    // 950 x 615 with the frame, or larger where the fixed groups need more.
    EXPECT_EQ(main.minimumSize(), QSize(950 - 16, 615 - 39).expandedTo(main.minimumSizeHint()));
    main.show();
    QApplication::processEvents();

    // Every group lies inside the client area, above the status bar.
    const QRect client(0, main.menuBar()->height(), main.width(),
                       main.statusBar()->y() - main.menuBar()->height());
    for (const char *name : {"GBRegulationParameters", "GBRegulationMode", "GBInput", "GBEeprom",
                             "GBDisplay", "GBRefresh", "PageControlGraph"}) {
        SCOPED_TRACE(name);
        QWidget *group = child<QWidget>(main, name);
        ASSERT_NE(group, nullptr);
        const QRect area(group->mapTo(&main, QPoint(0, 0)), group->size());
        EXPECT_TRUE(client.contains(area))
            << area.x() << "," << area.y() << " " << area.width() << "x" << area.height();
    }
    // Groups keep their size; the graph pages take what the window gains.
    QWidget *graphs = child<QWidget>(main, "PageControlGraph");
    QWidget *input = child<QWidget>(main, "GBInput");
    const QSize graphsBefore = graphs->size();
    const QSize inputBefore = input->size();
    EXPECT_GE(graphsBefore.height(), 180);
    main.resize(main.width() + 200, main.height() + 100);
    QApplication::processEvents();
    EXPECT_EQ(input->size(), inputBefore);
    EXPECT_EQ(graphs->size(), graphsBefore + QSize(200, 100));
}

TEST(AppWindows, MenuItemsShowTheirWindowsBesideTheMainWindow)
{
    AppWindows windows;
    TFormMain &main = windows.main();
    main.move(120, 80);
    main.show();
    const std::vector<std::pair<const char *, QWidget *>> items = {
        {"MenuComParam", &windows.paramIP()},
        {"MenuComStatistics", &windows.information()},
        {"MenuComScan", &windows.scanUDP()},
        {"MenuComIPConfig", &windows.changeIPAdd()},
        {"MenuFileOpen", &windows.file()},
        {"MenuOptions", &windows.regOption()},
        {"MenuWarning", &windows.regWarning()},
        {"MenuLimits", &windows.limits()},
        {"MenuHoming", &windows.calibration()},
        {"MenuAutotuning", &windows.autoTuning()},
        {"MenuLoopsInput", &windows.enhancedCmd()},
        {"MenuIOstate", &windows.ioState()},
        {"MenuAbout", &windows.about()},
    };
    int autoChangeOff = 0;
    QObject::connect(&main.context(), &WindowContext::autoChangeOffRequested,
                     [&] { ++autoChangeOff; });
    for (const auto &[name, window] : items) {
        SCOPED_TRACE(name);
        child<QAction>(main, name)->trigger();
        EXPECT_TRUE(window->isVisible());
        // The scan window opens 40 pixels down, the others 50.
        const int down = window == &windows.scanUDP() ? 40 : 50;
        EXPECT_EQ(window->pos(), main.pos() + QPoint(10, down));
        window->close();
    }
    // Homing, auto-tuning and enhanced commands switch the consign auto change
    // off first; "Scan network..." closes no link (none is open) and leaves it.
    EXPECT_EQ(autoChangeOff, 3);
}

TEST(AppWindows, AboutShowsTheLicenceAndCreditsUnclipped)
{
    AppWindows windows;
    TFormAbout &about = windows.about();
    about.show();
    QCoreApplication::processEvents();
    for (const char *name : {"LProgramName", "LVersion", "LBuildDate", "LHomePage", "LLicence"}) {
        const QLabel *label = child<QLabel>(about, name);
        SCOPED_TRACE(name);
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_GE(label->height(), label->sizeHint().height());
    }
    const QString licence = child<QLabel>(about, "LLicence")->text();
    for (const char *part : {"Copyright (C) 20", "The Tarvine developers", "GPL-3.0-or-later",
                             "without any warranty", "Built with Qt 6", "QCustomPlot"})
        EXPECT_TRUE(licence.contains(QLatin1String(part))) << part;
}

TEST(AppWindows, ClosingTheMainWindowEndsTheProgramEvenWithToolWindowsOpen)
{
    AppWindows windows;
    windows.main().show();
    child<QAction>(windows.main(), "MenuComStatistics")->trigger();
    ASSERT_TRUE(windows.information().isVisible());
    int lastClosed = 0;
    QObject context;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, &context, [&] { ++lastClosed; });
    // The message loop ends by itself when the main window closes. (A quit
    // request left behind by another test's closed window would end it at once.)
    QCoreApplication::removePostedEvents(qApp, QEvent::Quit);
    QTimer::singleShot(0, &windows.main(), [&windows] { windows.main().close(); });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(3000);
    QApplication::exec();
    EXPECT_TRUE(guard.isActive()) << "the loop ran into its guard time";
    EXPECT_EQ(lastClosed, 1);
}
