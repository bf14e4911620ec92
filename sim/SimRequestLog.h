// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimFrame.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

/// One thing that happened on a virtual controller's wire.
struct SimWireEvent
{
    enum class Kind {
        Request,    ///< a request frame passed its checksum
        Answer,     ///< an answer was queued for sending (faults named in note)
        Dropped,    ///< an answer was withheld by the drop fault
        Rejected,   ///< a request was not answered: bad checksum, malformed, unsupported
        Connection, ///< a TCP client connected or went away
        Notice      ///< anything else (IP change, re-binding)
    };

    std::chrono::system_clock::time_point time;
    /// Request: when the server read the bytes that completed the frame
    /// (steady clock, comparable with the tool's; for latency measurements).
    std::chrono::steady_clock::time_point received{};
    Kind kind = Kind::Notice;
    SimTransport transport = SimTransport::Tcp;
    std::string server;    ///< "address:port" of the server socket
    std::string peer;      ///< "address:port" of the client
    bool hasFrame = false; ///< function, transaction and payload are set
    uint16_t function = 0;
    uint16_t transaction = 0;
    std::vector<uint8_t> payload;
    std::string note;
};

/// Records the requests a virtual controller receives and the answers it
/// sends, to a file (one line per event) and/or a callback. One log may be
/// shared by several servers; recording is thread-safe.
class SimRequestLog
{
public:
    /// Called on the server's thread; must not block for long or stop the server.
    using Callback = std::function<void(const SimWireEvent &)>;

    SimRequestLog() = default;
    ~SimRequestLog();
    SimRequestLog(const SimRequestLog &) = delete;
    SimRequestLog &operator=(const SimRequestLog &) = delete;

    /// Appends to the file at \a path from now on. False with a reason when it
    /// cannot be opened.
    bool openFile(const std::string &path, std::string *error = nullptr);
    void setCallback(Callback callback);

    /// True when a file or callback is set (cheap, lock-free).
    bool enabled() const { return m_enabled.load(std::memory_order_relaxed); }
    void record(const SimWireEvent &event);

    /// The file line of \a event: local time with milliseconds, kind, transport,
    /// server, peer, function, transaction, payload hex and note, tab-separated.
    static std::string formatLine(const SimWireEvent &event);
    static const char *kindName(SimWireEvent::Kind kind);

private:
    std::mutex m_mutex;
    std::FILE *m_file = nullptr;
    Callback m_callback;
    std::atomic<bool> m_enabled{false};
};
