// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-sim as scripts use it: options, the ready line, serving, and a clean
// exit on SIGTERM or SIGINT.
#include "SimWireClient.h"

#include "sim/SimCommandLine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using simtest::Bytes;
using simtest::frame;

namespace {

/// tarvine-sim running as a child process with its output on pipes.
class SimProcess
{
public:
    explicit SimProcess(std::vector<std::string> arguments)
    {
        int out[2];
        int err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        arguments.insert(arguments.begin(), TARVINE_SIM_EXECUTABLE);
        std::vector<char *> argv;
        for (std::string &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, TARVINE_SIM_EXECUTABLE, &actions, nullptr, argv.data(), environ)
            != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }
    ~SimProcess()
    {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            wait(5000);
        }
        ::close(m_out);
        ::close(m_err);
    }

    bool started() const { return m_pid > 0; }

    /// The next line of standard output; empty on time-out or end.
    std::string readLine(int timeoutMs = 5000)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (const size_t nl = m_buffer.find('\n'); nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !simtest::readable(m_out, int(left)))
                return {};
            char chunk[4096];
            const ssize_t n = ::read(m_out, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            m_buffer.append(chunk, size_t(n));
        }
    }

    /// Everything left on standard output and error once the process ended.
    std::string rest(int fdChoice)
    {
        const int fd = fdChoice == STDOUT_FILENO ? m_out : m_err;
        std::string text = fdChoice == STDOUT_FILENO ? m_buffer : std::string();
        char chunk[4096];
        while (simtest::readable(fd, 2000)) {
            const ssize_t n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            text.append(chunk, size_t(n));
        }
        return text;
    }

    void signal(int number) { ::kill(m_pid, number); }

    /// Exit status, 128 + signal when killed, -1 on time-out.
    int wait(int timeoutMs)
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int status = 0;
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_reaped = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    bool m_reaped = false;
    std::string m_buffer;
};

struct ReadyLine
{
    std::string address;
    uint16_t tcp = 0;
    uint16_t udp = 0;
};

std::optional<ReadyLine> parseReady(const std::string &line)
{
    static const std::regex pattern(R"(^ready (\S+) tcp=(\d+) udp=(\d+) .*)");
    std::smatch m;
    if (!std::regex_match(line, m, pattern))
        return std::nullopt;
    return ReadyLine{m[1], uint16_t(std::stoi(m[2])), uint16_t(std::stoi(m[3]))};
}

const Bytes IdentifyRequest = simtest::hexBytes("00 21 00 00 00 04 00 11 01 15 FE B4");

