// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Stop latency while polling at RefreshRatio 2: from the core STOP call
// (QLMCSession::requestDriverStop through driverStop(), as every window's STOP
// makes it) and from an auto-tuning Abort (applyWizardRequests) to the first
// byte of their write on the virtual controller's wire, on a clean link and
// with 5 % of the answers dropped.
//
// The virtual controller runs in this process (its receive time and the
// tool's clock are the same steady clock). Usage: bench_stop [stops per run,
// default 300]
#include "StopLatency.h"
#include "device/QLMCSession.h"
#include "features/AutoTuningWizard.h"
#include "link/QLMCConnection.h"
#include "panel/ConsignModel.h"
#include "panel/DriverStop.h"
#include "panel/TThreadInputTimer.h"
#include "sim/SimController.h"
#include "sim/SimModel.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

struct Run
{
    const char *name;
    const char *fault;
    bool abort;
};

void runOne(const Run &run, int count)
{
    SimServerConfig config;
    config.bindAddress = "127.0.0.78";
    SimServer server(config,
                     std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{}));
    if (!server.start()) {
        std::fprintf(stderr, "bench_stop: the virtual controller did not start\n");
        std::exit(1);
    }
    stopbench::WireTap tap(server);

    QLMCSession session;
    QLMCConnection connection(session);
    ConsignModel consign(session);
    TThreadInputTimer autoChange(consign);
    bool identified = false;
    QObject::connect(&connection, &QLMCConnection::identified,
                     [&](const ModelProfile &) { identified = true; });
    connection.setPorts(server.tcpPort(), server.udpPort());
    connection.setComMode(ComModes::TcpDirect);
    connection.open(QStringLiteral("127.0.0.78"));
    for (int i = 0; i < 2000 && !(identified && connection.isSettled()); ++i)
        stopbench::spin(10);
    if (!identified) {
        std::fprintf(stderr, "bench_stop: no identification\n");
        std::exit(1);
    }
    session.RefreshRatio = 2;
    if (run.fault && !server.faults().apply(run.fault)) {
        std::fprintf(stderr, "bench_stop: fault %s not understood\n", run.fault);
        std::exit(1);
    }
    stopbench::spin(500); // the time-out follows the link

    AutoTuningWizard wizard;
    wizard.setConnected(true);
    wizard.identified(true);
    if (run.abort) // a run going on: its button now aborts
        applyWizardRequests(session, wizard, wizard.startClicked(TuningKind::PidOnly));
    const std::vector<uint8_t> payload =
        run.abort ? std::vector<uint8_t>{0x39, 0x02} : std::vector<uint8_t>{0x20, 0x00};
    const auto trigger = [&] {
        if (run.abort)
            applyWizardRequests(session, wizard, wizard.startClicked(TuningKind::PidOnly));
        else
            driverStop(session, consign, autoChange);
    };
    const int cut0 = session.statistics().waitsCutShort;
    const std::vector<double> ms = stopbench::measure(tap, payload, trigger, count);
    const CommStatistics &s = session.statistics();
    std::printf("%-6s %-22s %d stops: median %.2f ms, p99 %.2f ms, max %.2f ms; time-out %d ms, "
                "%d waits cut short, %d answers late\n",
                run.abort ? "Abort" : "STOP", run.name, count, stopbench::percentile(ms, 0.5),
                stopbench::percentile(ms, 0.99), stopbench::percentile(ms, 1.0),
                s.shown.answerTimeoutMs.load(), s.waitsCutShort.load() - cut0,
                s.lateAnswers.load());
    autoChange.terminate();
    connection.closeFromMenu();
    stopbench::spin(100);
    server.stop();
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    QCoreApplication app(argc, argv);
    std::printf("stop latency, core call to the write on the wire, polling at RefreshRatio 2\n");
    for (const Run &run : {Run{"clean link", nullptr, false},
                           Run{"5 % answers dropped", "drop=0.05", false},
                           Run{"clean link", nullptr, true},
                           Run{"5 % answers dropped", "drop=0.05", true}})
        runOne(run, count);
    return 0;
}
