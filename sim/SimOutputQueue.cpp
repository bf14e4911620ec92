#include "sim/SimOutputQueue.h"

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>

void SimOutputQueue::push(std::vector<uint8_t> bytes, Clock::time_point due,
                          const sockaddr_in *destination)
{
    // Later chunks never overtake earlier ones, whatever their delay.
    due = std::max(due, m_lastDue);
    m_lastDue = due;
    Chunk chunk{due, std::move(bytes), {}, 0};
    if (destination)
        chunk.destination = *destination;
    m_chunks.push_back(std::move(chunk));
}

std::optional<SimOutputQueue::Clock::time_point> SimOutputQueue::nextDue() const
{
    if (m_chunks.empty())
        return std::nullopt;
    return m_chunks.front().due;
}

SimOutputQueue::FlushResult SimOutputQueue::flushStream(int fd, Clock::time_point now)
{
    m_blocked = false;
    while (!m_chunks.empty() && m_chunks.front().due <= now) {
        Chunk &chunk = m_chunks.front();
        while (chunk.sent < chunk.bytes.size()) {
            const ssize_t n = ::send(fd, chunk.bytes.data() + chunk.sent,
                                     chunk.bytes.size() - chunk.sent, MSG_NOSIGNAL);
            if (n > 0) {
                chunk.sent += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                m_blocked = true;
                return FlushResult::Blocked;
            }
            return FlushResult::Failed;
        }
        m_chunks.pop_front();
    }
    return FlushResult::Done;
}

void SimOutputQueue::flushDatagrams(int fd, Clock::time_point now)
{
    m_blocked = false;
    while (!m_chunks.empty() && m_chunks.front().due <= now) {
        const Chunk &chunk = m_chunks.front();
        ssize_t n;
        do {
            n = ::sendto(fd, chunk.bytes.data(), chunk.bytes.size(), MSG_NOSIGNAL,
                         reinterpret_cast<const sockaddr *>(&chunk.destination),
                         sizeof chunk.destination);
        } while (n < 0 && errno == EINTR);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_blocked = true;
            return;
        }
        m_chunks.pop_front();
    }
}
