// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fault soak: the tool's core (session, sender thread, connection, reassembly
// and decoder) polls in-process virtual controllers over TCP, UDP and a
// gateway while they misbehave in turn (drop, delay, corrupt, split, merge,
// garbage, oversize, malformed, close-after with a reopen), and while the
// consign and some parameters are written all the time.
//
// It fails (exit 1) when the counters do not add up after a phase, when a
// reopen does not identify the device, or when memory grows; a watchdog ends
// the run (exit 2) when the sender thread or the event loop stalls for 10 s.
//
// Usage: tarvine_soak [--seconds N (60)] [--phase-seconds N] [--seed N]
//                     [--rss-slack-mib N (4)] [--direct-address A (127.0.0.91)]
//                     [--gateway-address A (127.0.0.92)] [--tcp-port P (0: any free)]
//                     [--udp-port P (0: any free)] [--verbose]
// Two soaks run side by side on different addresses (or ports).
#include "SoakLedger.h"

#include "device/QLMCSession.h"
#include "device/SessionListener.h"
#include "link/QLMCConnection.h"
#include "link/QLMCThreadSendPacket.h"
#include "platform/ThreadHandOver.h"
#include "sim/SimServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double rssMiB()
{
    long pages = 0;
    long resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

/// The window layer's part: every notification is handed to the event-loop
/// thread through the hand-over queue and counted there.
class SoakListener : public SessionListener
{
public:
    ThreadHandOver handOver;
    uint64_t handled = 0; ///< event-loop thread only
    std::atomic<uint64_t> samples{0};

    void armMainDisplay() override { hand(); }
    void startWindowDisplay(Display) override { hand(); }
    void directValueReceived(DirectValue) override { hand(); }
    void limitsReceived() override { hand(); }
    void identificationReady() override { hand(); }
    void graphSample(const ReceivedValues &values, int64_t) override
    {
        ++samples;
        handOver.post([this, values] { handled += 1 + (values.Position & 0); });
    }

private:
    void hand()
    {
        handOver.post([this] { ++handled; });
    }
};

/// Fails the run when the sender thread or the event loop stops moving.
class Watchdog
{
public:
    static constexpr auto Limit = std::chrono::seconds(10);
    std::atomic<int64_t> uiBeat{0}; ///< steady-clock ticks of the last event-loop beat

    Watchdog(const QLMCThreadSendPacket &sender)
        : m_sender(sender)
    {
        beat();
        m_thread = std::thread([this] { run(); });
    }
    ~Watchdog()
    {
        m_stop = true;
        m_thread.join();
    }
    void beat() { uiBeat = Clock::now().time_since_epoch().count(); }

private:
    void run()
    {
        uint64_t passes = m_sender.passes();
        auto moved = Clock::now();
        while (!m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const auto now = Clock::now();
            // An idle sender (nothing to send, or its link closed) is not stalled.
            if (m_sender.passes() != passes || m_sender.idle()) {
                passes = m_sender.passes();
                moved = now;
            }
            const char *stalled = nullptr;
            if (now - moved > Limit)
                stalled = "the sender thread";
            else if (now.time_since_epoch().count() - uiBeat.load()
                     > std::chrono::duration_cast<Clock::duration>(Limit).count())
                stalled = "the event loop";
            if (stalled) {
                std::fprintf(stderr, "soak: FAIL: %s stalled for more than 10 s\n", stalled);
                std::fflush(stderr);
                std::_Exit(2);
            }
        }
    }

    const QLMCThreadSendPacket &m_sender;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

struct Options
{
    int seconds = 60;
    int phaseSeconds = 0;
    uint64_t seed = 1;
    double rssSlackMiB = 4.0;
    std::string directAddress = "127.0.0.91";
    std::string gatewayAddress = "127.0.0.92";
    int tcpPort = 0; ///< 0: an ephemeral port
    int udpPort = 0;
    bool verbose = false;
};

/// A loopback address (the virtual controllers never face a real network).
bool isLoopback(const std::string &text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1
           && (ntohl(address.s_addr) >> 24) == 127;
}

bool parsePort(const char *text, int &port)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = int(value);
    return true;
}

bool parse(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--seconds" && hasValue)
            o.seconds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--phase-seconds" && hasValue)
            o.phaseSeconds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--seed" && hasValue)
            o.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (arg == "--rss-slack-mib" && hasValue)
            o.rssSlackMiB = std::atof(argv[++i]);
        else if (arg == "--direct-address" && hasValue && isLoopback(argv[i + 1]))
            o.directAddress = argv[++i];
        else if (arg == "--gateway-address" && hasValue && isLoopback(argv[i + 1]))
            o.gatewayAddress = argv[++i];
        else if (arg == "--tcp-port" && hasValue && parsePort(argv[i + 1], o.tcpPort))
            ++i;
        else if (arg == "--udp-port" && hasValue && parsePort(argv[i + 1], o.udpPort))
            ++i;
        else if (arg == "--verbose")
            o.verbose = true;
        else
            return false;
    }
    if (o.phaseSeconds == 0)
        o.phaseSeconds = std::clamp(o.seconds / 30, 2, 6);
    return true;
}

