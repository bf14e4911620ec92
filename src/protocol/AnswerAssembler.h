// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "protocol/QLMCIPPacket.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>

/// Receives what the answer reassembly produces.
class AnswerSink
{
public:
    enum class FrameError {
        Checksum,  ///< the checksum did not match
        Oversized, ///< the header announced more payload than a packet holds
        Datagram   ///< a datagram that is not exactly one whole frame
    };

    virtual ~AnswerSink() = default;
    /// One answer passed its checksum (any function code).
    virtual void answerFramed(const QLMCIPPacket &answer) = 0;
    /// A frame was dropped; the rest of its chunk was dropped with it.
    virtual void frameDropped(FrameError error) = 0;
};

/// Cuts the received byte stream into answers and checks their checksums. One
/// chunk may carry several answers and one answer may span several chunks.
class AnswerAssembler
{
public:
    explicit AnswerAssembler(AnswerSink *sink = nullptr);

    void setSink(AnswerSink *sink) { m_sink = sink; }

    /// Chunks fed without a connection generation belong to the current one.
    static constexpr uint32_t CurrentGeneration = 0xFFFFFFFF;

    /// Feeds one chunk of a byte stream (a TCP receive event) that arrived on
    /// the connection of \a generation.
    void feed(const uint8_t *chunk, size_t length, uint32_t generation = CurrentGeneration);
    /// Feeds one UDP datagram: the reassembly starts afresh, and a datagram
    /// that is not exactly one whole frame is dropped (FrameError::Datagram),
    /// so a truncated datagram never swallows the next answer.
    void feedDatagram(const uint8_t *datagram, size_t length,
                      uint32_t generation = CurrentGeneration);
    /// Back to the initial state: nothing held, header phase, 6 bytes expected.
    void reset();
    /// Resets when part of a frame is held whose first byte came before
    /// \a moment: a frame that began before a request went out and was still
    /// not whole when that request's answer wait ended has a damaged header
    /// (it announced more bytes than came) or lost its rest. A part that began
    /// later may be the answer of a request given up, still arriving: it is
    /// kept. Returns true when it reset.
    bool resetIfHeldSince(std::chrono::steady_clock::time_point moment);
    /// The connection generation of the chunk being fed (valid in the sink's calls).
    uint32_t generation() const { return m_generation; }

    size_t bytesHeld() const { return m_held; }
    size_t bytesExpected() const { return m_expected; }
    bool inBody() const { return m_body; }

private:
    void feedLocked(const uint8_t *chunk, size_t length);
    void resetLocked();

    static constexpr size_t Capacity = Frame::HeaderSize + Frame::MaxPayload + Frame::ChecksumSize;

    AnswerSink *m_sink;
    /// Serialises feeds: a late datagram of a closed UDP connection may still
    /// be on its way in while the stream of the next connection comes in.
    std::recursive_mutex m_feedMutex;
    uint32_t m_generation = CurrentGeneration;
    std::array<uint8_t, Capacity> m_buffer{};
    size_t m_held = 0;
    std::chrono::steady_clock::time_point m_heldSince{}; ///< first byte of the part held
    size_t m_expected = Frame::HeaderSize;
    bool m_body = false;
    QLMCIPPacket m_packet;
};
