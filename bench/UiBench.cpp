// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The user-interface thread under load: the main window connected to the
// virtual controller, polling at RefreshRatio 2 with the charts on and a
// position move running. Prints how busy the user-interface thread is, the
// time of a display run, of a chart sample (all five charts) and of a chart
// redraw; then the cost of a sample against the history length, the repaint
// of the visible chart, and the two ways of handing 200 points to a graph.
//
// The virtual controller runs in a child process so that the CPU figures are
// the tool's alone. With "record" a recording of the live values runs through
// the File menu's recorder (into a temporary file) while it is measured, and
// its lines, size and dropped lines are printed too.
//
// The live run is made twice: with the charts' default history (200 samples)
// and with the 60 s history on every chart, whose first minute fills it.
//
// With "fleet" instead, the Fleet window over 100 virtual controllers (a child
// process, 127.0.33.1..100, found by discovery on the loopback network), each
// polled a few times a second: the user-interface thread's busy share.
//
// Usage: bench_ui [seconds of polling, default 5] [record|fleet]
#include "ChildController.h"
#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "platform/HighResCounter.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "protocol/ConnectionState.h"
#include "record/LiveRecorder.h"
#include "record/SampleHistory.h"
#include "support/DiscoverySims.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/fleet/TFormFleet.h"
#include "ui/main/GraphsPanel.h"
#include "ui/main/RecordingControl.h"
#include "ui/main/RefreshPanel.h"
#include "ui/widgets/LiveChart.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSlider>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char *Host = "127.0.0.79";
constexpr uint16_t Port = 18630;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void spin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Durations in microseconds, summarised.
struct Timings
{
    std::vector<double> us;
    void add(Clock::time_point start) { us.push_back(secondsSince(start) * 1e6); }
    double mean() const
    {
        double sum = 0;
        for (double v : us)
            sum += v;
        return us.empty() ? 0 : sum / double(us.size());
    }
    double percentile(double p) const
    {
        if (us.empty())
            return 0;
        std::vector<double> sorted = us;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size())))];
    }
};

// Adds up the wall time the user-interface thread spends delivering events
// (timers, socket notifications, queued calls, paints): its busy time. The
// event dispatcher's own bookkeeping around the wait is not counted.
class MeasuredApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (m_depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        ++m_depth;
        const auto start = Clock::now();
        const bool handled = QApplication::notify(receiver, event);
        m_busy += secondsSince(start);
        --m_depth;
        return handled;
    }

    void resetBusy() { m_busy = 0; }
    double busySeconds() const { return m_busy; }

private:
    int m_depth = 0;
    double m_busy = 0;
};

/// What the user-interface thread and the process spent while the event loop
/// ran for a measured time.
struct LoopLoad
{
    double elapsed = 0;    ///< seconds
    double busy = 0;       ///< share of the time the thread handled events
    double threadCpu = 0;  ///< the thread's CPU seconds
    double processCpu = 0; ///< the process's CPU seconds
};

LoopLoad runEventLoopFor(int seconds)
{
    auto *app = static_cast<MeasuredApplication *>(QApplication::instance());
    app->resetBusy();
    const double threadCpu0 = threadCpuSeconds();
    const double processCpu0 = processCpuSeconds();
    const auto start = Clock::now();
    QTimer stop;
    stop.setSingleShot(true);
    QEventLoop loop;
    QObject::connect(&stop, &QTimer::timeout, &loop, &QEventLoop::quit);
    stop.start(seconds * 1000);
    loop.exec();
    LoopLoad load;
    load.elapsed = secondsSince(start);
    load.threadCpu = threadCpuSeconds() - threadCpu0;
    load.processCpu = processCpuSeconds() - processCpu0;
    load.busy = app->busySeconds() / load.elapsed;
    return load;
}

void writeRegister(TFormMain &main, int address, int64_t value)
{
    QLMCSession &session = main.context().session();
    RegisterLockGuard guard(session.lock());
    session.motor().RequestWrite(address, value);
}

