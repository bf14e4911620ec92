// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Stop latency from the windows, while polling at RefreshRatio 2: a mouse
// click on the main window's STOP button (`BDriverStop`) and the Esc key in a
// tool window (the limits window), to the first byte of the "Driver Stop"
// write (20 00) on the virtual controller's wire, on a clean link and with
// 5 % of the answers dropped. The windows run offscreen unless
// QT_QPA_PLATFORM says otherwise; the virtual controller runs in this process
// (its receive time and the tool's clock are the same steady clock).
//
// Usage: bench_stop_window [stops per run, default 300]
#include "StopLatency.h"
#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "protocol/ConnectionState.h"
#include "sim/SimController.h"
#include "sim/SimModel.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/features/TFormLimits.h"
#include "ui/main/RefreshPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <cstdio>
#include <cstdlib>

namespace {

enum class Trigger { Button, Escape };

struct Run
{
    const char *name;
    const char *fault;
    Trigger trigger;
};

void runOne(const Run &run, int count)
{
    SimServerConfig config;
    config.bindAddress = "127.0.0.79";
    SimServer server(config,
                     std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{}));
    if (!server.start()) {
        std::fprintf(stderr, "bench_stop_window: the virtual controller did not start\n");
        std::exit(1);
    }
    stopbench::WireTap tap(server);

    AppWindows windows;
    TFormMain &main = windows.main();
    main.show();
    TFormParamIP &paramIP = windows.paramIP();
    QLMCConnection &connection = paramIP.connection();
    connection.setPorts(server.tcpPort(), server.udpPort());
    paramIP.setTarget(ComModes::TcpDirect, QStringLiteral("127.0.0.79"));
    paramIP.BOpenClick();
    for (int i = 0; i < 500 && !(main.windowTitle().contains(QLatin1String("NETEC-A"))
                                 && connection.isSettled());
         ++i)
        stopbench::spin(10);
    if (!main.windowTitle().contains(QLatin1String("NETEC-A"))) {
        std::fprintf(stderr, "bench_stop_window: no identification\n");
        std::exit(1);
    }
    main.refreshPanel()->refreshTrack()->setValue(1); // RefreshRatio 2
    if (!main.pollingCheckBox()->isChecked())
        main.pollingCheckBox()->click();
    if (run.fault && !server.faults().apply(run.fault)) {
        std::fprintf(stderr, "bench_stop_window: fault %s not understood\n", run.fault);
        std::exit(1);
    }
    stopbench::spin(500); // the time-out follows the link

    QPushButton *button = main.driverStopButton();
    TFormLimits &limits = windows.limits();
    if (run.trigger == Trigger::Escape) {
        limits.show();
        QApplication::setActiveWindow(&limits);
    } else {
        QApplication::setActiveWindow(&main);
    }
    const auto trigger = [&] {
        if (run.trigger == Trigger::Button)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            QTest::keyClick(&limits, Qt::Key_Escape);
    };
    const CommStatistics &s = main.context().session().statistics();
    const int cut0 = s.waitsCutShort;
    const std::vector<double> ms = stopbench::measure(tap, {0x20, 0x00}, trigger, count);
    std::printf("%-18s %-22s %d stops: median %.2f ms, p99 %.2f ms, max %.2f ms; time-out %d ms, "
                "%d waits cut short, %d answers late\n",
                run.trigger == Trigger::Button ? "BDriverStop click" : "Esc in tool window",
                run.name, count, stopbench::percentile(ms, 0.5), stopbench::percentile(ms, 0.99),
                stopbench::percentile(ms, 1.0), s.shown.answerTimeoutMs.load(),
                s.waitsCutShort.load() - cut0, s.lateAnswers.load());
    limits.close();
    main.closeCommunication();
    stopbench::spin(100);
    server.stop();
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The scan windows are never shown here; their engines stay on loopback all the same.
    qputenv("TARVINE_DISCOVERY", "loopback");
    QApplication app(argc, argv);
    std::printf("stop latency, window to the write on the wire, polling at RefreshRatio 2\n");
    for (const Run &run : {Run{"clean link", nullptr, Trigger::Button},
                           Run{"5 % answers dropped", "drop=0.05", Trigger::Button},
                           Run{"clean link", nullptr, Trigger::Escape},
                           Run{"5 % answers dropped", "drop=0.05", Trigger::Escape}})
        runOne(run, count);
    return 0;
}