enum class Link { Tcp, Udp, Gateway };
const char *linkName(Link link)
{
    return link == Link::Tcp ? "tcp" : link == Link::Udp ? "udp" : "gateway";
}

constexpr int GatewayModule = 16;

class Soak
{
public:
    explicit Soak(const Options &options)
        : m_options(options)
        , m_connection(m_session, &m_listener)
        , m_ledger(m_session)
    {
        auto model = parseSimModel("NETEC-A");
        SimServerConfig direct;
        direct.bindAddress = options.directAddress;
        direct.tcpPort = uint16_t(options.tcpPort);
        direct.udpPort = uint16_t(options.udpPort);
        m_direct = std::make_unique<SimServer>(
            direct, std::make_shared<SimController>(*model, SimIdentity{}));
        SimServerConfig gateway;
        gateway.bindAddress = options.gatewayAddress;
        gateway.tcpPort = uint16_t(options.tcpPort);
        gateway.udpPort = uint16_t(options.udpPort);
        std::map<int, std::shared_ptr<SimController>> modules;
        modules[GatewayModule] = std::make_shared<SimController>(*model, SimIdentity{});
        m_gateway =
            std::make_unique<SimServer>(gateway, SimGatewayIdentity{}, std::move(modules));
        m_log->setCallback([this](const SimWireEvent &event) { m_wire.record(event); });
        m_direct->setLog(m_log);
        m_gateway->setLog(m_log);

        QObject::connect(&m_connection, &QLMCConnection::connectedStateChanged,
                         [this](bool connected) {
                             if (connected)
                                 m_ledger.opened();
                         });
        QObject::connect(&m_connection, &QLMCConnection::identified,
                         [this](const ModelProfile &profile) {
                             m_identified = profile.known;
                             ++m_identifications;
                         });
    }