TEST(TarvineSim, HelpNamesEveryOptionAndFaultMode)
{
    SimProcess sim({"--help"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.wait(5000), 0);
    const std::string help = sim.rest(STDOUT_FILENO);
    for (const char *option : {"--model",
                               "--version",
                               "--bind",
                               "--allow-any-address",
                               "--tcp-port",
                               "--udp-port",
                               "--count",
                               "--gateway",
                               "--modules",
                               "--log",
                               "--fault",
                               "--name",
                               "--mac",
                               "--seed",
                               "--limit-switches",
                               "--vary",
                               "--help",
                               "drop[=RATE]",
                               "delay=MS",
                               "corrupt[=RATE]",
                               "split[=RATE]",
                               "split-pieces=K",
                               "split-pause=MS",
                               "merge[=RATE]",
                               "close-after=N",
                               "oversize[=RATE]",
                               "malformed[=RATE]",
                               "garbage[=RATE]",
                               "none",
                               "NETEC-A",
                               "BUSST-D"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}

TEST(TarvineSim, StartsAnswersAndExitsCleanlyOnSigterm)
{
    const std::string logPath = ::testing::TempDir() + "tarvine-sim-wire.log";
    std::remove(logPath.c_str());
    SimProcess sim({"--tcp-port", "0", "--udp-port", "0", "--model", "NETEC-A", "--name", "Bench-7",
                    "--mac", "02:00:00:00:00:07", "--log", logPath});
    ASSERT_TRUE(sim.started());
    const std::string line = sim.readLine();
    const auto ready = parseReady(line);
    ASSERT_TRUE(ready) << line << sim.rest(STDERR_FILENO);
    EXPECT_EQ(ready->address, "127.0.0.1");

    simtest::TcpClient client("127.0.0.1", ready->tcp);
    const Bytes answer = client.exchange(frame(0x0021, 3, {0x09}));
    EXPECT_EQ(answer, frame(0x0023, 3, {}));

    simtest::UdpClient udp;
    udp.sendTo("127.0.0.1", ready->udp, IdentifyRequest);
    const Bytes identify = udp.receive(2000);
    ASSERT_EQ(identify.size(), 8u + 34u);
    EXPECT_EQ(Bytes(identify.begin() + 6, identify.begin() + 11),
              (Bytes{0x00, 0x00, 0x06, 0x00, 0x04}));
    EXPECT_EQ(Bytes(identify.begin() + 11, identify.begin() + 18),
              (Bytes{0x11, 0x02, 0x00, 0x00, 0x00, 0x00, 0x07}));
    EXPECT_EQ(std::string(identify.begin() + 24, identify.begin() + 31), "Bench-7");

    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(5000), 0);
    EXPECT_TRUE(client.closedByPeer(2000));

    std::ifstream log(logPath);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("request\ttcp"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("00 11 01 15"), std::string::npos);
}

TEST(TarvineSim, CountServesDevicesOnConsecutiveAddressesAndStopsOnSigint)
{
    SimProcess sim({"--bind", "127.0.0.41", "--count", "3", "--tcp-port", "0", "--udp-port", "0"});
    ASSERT_TRUE(sim.started());
    std::vector<ReadyLine> lines;
    for (int i = 0; i < 3; ++i) {
        const auto ready = parseReady(sim.readLine());
        ASSERT_TRUE(ready) << sim.rest(STDERR_FILENO);
        lines.push_back(*ready);
    }
    std::set<Bytes> macs;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[size_t(i)].address, "127.0.0." + std::to_string(41 + i));
        simtest::UdpClient udp;
        udp.sendTo(lines[size_t(i)].address, lines[size_t(i)].udp, IdentifyRequest);
        std::string from;
        const Bytes identify = udp.receive(2000, &from);
        ASSERT_EQ(identify.size(), 42u);
        EXPECT_EQ(from, lines[size_t(i)].address);
        macs.insert(Bytes(identify.begin() + 12, identify.begin() + 18));
    }
    EXPECT_EQ(macs.size(), 3u);
    sim.signal(SIGINT);
    EXPECT_EQ(sim.wait(5000), 0);
}

TEST(TarvineSim, GatewayListsItsModulesAndFaultsApply)
{
    SimProcess sim({"--gateway", "--modules", "16,0x11,40", "--tcp-port", "0", "--udp-port", "0",
                    "--fault", "split", "--fault", "split-pause=1"});
    ASSERT_TRUE(sim.started());
    const auto ready = parseReady(sim.readLine());
    ASSERT_TRUE(ready) << sim.rest(STDERR_FILENO);
    simtest::TcpClient client("127.0.0.1", ready->tcp);
    EXPECT_EQ(client.exchange(frame(0x0005, 0, {})), frame(0x0006, 0, {16, 17, 40}));
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.wait(5000), 0);
}

TEST(TarvineSim, RefusesBadOptionsWithStatus2)
{
    SimProcess sim({"--bind", "192.168.1.20"});
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.wait(5000), 2);
    EXPECT_NE(sim.rest(STDERR_FILENO).find("not a loopback address"), std::string::npos);
}

std::optional<SimCommandLine> parse(std::vector<std::string> arguments,
                                    std::string *error = nullptr)
{
    std::string ignored;
    return SimCommandLine::parse(arguments, error ? error : &ignored);
}

