#include "sim/SimServer.h"

#include "app/Diagnostics.h"
#include "sim/SimFrame.h"
#include "sim/SimOutputQueue.h"
#include "sim/SimRequestLog.h"

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

std::string errnoText(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
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

} // namespace

class SimServer::Private
{
public:
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
};

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
    const SimFaultPlan plan = faults.any() ? faults.plan() : SimFaultPlan{};
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
