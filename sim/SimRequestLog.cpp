// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimRequestLog.h"

#include <cerrno>
#include <cstring>
#include <ctime>

SimRequestLog::~SimRequestLog()
{
    if (m_file)
        std::fclose(m_file);
}

bool SimRequestLog::openFile(const std::string &path, std::string *error)
{
    std::FILE *file = std::fopen(path.c_str(), "a");
    if (!file) {
        if (error)
            *error = "cannot open log file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard lock(m_mutex);
    if (m_file)
        std::fclose(m_file);
    m_file = file;
    m_enabled.store(true, std::memory_order_relaxed);
    return true;
}

void SimRequestLog::setCallback(Callback callback)
{
    std::lock_guard lock(m_mutex);
    m_callback = std::move(callback);
    m_enabled.store(m_file || m_callback, std::memory_order_relaxed);
}

void SimRequestLog::record(const SimWireEvent &event)
{
    std::lock_guard lock(m_mutex);
    if (m_file) {
        const std::string line = formatLine(event) + '\n';
        std::fwrite(line.data(), 1, line.size(), m_file);
        std::fflush(m_file);
    }
    if (m_callback)
        m_callback(event);
}

const char *SimRequestLog::kindName(SimWireEvent::Kind kind)
{
    switch (kind) {
    case SimWireEvent::Kind::Request:
        return "request";
    case SimWireEvent::Kind::Answer:
        return "answer";
    case SimWireEvent::Kind::Dropped:
        return "dropped";
    case SimWireEvent::Kind::Rejected:
        return "rejected";
    case SimWireEvent::Kind::Connection:
        return "connection";
    case SimWireEvent::Kind::Notice:
        return "notice";
    }
    return "?";
}

std::string SimRequestLog::formatLine(const SimWireEvent &event)
{
    using namespace std::chrono;
    const auto since = event.time.time_since_epoch();
    const std::time_t seconds = duration_cast<std::chrono::seconds>(since).count();
    const auto millis = duration_cast<milliseconds>(since).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[64];
    const size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03d", int(millis));

    std::string line = stamp;
    line += '\t';
    line += kindName(event.kind);
    line += '\t';
    line += event.transport == SimTransport::Tcp ? "tcp" : "udp";
    line += '\t' + event.server + '\t' + event.peer;
    if (event.hasFrame) {
        char header[48];
        std::snprintf(header, sizeof header, "\tfn=0x%04X\ttr=%u\tlen=%zu\t", event.function,
                      unsigned(event.transaction), event.payload.size());
        line += header + simHexText(event.payload);
    }
    if (!event.note.empty())
        line += "\t# " + event.note;
    return line;
}