TEST(SimCommandLine, ParsesEveryOption)
{
    std::string error;
    const auto options = parse(
        {"--model",         "6.4",        "--version", "0x01020304", "--bind",  "127.0.0.9",
         "--tcp-port=8020", "--udp-port", "7020",      "--count",    "2",       "--gateway",
         "--modules",       "16,17",      "--log",     "/tmp/x.log", "--fault", "drop=0.1",
         "--fault",         "delay=50",   "--name",    "Rig",        "--mac",   "02-00-00-00-00-FF",
         "--seed",          "99",         "--limit-switches", "-500,2500", "--vary", "0x33:0x8000",
         "--vary", "0x34"},
        &error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->model.typeCode, 6);
    EXPECT_EQ(options->model.subType, 4);
    EXPECT_EQ(options->model.version, 0x01020304u);
    EXPECT_EQ(options->tcpPort, 8020);
    EXPECT_EQ(options->udpPort, 7020);
    EXPECT_EQ(options->count, 2);
    EXPECT_TRUE(options->gateway);
    EXPECT_EQ(options->modules, (std::vector<int>{16, 17}));
    EXPECT_EQ(options->logPath, "/tmp/x.log");
    EXPECT_DOUBLE_EQ(options->faults.drop.probability, 0.1);
    EXPECT_EQ(options->faults.delayMs, 50);
    EXPECT_EQ(options->name, "Rig");
    EXPECT_EQ(options->seed, 99u);
    EXPECT_EQ(options->limitSwitches, std::make_pair(-500, 2500));
    ASSERT_EQ(options->vary.size(), 2u);
    EXPECT_EQ(options->vary[0].address, 0x33);
    EXPECT_EQ(options->vary[0].step, 0x8000u);
    EXPECT_EQ(options->vary[1].step, 1u);
    EXPECT_EQ(options->deviceAddress(1), "127.0.0.10");
    // Further devices count the MAC up as one 48-bit number.
    EXPECT_EQ(simMacText(options->macPlus(1)), "02:00:00:00:01:00");

    const auto defaults = parse({});
    ASSERT_TRUE(defaults);
    EXPECT_EQ(defaults->bindAddress, "127.0.0.1");
    EXPECT_EQ(defaults->tcpPort, 8010);
    EXPECT_EQ(defaults->udpPort, 7010);
    EXPECT_EQ(defaults->model.name, "NETDC-A");
    EXPECT_EQ(parse({"--gateway"})->modules, std::vector<int>{16});
}

TEST(SimCommandLine, RefusesUnsafeOrInvalidValues)
{
    const std::vector<std::vector<std::string>> bad{
        {"--bind", "10.0.0.1"},
        {"--bind", "0.0.0.0"},
        {"--bind", "127.0.0.300"},
        {"--bind", "127.0.0.250", "--count", "10"},
        {"--model", "NETXX"},
        {"--version", "0x100000000"},
        {"--tcp-port", "70000"},
        {"--count", "0"},
        {"--gateway", "--modules", "0"},
        {"--gateway", "--modules", "16,16"},
        {"--gateway", "--modules", "128"},
        {"--gateway", "--modules", "16,"},
        {"--modules", "16"},
        {"--name", "seventeen-chars-x"},
        {"--mac", "00:11:22:33:44"},
        {"--fault", "explode"},
        {"--seed"},
        {"--gateway=yes"},
        {"--frobnicate"},
        {"--limit-switches", "5,5"},
        {"--limit-switches", "1"},
        {"--limit-switches", "x,10"},
        {"--limit-switches", "0,99999999999"},
        {"--vary", "0x65"},
        {"--vary", "0x33:0"},
        {"--vary", "Kp"},
    };
    for (const auto &arguments : bad) {
        std::string error;
        EXPECT_FALSE(parse(arguments, &error)) << arguments[0] << ' ' << arguments.back();
        EXPECT_FALSE(error.empty());
    }
    // Inside a test's own network namespace any address may be served.
    EXPECT_TRUE(parse({"--bind", "0.0.0.0", "--allow-any-address"}));
}

} // namespace
