// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimServerPrivate.h"


#include "base/Diagnostics.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simserver {
std::string errnoText(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

/// Reshapes the identify answer's variables (type 0-4, MAC 5-11, version
/// 12-16, name 17-33) as \a fault says.
void distortIdentify(std::vector<uint8_t> &p, SimDiscoveryFault fault)
{
    if (p.size() != 34)
        return;
    switch (fault) {
    case SimDiscoveryFault::UnknownCode:
        p[12] = 0x42;
        break;
    case SimDiscoveryFault::CutShort:
        p.resize(p.size() - 5);
        break;
    case SimDiscoveryFault::NameFirst:
        std::rotate(p.begin(), p.begin() + 17, p.end());
        break;
    case SimDiscoveryFault::TwoRecords: {
        std::vector<uint8_t> second = p;
        ++second[11];
        p.insert(p.end(), second.begin(), second.end());
        break;
    }
    default:
        break;
    }
}
} // namespace simserver

using simserver::errnoText;

namespace {

using Clock = SimOutputQueue::Clock;

std::optional<in_addr> parseIpv4(std::string_view text)
{
    in_addr address{};
    if (inet_pton(AF_INET, std::string(text).c_str(), &address) != 1)
        return std::nullopt;
    return address;
}

std::string addressText(in_addr address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string endpointText(const sockaddr_in &endpoint)
{
    return addressText(endpoint.sin_addr) + ':' + std::to_string(ntohs(endpoint.sin_port));
}

bool isLoopback(in_addr address)
{
    return (ntohl(address.s_addr) >> 24) == 127;
}


/// A non-blocking socket of \a type bound to \a address:\a port; -1 on failure.
int openBoundSocket(int type, in_addr address, uint16_t port, std::string *error)
{
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error)
            *error = errnoText("socket");
        return -1;
    }
    const int on = 1;
    // On 0.0.0.0 several devices of one namespace share the UDP port, so
    // that each of them hears a broadcast.
    if (type == SOCK_STREAM || address.s_addr == htonl(INADDR_ANY))
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (type == SOCK_DGRAM && address.s_addr == htonl(INADDR_ANY))
        ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = address;
    local.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0
        || (type == SOCK_STREAM && ::listen(fd, 16) != 0)) {
        if (error)
            *error = errnoText(type == SOCK_STREAM ? "TCP bind" : "UDP bind") + " ("
                     + addressText(address) + ':' + std::to_string(port) + ')';
        ::close(fd);
        return -1;
    }
    return fd;
}

uint16_t boundPort(int fd)
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}


} // namespace


std::shared_ptr<SimRequestLog> SimServer::Private::currentLog() const
{
    std::lock_guard lock(mutex);
    return log;
}

std::string SimServer::Private::serverText(SimTransport transport) const
{
    in_addr address;
    {
        std::lock_guard lock(mutex);
        address = boundAddress;
    }
    return addressText(address) + ':'
           + std::to_string(transport == SimTransport::Tcp ? tcpPort.load() : udpPort.load());
}

void SimServer::Private::record(SimWireEvent::Kind kind, SimTransport transport,
                                const std::string &peer, const SimFrame *frame, std::string note)
{
    const auto target = currentLog();
    if (!target || !target->enabled())
        return;
    SimWireEvent event;
    event.time = std::chrono::system_clock::now();
    if (kind == SimWireEvent::Kind::Request)
        event.received = chunkReceived;
    event.kind = kind;
    event.transport = transport;
    event.server = serverText(transport);
    event.peer = peer;
    if (frame) {
        event.hasFrame = true;
        event.function = frame->function;
        event.transaction = frame->transaction;
        event.payload = frame->payload;
    }
    event.note = std::move(note);
    target->record(event);
}