    int run()
    {
        std::string error;
        if (!m_direct->start(&error) || !m_gateway->start(&error)) {
            std::fprintf(stderr, "soak: the virtual controller did not start: %s\n",
                         error.c_str());
            return 1;
        }
        Watchdog watchdog(m_connection.sender());
        QTimer beat;
        QObject::connect(&beat, &QTimer::timeout, [&] { watchdog.beat(); });
        beat.start(100);
        QTimer writer;
        QObject::connect(&writer, &QTimer::timeout, [this] { writeSome(); });
        writer.start(20);

        m_clock.start();
        const int64_t endMs = int64_t(m_options.seconds) * 1000;
        const int64_t baselineMs = std::min<int64_t>(60000, endMs / 2);
        std::printf("soak: %d s, phases of %d s, seed %llu\n", m_options.seconds,
                    m_options.phaseSeconds, static_cast<unsigned long long>(m_options.seed));
        std::fflush(stdout);

        const int faultCount = int(SoakFault::Count);
        for (int phase = 0; m_clock.elapsed() < endMs; ++phase) {
            // The links take turns, so that a short run sees all three.
            const Link link = Link(phase % 3);
            const SoakFault fault = SoakFault((phase / 3) % faultCount);
            if (!m_connected || link != m_link)
                switchTo(link);
            runPhase(phase, fault, std::min<int64_t>(m_options.phaseSeconds * 1000,
                                                     std::max<int64_t>(1000, endMs - m_clock.elapsed())),
                     baselineMs);
        }
        close();
        if (m_rssBaseline == 0)
            m_rssBaseline = rssMiB();
        const double rssEnd = rssMiB();
        const ToolCounts total = m_ledger.now();
        std::printf(
            "soak: %.0f s, requests %lld (read %lld, write %lld), answers %lld, checksum errors "
            "%lld, dropped datagrams %lld, acknowledge errors %lld, late %lld, lost %lld; faults "
            "injected "
            "%llu (",
            double(m_clock.elapsed()) / 1000.0, static_cast<long long>(total.sent()),
            static_cast<long long>(total.reads), static_cast<long long>(total.writes),
            static_cast<long long>(total.decoded), static_cast<long long>(total.checksumErrors),
            static_cast<long long>(total.datagramsDropped),
            static_cast<long long>(total.acknowledgeErrors), static_cast<long long>(total.late),
            static_cast<long long>(total.unaccounted()),
            static_cast<unsigned long long>(m_wire.faultsInjected()));
        for (int f = 1; f < faultCount; ++f)
            std::printf("%s%s %llu", f > 1 ? ", " : "", soakFaultName(SoakFault(f)),
                        static_cast<unsigned long long>(m_wire.faults[size_t(f)].load()));
        std::printf("); reopens %d (identification retries %d), identifications %d; "
                    "consign/parameter writes %llu; notifications handed over %llu; "
                    "RSS %.1f MiB at %lld s, %.1f MiB at the end\n",
                    m_reopens, m_identifyRetries, m_identifications,
                    static_cast<unsigned long long>(m_writes),
                    static_cast<unsigned long long>(m_listener.handled),
                    m_rssBaseline, static_cast<long long>(baselineMs / 1000), rssEnd);
        if (rssEnd - m_rssBaseline > m_options.rssSlackMiB)
            fail("resident memory grew by " + std::to_string(rssEnd - m_rssBaseline) + " MiB");
        m_direct->stop();
        m_gateway->stop();
        std::printf("soak: %s (%d failures)\n", m_failures ? "FAIL" : "PASS", m_failures);
        return m_failures ? 1 : 0;
    }

private:
    SimServer &server() { return m_link == Link::Gateway ? *m_gateway : *m_direct; }

