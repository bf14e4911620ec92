// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The virtual controller's answer path: a request frame handled, its answer
// shaped by the fault plan and queued, the queues flushed to the sockets.

#include "sim/SimServerPrivate.h"

#include "base/Diagnostics.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

using simserver::distortIdentify;
using simserver::errnoText;

void SimServer::Private::handleError(SimFrameReader::Error error, std::span<const uint8_t> header,
                                     const Route &route)
{
    ++rejected;
    SimFrame partial;
    if (header.size() >= 4) {
        partial.function = uint16_t((header[0] << 8) | header[1]);
        partial.transaction = uint16_t((header[2] << 8) | header[3]);
    }
    record(SimWireEvent::Kind::Rejected, route.transport, route.peerText, &partial,
           error == SimFrameReader::Error::Checksum ? "bad checksum, rest of chunk dropped"
                                                    : "header announces an oversized payload");
}

void SimServer::Private::handleFrame(const SimFrame &frame, const Route &route)
{
    if (route.client && route.client->closing)
        return;
    ++requests;
    record(SimWireEvent::Kind::Request, route.transport, route.peerText, &frame, {});

    responder->setNackStatusOnly(faults.any() && faults.settings().nackStatusOnly);
    SimResponse response = responder->respond(frame, route.transport);
    currentRequest = &frame;
    if (route.udpPeer && response.outcome == SimResponse::Outcome::Answered
        && SimResponder::isIdentifyRequest(frame)
        && config.discoveryFault != SimDiscoveryFault::None) {
        if (config.discoveryFault == SimDiscoveryFault::StrayModuleList) {
            SimFrame stray;
            stray.function = 0x0006;
            stray.transaction = frame.transaction;
            stray.payload = {16, 17};
            sendAnswer(stray, "stray module list", route);
        } else {
            distortIdentify(response.answer.payload, config.discoveryFault);
        }
    }
    switch (response.outcome) {
    case SimResponse::Outcome::Answered:
        if (route.udpPeer && config.answerByBroadcast && config.allowAnyAddress
            && SimResponder::isIdentifyRequest(frame)) {
            sockaddr_in everyone = *route.udpPeer;
            everyone.sin_addr.s_addr = htonl(INADDR_BROADCAST);
            sendAnswer(response.answer, response.note,
                       Route{route.transport, nullptr, &everyone, route.peerText});
        } else {
            sendAnswer(response.answer, response.note, route);
        }
        break;
    case SimResponse::Outcome::Silent:
        record(SimWireEvent::Kind::Notice, route.transport, route.peerText, &frame, response.note);
        break;
    case SimResponse::Outcome::Malformed:
    case SimResponse::Outcome::Unsupported:
        ++rejected;
        record(SimWireEvent::Kind::Rejected, route.transport, route.peerText, &frame,
               response.note);
        break;
    }
    currentRequest = nullptr;
    if (response.addressChanged)
        pendingAddress = response.newIp;

    if (route.client) {
        Client &client = *route.client;
        ++client.requests;
        const int closeAfter = faults.any() ? faults.closeAfter() : 0;
        if (closeAfter > 0 && client.requests >= closeAfter) {
            // The answer (and any held one) still goes out; then the connection closes.
            client.closing = true;
            if (!client.held.empty()) {
                client.out.push(std::move(client.held), Clock::now());
                client.held.clear();
            }
        }
    }
}

void SimServer::Private::sendAnswer(const SimFrame &answer, const std::string &note,
                                    const Route &route)
{
    const bool scanAnswer = answer.function == 0x0006;
    if (scanAnswer && faults.any() && faults.settings().dropScanAnswer) {
        ++dropped;
        record(SimWireEvent::Kind::Dropped, route.transport, route.peerText, &answer, note);
        return;
    }
    if (scanAnswer && faults.any()) {
        if (const auto bytes = faults.settings().scanAnswer) {
            SimFrame replaced = answer;
            replaced.payload = *bytes;
            ++answers;
            record(SimWireEvent::Kind::Answer, route.transport, route.peerText, &replaced,
                   "scan answer replaced");
            queue(encodeSimFrame(replaced), SimFaultPlan{}, route);
            return;
        }
    }
    const SimFaultPlan plan = faults.any() ? faults.plan(currentRequest) : SimFaultPlan{};
    if (plan.drop) {
        ++dropped;
        record(SimWireEvent::Kind::Dropped, route.transport, route.peerText, &answer, note);
        return;
    }
    ++answers;
    std::vector<uint8_t> bytes = encodeSimFrame(answer);
    if (faults.any()) {
        faults.transform(plan, bytes);
        const std::string applied = plan.describe();
        record(SimWireEvent::Kind::Answer, route.transport, route.peerText, &answer,
               note.empty()      ? applied
               : applied.empty() ? note
                                 : note + "; " + applied);
    } else {
        record(SimWireEvent::Kind::Answer, route.transport, route.peerText, &answer, note);
    }
    queue(std::move(bytes), plan, route);
}