void SimServer::Private::run()
{
    std::vector<pollfd> fds;
    while (!stopping.load()) {
        fds.clear();
        fds.push_back({wakeFd, POLLIN, 0});
        fds.push_back({listenFd, POLLIN, 0});
        fds.push_back({udpFd, short(POLLIN | (udpOut.blocked() ? POLLOUT : 0)), 0});
        const size_t clientCount = clients.size();
        for (const auto &client : clients) {
            short events = client->closing ? 0 : POLLIN;
            if (client->out.blocked())
                events |= POLLOUT;
            fds.push_back({client->fd, events, 0});
        }

        const int ready = ::poll(fds.data(), fds.size(), pollTimeout(Clock::now()));
        if (ready < 0 && errno != EINTR) {
            LOG_ERROR("SimServer", "SimServer::run", QString::fromStdString(errnoText("poll")));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
        }
        if (stopping.load())
            break;

        for (size_t i = 0; i < clientCount; ++i) {
            if (fds[3 + i].revents & (POLLIN | POLLHUP | POLLERR))
                receive(*clients[i]);
        }
        if (fds[2].revents & POLLIN)
            receiveDatagrams();
        if (fds[1].revents & POLLIN)
            acceptClients();

        flush(Clock::now());

        if (pendingAddress) {
            const auto ip = *pendingAddress;
            pendingAddress.reset();
            rebind(ip);
        }

        // Close the connections that are gone or whose close-after output is out.
        for (auto &client : clients) {
            if (!client->dead && client->closing && client->out.empty() && client->held.empty()) {
                record(SimWireEvent::Kind::Connection, SimTransport::Tcp, client->peer, nullptr,
                       "closed after " + std::to_string(client->requests) + " requests");
                ::shutdown(client->fd, SHUT_RDWR);
                client->dead = true;
            }
        }
        const auto gone = std::remove_if(clients.begin(), clients.end(), [](const auto &client) {
            if (!client->dead)
                return false;
            ::close(client->fd);
            return true;
        });
        clients.erase(gone, clients.end());
        openConnections.store(int(clients.size()));
    }

    for (auto &client : clients)
        ::close(client->fd);
    clients.clear();
    openConnections.store(0);
}

int SimServer::Private::pollTimeout(Clock::time_point now) const
{
    std::optional<Clock::time_point> next;
    auto consider = [&next](const SimOutputQueue &out) {
        if (out.blocked())
            return; // poll wakes on POLLOUT
        if (const auto due = out.nextDue(); due && (!next || *due < *next))
            next = due;
    };
    consider(udpOut);
    for (const auto &client : clients)
        consider(client->out);
    if (!next)
        return -1;
    if (*next <= now)
        return 0;
    // Round up so that the due time has passed when poll returns.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return int(std::min<int64_t>(wait, 60000));
}

void SimServer::Private::acceptClients()
{
    for (;;) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr *>(&peer), &length,
                                 SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR)
                continue;
            return; // EAGAIN: none left; other errors: try again at the next wake
        }
        if (int(clients.size()) >= config.maxClients) {
            record(SimWireEvent::Kind::Connection, SimTransport::Tcp, endpointText(peer), nullptr,
                   "refused: too many clients");
            ::close(fd);
            continue;
        }
        // Answers must leave as they are queued: one send, one segment.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);

        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->peer = endpointText(peer);
        Client *c = client.get();
        client->reader = SimFrameReader(
            [this, c](const SimFrame &frame) {
                handleFrame(frame, Route{SimTransport::Tcp, c, nullptr, c->peer});
            },
            [this, c](SimFrameReader::Error error, std::span<const uint8_t> header) {
                handleError(error, header, Route{SimTransport::Tcp, c, nullptr, c->peer});
            });
        clients.push_back(std::move(client));
        ++connections;
        openConnections.store(int(clients.size()));
        record(SimWireEvent::Kind::Connection, SimTransport::Tcp, c->peer, nullptr, "connected");
    }
}