void liveRun(AppWindows &windows, int seconds, bool record, HistoryLength history)
{
    TFormMain &main = windows.main();
    TFormParamIP &paramIP = windows.paramIP();
    GraphsPanel *graphs = main.context().panels().graphs;
    for (int page = 0; page < GraphsPanel::PageCount; ++page)
        graphs->chart(GraphsPanel::Page(page))->setHistoryLength(history);

    paramIP.setTarget(ComModes::TcpDirect, QString::fromLatin1(Host));
    paramIP.connection().setPorts(Port, Port);
    paramIP.BOpenClick();
    QElapsedTimer wait;
    wait.start();
    while (!main.windowTitle().contains(QLatin1String("NETEC-A")) && wait.elapsed() < 5000)
        spin(10);
    if (!main.windowTitle().contains(QLatin1String("NETEC-A"))) {
        std::fprintf(stderr, "bench_ui: no identification\n");
        std::exit(1);
    }
    spin(500); // the full read after identification

    // The measuring connections end with this run (their context object).
    QObject scope;
    // RefreshRatio 2 (track bar position 1), a position move back and forth.
    main.refreshPanel()->refreshTrack()->setValue(1);
    writeRegister(main, Reg::RegulationMode, 5);
    bool high = true;
    const auto step = [&] {
        writeRegister(main, Reg::Input, high ? 20000 : -20000);
        high = !high;
    };
    QTimer move;
    QObject::connect(&move, &QTimer::timeout, &scope, step);
    move.start(1500);
    step();

    // Time the display runs and the chart samples where they happen.
    Timings display;
    Timings sample;
    Timings redraw;
    QObject::disconnect(&main.displayTimer(), &QTimer::timeout, &main, nullptr);
    QObject::connect(&main.displayTimer(), &QTimer::timeout, &scope, [&] {
        main.displayTimer().stop();
        const auto t0 = Clock::now();
        main.runDisplay();
        display.add(t0);
    });
    QObject::disconnect(&main.context().sessionBridge(), &GuiSessionBridge::graphSampleArrived,
                        graphs, nullptr);
    QObject::connect(&main.context().sessionBridge(), &GuiSessionBridge::graphSampleArrived, &scope,
                     [&](const ReceivedValues &values, qint64 ticks) {
                         const auto t0 = Clock::now();
                         graphs->addSample(values, ticks);
                         sample.add(t0);
                     });
    LiveChart *shown = graphs->chart(GraphsPanel::PositionPage);
    main.graphPages()->setCurrentIndex(GraphsPanel::PositionPage);
    Clock::time_point replotStart;
    QObject::connect(shown, &QCustomPlot::beforeReplot, &scope,
                     [&] { replotStart = Clock::now(); });
    QObject::connect(shown, &QCustomPlot::afterReplot, &scope, [&] { redraw.add(replotStart); });
    // A time-based history is measured full (at 500 samples a second).
    spin(history.unit == HistoryLength::Unit::Seconds ? int(history.amount * 1000) + 1000 : 1000);

    display.us.clear();
    sample.us.clear();
    redraw.us.clear();
    QTemporaryDir folder;
    auto *recording = main.findChild<RecordingControl *>();
    if (record && !recording->start(folder.filePath(QStringLiteral("live.csv")))) {
        std::fprintf(stderr, "bench_ui: the recording did not start\n");
        std::exit(1);
    }
    const LoopLoad load = runEventLoopFor(seconds);
    const double elapsed = load.elapsed;
    const double threadCpu = load.threadCpu;
    const double processCpu = load.processCpu;
    if (record)
        recording->stop();

    std::printf("polling RefreshRatio %d, charts on (history %s, %zu samples held), position "
                "move, %.1f s:\n",
                main.context().session().RefreshRatio.load(), history.label().c_str(),
                shown->history().size(), elapsed);
    const double busy = load.busy;
    std::printf("  user-interface thread busy %.1f %% (wall time handling events), "
                "its CPU %.1f %% of one core; whole tool %.1f %%\n",
                100.0 * busy, 100.0 * threadCpu / elapsed, 100.0 * processCpu / elapsed);
    std::printf("  chart samples %.0f/s: %.1f us mean, p99 %.1f us (all five charts)\n",
                double(sample.us.size()) / elapsed, sample.mean(), sample.percentile(0.99));
    std::printf("  display runs %.1f/s: %.1f us mean, p99 %.1f us, max %.1f us\n",
                double(display.us.size()) / elapsed, display.mean(), display.percentile(0.99),
                display.percentile(1.0));
    std::printf("  redraws of the shown chart %.1f/s: %.0f us mean, p99 %.0f us\n",
                double(redraw.us.size()) / elapsed, redraw.mean(), redraw.percentile(0.99));
    std::printf("  targets: user-interface thread under 20 %%: %s; display run under 5 ms: %s\n",
                busy < 0.2 ? "met" : "MISSED", display.percentile(0.99) < 5000 ? "met" : "MISSED");
    if (record) {
        const LiveRecorder::Progress p = main.context().recorder().progress();
        std::printf(
            "  recording: %lld lines (%.0f/s), %.1f MB, %lld dropped; no line dropped: %s\n",
            (long long)p.lines, double(p.lines) / elapsed, double(p.bytes) / 1e6,
            (long long)p.dropped, p.dropped == 0 && !p.failed ? "met" : "MISSED");
    }

    move.stop();
    paramIP.connection().closeFromMenu();
    spin(200);
}

