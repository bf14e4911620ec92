// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/AnswerAssembler.h"

#include "protocol/PacketChecksum.h"

#include <algorithm>

AnswerAssembler::AnswerAssembler(AnswerSink *sink)
    : m_sink(sink)
{}

void AnswerAssembler::reset()
{
    std::lock_guard<std::recursive_mutex> guard(m_feedMutex);
    resetLocked();
}

bool AnswerAssembler::resetIfHeldSince(std::chrono::steady_clock::time_point moment)
{
    std::lock_guard<std::recursive_mutex> guard(m_feedMutex);
    if (m_held == 0 || m_heldSince >= moment)
        return false;
    resetLocked();
    return true;
}

void AnswerAssembler::resetLocked()
{
    m_held = 0;
    m_expected = Frame::HeaderSize;
    m_body = false;
}

void AnswerAssembler::feed(const uint8_t *chunk, size_t length, uint32_t generation)
{
    std::lock_guard<std::recursive_mutex> guard(m_feedMutex);
    m_generation = generation;
    feedLocked(chunk, length);
}

void AnswerAssembler::feedDatagram(const uint8_t *datagram, size_t length, uint32_t generation)
{
    std::lock_guard<std::recursive_mutex> guard(m_feedMutex);
    m_generation = generation;
    resetLocked();
    // One datagram carries one answer: header, the payload it announces, checksum.
    const bool whole = length >= size_t(Frame::HeaderSize + Frame::ChecksumSize)
                       && length
                              == Frame::HeaderSize + ((size_t(datagram[4]) << 8) | datagram[5])
                                     + Frame::ChecksumSize;
    if (!whole) {
        if (m_sink)
            m_sink->frameDropped(AnswerSink::FrameError::Datagram);
        return;
    }
    feedLocked(datagram, length);
    resetLocked();
}

void AnswerAssembler::feedLocked(const uint8_t *chunk, size_t length)
{
    size_t i = 0;
    while (i < length) {
        // Take as many bytes as the current phase still expects.
        const size_t n = std::min(m_expected, length - i);
        if (m_held == 0)
            m_heldSince = std::chrono::steady_clock::now();
        std::copy_n(chunk + i, n, m_buffer.begin() + static_cast<ptrdiff_t>(m_held));
        m_held += n;
        m_expected -= n;
        i += n;
        if (m_expected > 0)
            break;

        if (!m_body) {
            // Header complete: payload length in bytes 4-5, then the checksum.
            const size_t payload = (size_t(m_buffer[4]) << 8) | m_buffer[5];
            if (payload > size_t(Frame::MaxPayload)) {
                // No packet can hold it: drop the frame and the rest of the chunk.
                resetLocked();
                if (m_sink)
                    m_sink->frameDropped(AnswerSink::FrameError::Oversized);
                return;
            }
            m_expected = payload + Frame::ChecksumSize;
            m_body = true;
            continue;
        }

        const size_t payload = m_held - Frame::HeaderSize - Frame::ChecksumSize;
        const uint16_t computed = PacketChecksum(m_buffer.data(), Frame::HeaderSize + payload);
        const uint16_t received = uint16_t((m_buffer[m_held - 2] << 8) | m_buffer[m_held - 1]);
        if (!checksumAccepted(computed, received)) {
            resetLocked();
            if (m_sink)
                m_sink->frameDropped(AnswerSink::FrameError::Checksum);
            return;
        }

        m_packet.Function = (m_buffer[0] << 8) | m_buffer[1];
        m_packet.TransactionId = (m_buffer[2] << 8) | m_buffer[3];
        m_packet.Length = static_cast<int32_t>(payload);
        std::copy_n(m_buffer.begin() + Frame::HeaderSize, payload, m_packet.Data.begin());
        m_packet.Checksum = received;
        m_packet.DataCount = static_cast<int32_t>(payload);
        resetLocked();
        if (m_sink)
            m_sink->answerFramed(m_packet);
    }
}