void SimServer::Private::queue(std::vector<uint8_t> bytes, const SimFaultPlan &plan,
                               const Route &route)
{
    const auto now = Clock::now();
    SimOutputQueue &out = route.client ? route.client->out : udpOut;

    if (plan.late) {
        // Out of turn: the answers after it do not wait for it.
        out.push(std::move(bytes), now + std::chrono::milliseconds(plan.delayMs + plan.lateMs),
                 route.udpPeer, SimOutputQueue::Order::OutOfTurn);
        return;
    }

    // Merge: one answer waits and leaves in the same segment as the next one.
    std::vector<uint8_t> &held = route.client ? route.client->held : udpHeld;
    if (!route.client && !held.empty()
        && (udpHeldPeer.sin_addr.s_addr != route.udpPeer->sin_addr.s_addr
            || udpHeldPeer.sin_port != route.udpPeer->sin_port)) {
        // A held datagram for another peer leaves on its own.
        out.push(std::move(held), now, &udpHeldPeer);
        held.clear();
    }
    if (!held.empty()) {
        held.insert(held.end(), bytes.begin(), bytes.end());
        bytes.swap(held);
        held.clear();
    } else if (plan.merge) {
        held = std::move(bytes);
        if (!route.client)
            udpHeldPeer = *route.udpPeer;
        return;
    }

    const auto due = now + std::chrono::milliseconds(plan.delayMs);
    if (plan.split && bytes.size() > 1) {
        const size_t pieces = std::min<size_t>(size_t(plan.splitPieces), bytes.size());
        const size_t base = bytes.size() / pieces;
        size_t offset = 0;
        for (size_t i = 0; i < pieces; ++i) {
            const size_t size = i + 1 == pieces ? bytes.size() - offset : base;
            out.push(std::vector<uint8_t>(bytes.begin() + ptrdiff_t(offset),
                                          bytes.begin() + ptrdiff_t(offset + size)),
                     due + std::chrono::milliseconds(plan.splitPauseMs) * int(i), route.udpPeer);
            offset += size;
        }
    } else {
        out.push(std::move(bytes), due, route.udpPeer);
    }

    // Without a delay the answer leaves at once, before the next request is read.
    if (route.client) {
        if (!route.client->dead && !route.client->out.blocked()
            && route.client->out.flushStream(route.client->fd, now)
                   == SimOutputQueue::FlushResult::Failed)
            route.client->dead = true;
    } else if (!udpOut.blocked()) {
        flushUdp(now);
    }
}

void SimServer::Private::flush(Clock::time_point now)
{
    for (auto &client : clients) {
        if (client->dead || client->out.empty())
            continue;
        if (client->out.flushStream(client->fd, now) == SimOutputQueue::FlushResult::Failed) {
            record(SimWireEvent::Kind::Connection, SimTransport::Tcp, client->peer, nullptr,
                   errnoText("send"));
            client->dead = true;
        }
    }
    flushUdp(now);
}

void SimServer::Private::flushUdp(Clock::time_point now)
{
    in_addr bound;
    {
        std::lock_guard lock(mutex);
        bound = boundAddress;
    }
    if (bound.s_addr != htonl(INADDR_ANY)) {
        udpOut.flushDatagrams(udpFd, now);
        return;
    }
    const SimIdentity id = responder->identity();
    in_addr source{};
    std::memcpy(&source.s_addr, id.ip.data(), 4);
    udpOut.flushDatagrams(udpFd, now, &source);
}