// Cost of one sample on all five charts after \a history samples.
double sampleCost(GraphsPanel &graphs, long history, int count)
{
    ReceivedValues v;
    for (long i = 0; i < history; ++i) {
        v.Position = int32_t(i);
        graphs.addSample(v, HighResCounter::now());
    }
    const auto t0 = Clock::now();
    for (int i = 0; i < count; ++i) {
        v.Position = i;
        v.Speed = i % 1000;
        v.CurrentLive = float(i % 100) / 100;
        graphs.addSample(v, HighResCounter::now());
    }
    return secondsSince(t0) * 1e6 / count;
}

void offlineRun(AppWindows &windows)
{
    TFormMain &main = windows.main();
    GraphsPanel *graphs = main.context().panels().graphs;
    main.graphicCheckBox()->setChecked(true);
    QApplication::processEvents();

    std::printf("one sample on all five charts (60 s history):\n");
    std::printf("  after 200 samples: %.2f us; after 100000 samples: %.2f us\n",
                sampleCost(*graphs, 0, 20000), sampleCost(*graphs, 100000, 20000));

    for (GraphsPanel::Page page : {GraphsPanel::PositionPage, GraphsPanel::CurrentPage}) {
        main.graphPages()->setCurrentIndex(page);
        QApplication::processEvents();
        LiveChart *chart = graphs->chart(page);
        chart->redrawNow();
        const int count = 200;
        const auto t0 = Clock::now();
        for (int i = 0; i < count; ++i) {
            ReceivedValues v;
            v.Position = i * 37;
            v.CurrentLive = float(i % 10) / 10;
            graphs->addSample(v, HighResCounter::now());
            chart->redrawNow();
        }
        std::printf("  repaint of the shown %s chart (%d series, %dx%d): %.0f us\n",
                    qPrintable(chart->objectName()), chart->seriesCount(), chart->width(),
                    chart->height(), secondsSince(t0) * 1e6 / count);
    }

    // One series of a 60 s history at 500 samples a second: a sample into
    // the ring, and the thinning of the 30,000 samples for a 1000-pixel plot.
    SampleHistory history(HistoryLength::seconds(60));
    history.addSeries();
    const int rounds = 100000;
    auto t0 = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        const double v[1] = {double(r % 977)};
        history.append(r * 0.002, v);
    }
    const double append = secondsSince(t0) * 1e9 / rounds;
    std::vector<HistoryPoint> points;
    const int thinnings = 200;
    t0 = Clock::now();
    for (int r = 0; r < thinnings; ++r)
        history.decimate(0, history.key(0), history.key(history.size() - 1), 1000, 1024, points);
    const double thin = secondsSince(t0) * 1e6 / thinnings;
    std::printf("one series, 60 s history: a sample into the ring %.0f ns; %zu samples thinned "
                "to %zu points for 1000 columns %.0f us\n",
                append, history.size(), points.size(), thin);
}

