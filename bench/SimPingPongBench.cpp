// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Request/answer pairs per second against an in-process virtual controller
// over loopback, one request in flight, as the tool's polling runs; and the
// bare loopback ping-pong floor for comparison.
#include "protocol/PacketChecksum.h"
#include "sim/SimController.h"
#include "sim/SimServer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

/// A typical polling read: voltage, warnings, mode, consign, position, speed,
/// temperature, desired state, command and power-ups.
const Bytes PollingRegisters{0x07, 0x08, 0x20, 0x21, 0x26, 0x28, 0x29, 0x30, 0x32, 0x0B};

Bytes frame(uint16_t function, uint16_t transaction, const Bytes &payload)
{
    Bytes out(6 + payload.size() + 2);
    out[0] = uint8_t(function >> 8);
    out[1] = uint8_t(function);
    out[2] = uint8_t(transaction >> 8);
    out[3] = uint8_t(transaction);
    out[4] = uint8_t(payload.size() >> 8);
    out[5] = uint8_t(payload.size());
    std::copy(payload.begin(), payload.end(), out.begin() + 6);
    const uint16_t checksum = PacketChecksum(out.data(), 6 + payload.size());
    out[6 + payload.size()] = uint8_t(checksum >> 8);
    out[7 + payload.size()] = uint8_t(checksum);
    return out;
}

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int connectTcp(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const sockaddr_in a = loopback(port);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

/// Reads one whole frame; false when the connection ended.
bool receiveFrame(int fd, Bytes &buffer)
{
    buffer.resize(8 + 65535);
    size_t held = 0;
    size_t needed = 6;
    bool body = false;
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data() + held, needed - held, 0);
        if (n <= 0)
            return false;
        held += size_t(n);
        if (held < needed)
            continue;
        if (body)
            return true;
        needed = 6 + ((size_t(buffer[4]) << 8) | buffer[5]) + 2;
        body = true;
    }
}

/// Records each pair's time and reports the rate and latency percentiles.
class PairTimer
{
public:
    void add(Clock::duration d) { m_samples.push_back(d); }
    void report(benchmark::State &state)
    {
        state.counters["pairs_per_s"] =
            benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
        if (m_samples.empty())
            return;
        std::sort(m_samples.begin(), m_samples.end());
        auto percentile = [this](double p) {
            const size_t i = std::min(m_samples.size() - 1, size_t(p * double(m_samples.size())));
            return std::chrono::duration<double, std::micro>(m_samples[i]).count();
        };
        state.counters["p50_us"] = percentile(0.50);
        state.counters["p99_us"] = percentile(0.99);
        state.counters["max_us"] = percentile(1.0);
    }

private:
    std::vector<Clock::duration> m_samples;
};

void runTcpPairs(benchmark::State &state, SimServer &server, const Bytes &request)
{
    const int fd = connectTcp(server.tcpPort());
    if (fd < 0) {
        state.SkipWithError("cannot connect to the virtual controller");
        return;
    }
    Bytes answer;
    PairTimer timer;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != ssize_t(request.size())
            || !receiveFrame(fd, answer)) {
            state.SkipWithError("connection lost");
            break;
        }
        timer.add(Clock::now() - start);
    }
    timer.report(state);
    ::close(fd);
}

std::shared_ptr<SimController> benchController(uint8_t macLast)
{
    return std::make_shared<SimController>(
        *parseSimModel("NETEC-A"),
        SimIdentity{
            {0x00, 0x50, 0xC2, 0x00, 0x00, macLast}, {127, 0, 0, 1}, {255, 0, 0, 0}, "Bench"});
}

void BM_SimTcpPollingRead(benchmark::State &state)
{
    SimServer server(SimServerConfig{}, benchController(1));
    if (!server.start()) {
        state.SkipWithError("cannot start the virtual controller");
        return;
    }
    runTcpPairs(state, server, frame(0x0021, 1, PollingRegisters));
}
BENCHMARK(BM_SimTcpPollingRead)->UseRealTime()->MinTime(2.0);

void BM_SimTcpGatewayPollingRead(benchmark::State &state)
{
    SimServer server(SimServerConfig{}, SimGatewayIdentity{},
                     std::map<int, std::shared_ptr<SimController>>{{16, benchController(2)}});
    if (!server.start()) {
        state.SkipWithError("cannot start the virtual controller");
        return;
    }
    // Gateway read items: module, 1 byte to write (the address), address, size.
    Bytes items;
    const uint8_t sizes[] = {4, 4, 1, 4, 4, 4, 4, 4, 4, 4};
    for (size_t i = 0; i < PollingRegisters.size(); ++i)
        items.insert(items.end(), {0x10, 0x01, PollingRegisters[i], sizes[i]});
    runTcpPairs(state, server, frame(0x0007, 1, items));
}
BENCHMARK(BM_SimTcpGatewayPollingRead)->UseRealTime()->MinTime(2.0);

void BM_SimUdpPollingRead(benchmark::State &state)
{
    SimServer server(SimServerConfig{}, benchController(3));
    if (!server.start()) {
        state.SkipWithError("cannot start the virtual controller");
        return;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in to = loopback(server.udpPort());
    ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    timeval timeout{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    const Bytes request = frame(0x0021, 1, PollingRegisters);
    Bytes answer(65536);
    PairTimer timer;
    for (auto _ : state) {
        const auto start = Clock::now();
        ::send(fd, request.data(), request.size(), 0);
        if (::recv(fd, answer.data(), answer.size(), 0) <= 0) {
            state.SkipWithError("answer datagram lost");
            break;
        }
        timer.add(Clock::now() - start);
    }
    timer.report(state);
    ::close(fd);
}
BENCHMARK(BM_SimUdpPollingRead)->UseRealTime()->MinTime(2.0);

/// The floor: a thread echoing a 12-byte request as a 52-byte answer with
/// blocking sockets, no framing and no register work.
void BM_LoopbackPingPongFloor(benchmark::State &state)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local = loopback(0);
    ::bind(listener, reinterpret_cast<const sockaddr *>(&local), sizeof local);
    ::listen(listener, 1);
    socklen_t length = sizeof local;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&local), &length);

    std::thread echo([listener] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        uint8_t request[18];
        const Bytes answer(52, 0x5A);
        for (;;) {
            size_t held = 0;
            while (held < sizeof request) {
                const ssize_t n = ::recv(fd, request + held, sizeof request - held, 0);
                if (n <= 0) {
                    ::close(fd);
                    return;
                }
                held += size_t(n);
            }
            ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        }
    });

    const int fd = connectTcp(ntohs(local.sin_port));
    const Bytes request(18, 0x21);
    uint8_t answer[52];
    PairTimer timer;
    for (auto _ : state) {
        const auto start = Clock::now();
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        size_t held = 0;
        while (held < sizeof answer) {
            const ssize_t n = ::recv(fd, answer + held, sizeof answer - held, 0);
            if (n <= 0)
                break;
            held += size_t(n);
        }
        timer.add(Clock::now() - start);
    }
    timer.report(state);
    ::close(fd);
    echo.join();
    ::close(listener);
}
BENCHMARK(BM_LoopbackPingPongFloor)->UseRealTime()->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
