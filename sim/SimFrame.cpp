// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimFrame.h"

#include "protocol/PacketChecksum.h"
#include "protocol/QLMCIPPacket.h"

#include <algorithm>

void appendSimFrame(std::vector<uint8_t> &out, uint16_t function, uint16_t transaction,
                    std::span<const uint8_t> payload)
{
    const size_t start = out.size();
    const size_t length = std::min<size_t>(payload.size(), 0xFFFF);
    // Header: function, transaction, payload length, all big-endian.
    out.push_back(uint8_t(function >> 8));
    out.push_back(uint8_t(function));
    out.push_back(uint8_t(transaction >> 8));
    out.push_back(uint8_t(transaction));
    out.push_back(uint8_t(length >> 8));
    out.push_back(uint8_t(length));
    out.insert(out.end(), payload.begin(), payload.begin() + static_cast<ptrdiff_t>(length));
    // The checksum covers header and payload and goes out high byte first.
    const uint16_t checksum = PacketChecksum(out.data() + start, out.size() - start);
    out.push_back(uint8_t(checksum >> 8));
    out.push_back(uint8_t(checksum));
}

std::vector<uint8_t> encodeSimFrame(const SimFrame &frame)
{
    std::vector<uint8_t> out;
    out.reserve(Frame::HeaderSize + frame.payload.size() + Frame::ChecksumSize);
    appendSimFrame(out, frame.function, frame.transaction, frame.payload);
    return out;
}

std::string simHexText(std::span<const uint8_t> bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

SimFrameReader::SimFrameReader(FrameHandler onFrame, ErrorHandler onError)
    : m_onFrame(std::move(onFrame))
    , m_onError(std::move(onError))
{
    m_buffer.reserve(Frame::HeaderSize + 256);
}

void SimFrameReader::reset()
{
    m_buffer.clear();
    m_expected = Frame::HeaderSize;
    m_body = false;
}

void SimFrameReader::feed(const uint8_t *bytes, size_t length)
{
    size_t i = 0;
    while (i < length) {
        const size_t n = std::min(m_expected, length - i);
        m_buffer.insert(m_buffer.end(), bytes + i, bytes + i + n);
        m_expected -= n;
        i += n;
        if (m_expected > 0)
            break;

        if (!m_body) {
            // Header complete: the payload length is in bytes 4-5.
            const size_t payload = (size_t(m_buffer[4]) << 8) | m_buffer[5];
            if (payload > MaxPayload) {
                const std::vector<uint8_t> header = m_buffer;
                reset();
                if (m_onError)
                    m_onError(Error::Oversized, header);
                return;
            }
            m_expected = payload + Frame::ChecksumSize;
            m_body = true;
            continue;
        }

        const size_t end = m_buffer.size() - Frame::ChecksumSize;
        const uint16_t computed = PacketChecksum(m_buffer.data(), end);
        const uint16_t received = uint16_t((m_buffer[end] << 8) | m_buffer[end + 1]);
        if (!checksumAccepted(computed, received)) {
            const std::vector<uint8_t> header(m_buffer.begin(),
                                              m_buffer.begin() + Frame::HeaderSize);
            reset();
            if (m_onError)
                m_onError(Error::Checksum, header);
            return;
        }
        m_frame.function = uint16_t((m_buffer[0] << 8) | m_buffer[1]);
        m_frame.transaction = uint16_t((m_buffer[2] << 8) | m_buffer[3]);
        m_frame.payload.assign(m_buffer.begin() + Frame::HeaderSize,
                               m_buffer.begin() + static_cast<ptrdiff_t>(end));
        reset();
        if (m_onFrame)
            m_onFrame(m_frame);
    }
}