void SimServer::Private::receive(Client &client)
{
    if (client.dead)
        return;
    // Bounded per wake so one busy client cannot starve the others.
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::recv(client.fd, receiveBuffer.data(), receiveBuffer.size(), 0);
        if (n > 0) {
            chunkReceived = Clock::now();
            if (!client.closing)
                client.reader.feed(receiveBuffer.data(), size_t(n));
            if (size_t(n) < receiveBuffer.size())
                return; // drained; poll reports anything that follows
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // Orderly close by the peer, or a reset.
        record(SimWireEvent::Kind::Connection, SimTransport::Tcp, client.peer, nullptr,
               n == 0 ? "closed by peer" : errnoText("receive"));
        client.dead = true;
        return;
    }
}

void SimServer::Private::receiveDatagrams()
{
    for (int round = 0; round < 64; ++round) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const ssize_t n = ::recvfrom(udpFd, receiveBuffer.data(), receiveBuffer.size(), 0,
                                     reinterpret_cast<sockaddr *>(&peer), &length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        chunkReceived = Clock::now();
        // Each datagram is framed on its own; several frames in one are all served.
        udpPeer = &peer;
        udpPeerText = endpointText(peer);
        udpReader.reset();
        udpReader.feed(receiveBuffer.data(), size_t(n));
        if (udpReader.bytesHeld() > 0) {
            ++rejected;
            record(SimWireEvent::Kind::Rejected, SimTransport::Udp, udpPeerText, nullptr,
                   "datagram ends inside a frame");
        }
        udpPeer = nullptr;
    }
}


void SimServer::Private::rebind(const std::array<uint8_t, 4> &ip)
{
    in_addr target{};
    std::memcpy(&target.s_addr, ip.data(), 4);
    in_addr current;
    {
        std::lock_guard lock(mutex);
        current = boundAddress;
    }
    const std::string text = addressText(target);
    if (current.s_addr == htonl(INADDR_ANY)) {
        record(SimWireEvent::Kind::Notice, SimTransport::Udp, {}, nullptr,
               "address now " + text + "; still serving on every interface");
        return;
    }
    if (current.s_addr == target.s_addr)
        return;

    std::string reason;
    int newListen = -1;
    int newUdp = -1;
    if (!config.allowAnyAddress && !isLoopback(target)) {
        reason = "not a loopback address";
    } else {
        newListen = openBoundSocket(SOCK_STREAM, target, tcpPort.load(), &reason);
        if (newListen >= 0)
            newUdp = openBoundSocket(SOCK_DGRAM, target, udpPort.load(), &reason);
    }
    if (newListen < 0 || newUdp < 0) {
        closeFd(newListen);
        closeFd(newUdp);
        const std::string message = "cannot re-bind to " + text + ": " + reason
                                    + "; still serving on " + addressText(current);
        record(SimWireEvent::Kind::Notice, SimTransport::Udp, {}, nullptr, message);
        LOG_ERROR("SimServer", "SimServer::rebind", QString::fromStdString(message));
        return;
    }
    closeFd(listenFd);
    closeFd(udpFd);
    listenFd = newListen;
    udpFd = newUdp;
    {
        std::lock_guard lock(mutex);
        boundAddress = target;
    }
    record(SimWireEvent::Kind::Notice, SimTransport::Udp, {}, nullptr, "re-bound to " + text);
}

SimServer::SimServer(SimServerConfig config, std::shared_ptr<SimController> controller)
    : d(std::make_unique<Private>(std::move(config),
                                  std::make_unique<SimResponder>(std::move(controller))))
{}

SimServer::SimServer(SimServerConfig config, SimGatewayIdentity gateway,
                     std::map<int, std::shared_ptr<SimController>> modules)
    : d(std::make_unique<Private>(
        std::move(config), std::make_unique<SimResponder>(std::move(gateway), std::move(modules))))
{}

SimServer::~SimServer()
{
    stop();
}