// Many virtual controllers in a child process.
class ChildFleet
{
public:
    ChildFleet(int count, uint16_t port)
    {
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            testsupport::DiscoverySims sims;
            sims.port = port;
            sims.tcpOnSharedPort = true;
            try {
                sims.addRange(count, 33);
            } catch (const std::exception &) {
                _exit(1);
            }
            // Every controller's mode register counts up (the drive does not
            // act on the image alone): each poll brings a change to show.
            for (;;) {
                usleep(100000);
                for (auto &server : sims.servers)
                    server->controller()->raiseImageValue(Reg::RegulationMode, 1);
            }
        }
        usleep(500000);
    }
    ~ChildFleet()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

void fleetRun(AppWindows &windows, int seconds)
{
    constexpr int Count = 100;
    constexpr uint16_t FleetPort = 18640;
    const ChildFleet child(Count, FleetPort);
    LoopbackDiscoveryNetwork network({LoopbackDiscoveryNetwork::virtualAdapter()}, {127, 0, 33, 1},
                                     {127, 0, 33, Count});
    TFormFleet &fleet = windows.fleet();
    fleet.monitor().useNetwork(&network, FleetPort, 500, FleetPort);
    QTableWidget *grid = fleet.grid();
    auto live = [&] {
        int n = 0;
        for (int r = 0; r < grid->rowCount(); ++r)
            n += grid->item(r, TFormFleet::ColState)->text() == QLatin1String("live");
        return n;
    };
    fleet.show();
    QElapsedTimer wait;
    wait.start();
    while (live() < Count && wait.elapsed() < 20000)
        spin(50);
    if (live() < Count) {
        std::fprintf(stderr, "bench_ui: %d of %d controllers live\n", live(), Count);
        std::exit(1);
    }
    long updates = 0;
    QObject scope;
    QObject::connect(&fleet.monitor(), &FleetMonitor::rowsChanged, &scope,
                     [&](const QList<int> &rows) { updates += rows.size(); });
    const LoopLoad load = runEventLoopFor(seconds);
    const double elapsed = load.elapsed;
    const double busy = load.busy;
    std::printf("Fleet window, %d controllers polled every %d ms, %.1f s (%d live at the end):\n",
                Count, FleetMonitor::PollIntervalMs, elapsed, live());
    std::printf("  user-interface thread busy %.1f %% (wall time handling events), its CPU %.1f %% "
                "of one core; whole tool %.1f %%; %.0f row updates/s\n",
                100.0 * busy, 100.0 * load.threadCpu / elapsed, 100.0 * load.processCpu / elapsed,
                double(updates) / elapsed);
    std::printf("  target: user-interface thread under 20 %%: %s\n", busy < 0.2 ? "met" : "MISSED");
    fleet.hide();
}

} // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure as soon as it is measured
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const bool record = argc > 2 && std::strcmp(argv[2], "record") == 0;
    if (argc > 2 && std::strcmp(argv[2], "fleet") == 0) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        MeasuredApplication app(argc, argv);
        AppWindows windows;
        windows.main().show();
        fleetRun(windows, seconds);
        return 0;
    }

    const ChildController controller(Host, Port);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    {
        MeasuredApplication app(argc, argv);
        AppWindows windows;
        windows.main().show();
        liveRun(windows, seconds, record, HistoryLength::samples(LiveChart::DefaultHistorySamples));
        liveRun(windows, seconds, record, HistoryLength::seconds(60));
        offlineRun(windows);
    }
    return 0;
}