    void spin(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(500);
        }
    }
    bool spinUntil(const std::function<bool()> &done, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(500);
        }
        return true;
    }

    void fail(const std::string &why)
    {
        ++m_failures;
        std::printf("soak: FAIL at %.1f s: %s\n", double(m_clock.elapsed()) / 1000.0, why.c_str());
        std::fflush(stdout);
    }

    void close()
    {
        if (m_connection.isConnected() || m_connection.isTcpActive()) {
            m_connection.closeFromMenu();
            spinUntil([this] { return !m_connection.isTcpActive(); }, 2000);
        }
        afterClose();
    }

    void afterClose()
    {
        // A UDP answer may still be decoded on the sender thread: wait for quiet.
        spin(m_link == Link::Udp ? 300 : 20);
        m_ledger.fold();
        m_connected = false;
        m_identified = false;
    }

    /// Opens on the current link and waits for the identification; without it,
    /// closes and opens again.
    void openAndIdentify()
    {
        for (int attempt = 0; attempt < 8; ++attempt) {
            if (attempt > 0) {
                ++m_identifyRetries;
                close();
            }
            m_identified = false;
            m_connection.setComMode(m_link == Link::Tcp       ? ComModes::TcpDirect
                                    : m_link == Link::Udp     ? ComModes::Udp
                                                              : ComModes::TcpGateway);
            m_connection.setI2CAddress(GatewayModule);
            const SimServer &s = server();
            m_connection.setPorts(s.tcpPort(), s.udpPort());
            m_connection.open(QString::fromStdString(s.address()));
            // Identification waits through a lost Type/Version answer (the
            // answer time-out) before the device counts as silent.
            if (spinUntil([this] { return m_identified || (m_connection.comMode() == ComModes::Closed); },
                          8000)
                && m_identified) {
                m_connected = true;
                return;
            }
        }
        fail(std::string("no identification over ") + linkName(m_link) + " after 8 opens");
    }

    void switchTo(Link link)
    {
        close();
        m_link = link;
        m_direct->faults().clear();
        m_gateway->faults().clear();
        openAndIdentify();
    }

    void reopen()
    {
        ++m_reopens;
        afterClose();
        openAndIdentify();
    }

    void applyFault(SimFaults &faults, SoakFault fault)
    {
        faults.clear();
        switch (fault) {
        case SoakFault::None:
            break;
        case SoakFault::Drop:
            faults.setDrop(SimFaultRate::chance(0.2));
            break;
        case SoakFault::Delay:
            faults.setDelayMs(40);
            break;
        case SoakFault::Corrupt:
            faults.setCorrupt(SimFaultRate::every(5));
            break;
        case SoakFault::Split:
            faults.setSplit(SimFaultRate::always(), 3, 5);
            break;
        case SoakFault::Merge:
            faults.setMerge(SimFaultRate::chance(0.3));
            break;
        case SoakFault::Garbage:
            faults.setGarbage(SimFaultRate::chance(0.1));
            break;
        case SoakFault::Oversize:
            faults.setOversize(SimFaultRate::chance(0.1));
            break;
        case SoakFault::Malformed:
            faults.setMalformed(SimFaultRate::chance(0.1));
            break;
        case SoakFault::CloseAfter:
            faults.setCloseAfter(60);
            break;
        case SoakFault::Count:
            break;
        }
    }

    /// The controller closed the connection (close-after): opens again.
    /// Returns true when it did.
    bool reopenIfClosed(SoakFault fault)
    {
        if (m_connection.isConnected())
            return false;
        if (fault == SoakFault::CloseAfter)
            ++m_wire.faults[size_t(SoakFault::CloseAfter)];
        else
            fail(std::string("the connection closed during ") + soakFaultName(fault));
        reopen();
        return true;
    }

    /// Clean link again; waits until a few answers came back and the controller
    /// received every request sent meanwhile, so that only the request in
    /// flight is open. The totals of the tool and the controller may differ
    /// for good by the requests a close caught on the way: only what is sent
    /// from here on is compared. A close the phase's fault made on its last
    /// answers is met here too.
    void settle(SoakFault fault)
    {
        server().faults().clear();
        if (!m_connected)
            openAndIdentify();
        ToolCounts start = m_ledger.now();
        uint64_t received = m_wire.requests.load();
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 8000) {
            if (reopenIfClosed(fault)) {
                start = m_ledger.now();
                received = m_wire.requests.load();
            }
            const ToolCounts c = m_ledger.now();
            if (c.decoded >= start.decoded + 3
                && int64_t(m_wire.requests.load() - received) >= c.sent() - start.sent())
                return;
            spin(5);
        }
        fail(std::string("the link did not settle after ") + linkName(m_link) + " "
             + soakFaultName(fault));
    }

    void runPhase(int phase, SoakFault fault, int64_t ms, int64_t baselineMs)
    {
        const PhaseMark start = PhaseMark::take(m_ledger, m_wire, m_reopens);
        server().faults().setSeed(m_options.seed * 1000 + uint64_t(phase));
        applyFault(server().faults(), fault);

        QElapsedTimer t;
        t.start();
        QElapsedTimer sinceOpen;
        sinceOpen.start();
        while (t.elapsed() < ms) {
            spin(20);
            if (m_rssBaseline == 0 && m_clock.elapsed() >= baselineMs)
                m_rssBaseline = rssMiB();
            if (reopenIfClosed(fault)) {
                sinceOpen.restart();
            } else if (fault == SoakFault::CloseAfter && m_link == Link::Udp
                       && sinceOpen.elapsed() > 1500) {
                // UDP has no connection to lose: the soak closes and reopens.
                ++m_wire.faults[size_t(SoakFault::CloseAfter)];
                ++m_reopens;
                close();
                openAndIdentify();
                sinceOpen.restart();
            }
        }
        settle(fault);

        const PhaseCheck check =
            PhaseCheck::between(fault, start, PhaseMark::take(m_ledger, m_wire, m_reopens));
        const std::string verdict = check.verdict();
        if (m_options.verbose || !verdict.empty())
            std::printf("soak: %6.1f s %-7s %-11s requests %6lld answers %6lld cs %4lld dgram %4lld "
                        "ack %4lld late %4lld lost %4lld damaged %4llu reopens %2d RSS %.1f MiB\n",
                        double(m_clock.elapsed()) / 1000.0, linkName(m_link), soakFaultName(fault),
                        static_cast<long long>(check.tool.sent()),
                        static_cast<long long>(check.tool.decoded),
                        static_cast<long long>(check.tool.checksumErrors),
                        static_cast<long long>(check.tool.datagramsDropped),
                        static_cast<long long>(check.tool.acknowledgeErrors),
                        static_cast<long long>(check.tool.late),
                        static_cast<long long>(check.tool.unaccounted()),
                        static_cast<unsigned long long>(check.damaged), check.reopens, rssMiB());
        if (!verdict.empty())
            fail(std::string(linkName(m_link)) + " " + soakFaultName(fault) + ": " + verdict);
        std::fflush(stdout);
    }

    void writeSome()
    {
        if (!m_identified)
            return;
        ++m_tick;
        RegisterLockGuard guard(m_session.lock());
        QLMCIPMotor &motor = m_session.motor();
        // The consign moves all the time; a parameter changes every 200 ms.
        motor.RequestWrite(Reg::Input, int64_t((m_tick * 37) % 2000) - 1000);
        ++m_writes;
        if (m_tick % 10 == 0) {
            static constexpr int Parameters[] = {Reg::Acceleration, Reg::Deceleration,
                                                 Reg::SpeedMax};
            motor.RequestWrite(Parameters[(m_tick / 10) % 3], 1000 + int64_t(m_tick % 4000));
            ++m_writes;
        }
    }

    Options m_options;
    QLMCSession m_session;
    SoakListener m_listener;
    QLMCConnection m_connection;
    ToolLedger m_ledger;
    WireCounter m_wire;
    std::shared_ptr<SimRequestLog> m_log = std::make_shared<SimRequestLog>();
    std::unique_ptr<SimServer> m_direct;
    std::unique_ptr<SimServer> m_gateway;
    Link m_link = Link::Tcp;
    bool m_connected = false;
    bool m_identified = false;
    int m_identifications = 0;
    int m_reopens = 0;
    int m_identifyRetries = 0;
    int m_failures = 0;
    uint64_t m_tick = 0;
    uint64_t m_writes = 0;
    double m_rssBaseline = 0;
    QElapsedTimer m_clock;
};

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: tarvine_soak [--seconds N] [--phase-seconds N] [--seed N] "
                     "[--rss-slack-mib N]\n"
                     "                    [--direct-address A] [--gateway-address A] "
                     "[--tcp-port P] [--udp-port P] [--verbose]\n"
                     "addresses are loopback (127.x.y.z); port 0 takes any free port\n");
        return 64;
    }
    QCoreApplication app(argc, argv);
    Soak soak(options);
    return soak.run();
}