bool SimServer::start(std::string *error)
{
    auto fail = [error](std::string text) {
        if (error)
            *error = std::move(text);
        return false;
    };
    if (d->thread.joinable())
        return fail("already running");
    const auto address = parseIpv4(d->config.bindAddress);
    if (!address)
        return fail("not an IPv4 address: " + d->config.bindAddress);
    if (!d->config.allowAnyAddress && !isLoopback(*address))
        return fail("refusing " + d->config.bindAddress
                    + ": only loopback addresses (127.x.y.z) unless any address is allowed");

    std::string reason;
    d->listenFd = openBoundSocket(SOCK_STREAM, *address, d->config.tcpPort, &reason);
    if (d->listenFd < 0)
        return fail(reason);
    d->udpFd = openBoundSocket(SOCK_DGRAM, *address, d->config.udpPort, &reason);
    d->wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d->udpFd < 0 || d->wakeFd < 0) {
        if (d->wakeFd < 0)
            reason = errnoText("eventfd");
        closeFd(d->listenFd);
        closeFd(d->udpFd);
        closeFd(d->wakeFd);
        return fail(reason);
    }
    d->tcpPort = boundPort(d->listenFd);
    d->udpPort = boundPort(d->udpFd);
    {
        std::lock_guard lock(d->mutex);
        d->boundAddress = *address;
    }
    Private *p = d.get();
    d->udpReader = SimFrameReader(
        [p](const SimFrame &frame) {
            p->handleFrame(frame,
                           Private::Route{SimTransport::Udp, nullptr, p->udpPeer, p->udpPeerText});
        },
        [p](SimFrameReader::Error e, std::span<const uint8_t> header) {
            p->handleError(e, header,
                           Private::Route{SimTransport::Udp, nullptr, p->udpPeer, p->udpPeerText});
        });
    d->pendingAddress.reset();
    d->requests = d->answers = d->dropped = d->rejected = d->connections = 0;
    d->stopping = false;
    d->running = true;
    d->thread = std::thread([p] { p->run(); });
    return true;
}

void SimServer::stop()
{
    if (!d->thread.joinable())
        return;
    d->stopping = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(d->wakeFd, &one, sizeof one);
    d->thread.join();
    closeFd(d->listenFd);
    closeFd(d->udpFd);
    closeFd(d->wakeFd);
    d->udpOut = SimOutputQueue();
    d->udpHeld.clear();
    d->running = false;
}

bool SimServer::isRunning() const
{
    return d->running.load();
}

std::string SimServer::address() const
{
    std::lock_guard lock(d->mutex);
    return d->running.load() ? addressText(d->boundAddress) : d->config.bindAddress;
}

uint16_t SimServer::tcpPort() const
{
    return d->tcpPort.load();
}

uint16_t SimServer::udpPort() const
{
    return d->udpPort.load();
}

SimFaults &SimServer::faults()
{
    return d->faults;
}

void SimServer::setLog(std::shared_ptr<SimRequestLog> log)
{
    std::lock_guard lock(d->mutex);
    d->log = std::move(log);
}

SimServerStats SimServer::stats() const
{
    SimServerStats s;
    s.requests = d->requests.load();
    s.answers = d->answers.load();
    s.dropped = d->dropped.load();
    s.rejected = d->rejected.load();
    s.connections = d->connections.load();
    s.openConnections = d->openConnections.load();
    return s;
}

bool SimServer::isGateway() const
{
    return d->responder->isGateway();
}

std::shared_ptr<SimController> SimServer::controller() const
{
    return d->responder->controller();
}

std::shared_ptr<SimController> SimServer::module(int address) const
{
    return d->responder->module(address);
}

SimIdentity SimServer::identity() const
{
    return d->responder->identity();
}

bool SimServer::isLoopbackAddress(std::string_view address)
{
    const auto parsed = parseIpv4(address);
    return parsed && isLoopback(*parsed);
}
