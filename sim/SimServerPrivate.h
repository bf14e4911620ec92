// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The virtual controller's server thread: its state and its steps, shared by
// the files that receive requests and send answers.

#include "sim/SimServer.h"

#include "sim/SimFrame.h"
#include "sim/SimOutputQueue.h"
#include "sim/SimRequestLog.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>

namespace simserver {
/// \a what followed by the text of errno.
std::string errnoText(const char *what);
/// Reshapes the identify answer's variables as \a fault says.
void distortIdentify(std::vector<uint8_t> &p, SimDiscoveryFault fault);
} // namespace simserver

class SimServer::Private
{
public:
    using Clock = SimOutputQueue::Clock;

    /// One TCP client connection.
    struct Client
    {
        int fd = -1;
        std::string peer;
        SimFrameReader reader{nullptr, nullptr};
        SimOutputQueue out;
        std::vector<uint8_t> held; ///< an answer the merge fault holds back
        int requests = 0;
        bool closing = false; ///< close-after reached: close once the output is out
        bool dead = false;
    };

    /// Where an answer goes: a TCP client, or the UDP socket towards a peer.
    struct Route
    {
        SimTransport transport;
        Client *client = nullptr;
        const sockaddr_in *udpPeer = nullptr;
        const std::string &peerText;
    };

    Private(SimServerConfig c, std::unique_ptr<SimResponder> r)
        : config(std::move(c))
        , responder(std::move(r))
    {}

    void run();
    void acceptClients();
    void receive(Client &client);
    void receiveDatagrams();
    void handleFrame(const SimFrame &frame, const Route &route);
    void handleError(SimFrameReader::Error error, std::span<const uint8_t> header,
                     const Route &route);
    void sendAnswer(const SimFrame &answer, const std::string &note, const Route &route);
    void queue(std::vector<uint8_t> bytes, const SimFaultPlan &plan, const Route &route);
    void flush(Clock::time_point now);
    void flushUdp(Clock::time_point now);
    int pollTimeout(Clock::time_point now) const;
    void rebind(const std::array<uint8_t, 4> &ip);
    void record(SimWireEvent::Kind kind, SimTransport transport, const std::string &peer,
                const SimFrame *frame, std::string note);
    std::shared_ptr<SimRequestLog> currentLog() const;
    std::string serverText(SimTransport transport) const;

    SimServerConfig config;
    std::unique_ptr<SimResponder> responder;
    SimFaults faults;

    mutable std::mutex mutex; ///< guards log and boundAddress
    std::shared_ptr<SimRequestLog> log;
    in_addr boundAddress{};

    std::atomic<uint16_t> tcpPort{0};
    std::atomic<uint16_t> udpPort{0};
    int listenFd = -1;
    int udpFd = -1;
    int wakeFd = -1;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};

    std::vector<std::unique_ptr<Client>> clients;
    SimFrameReader udpReader{nullptr, nullptr};
    const sockaddr_in *udpPeer = nullptr; ///< sender of the datagram being read
    std::string udpPeerText;
    SimOutputQueue udpOut;
    std::vector<uint8_t> udpHeld;
    sockaddr_in udpHeldPeer{};
    std::optional<std::array<uint8_t, 4>> pendingAddress;

    std::atomic<uint64_t> requests{0}, answers{0}, dropped{0}, rejected{0}, connections{0};
    std::atomic<int> openConnections{0};
    std::vector<uint8_t> receiveBuffer = std::vector<uint8_t>(65536);
    /// When the chunk being framed was read (a request's receive time).
    Clock::time_point chunkReceived{};
    /// The request being answered (for the faults that depend on its registers).
    const SimFrame *currentRequest = nullptr;
};
