#pragma once

#include "protocol/QLMCIPPacket.h"

#include <array>
#include <cstddef>
#include <cstdint>

/// Receives what the answer reassembly produces.
class AnswerSink
{
public:
    enum class FrameError {
        Checksum, ///< the checksum did not match
        Oversized ///< the header announced more payload than a packet holds
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

    /// Feeds one received chunk (a TCP receive event or a UDP datagram).
    void feed(const uint8_t *chunk, size_t length);
    /// Back to the initial state: nothing held, header phase, 6 bytes expected.
    void reset();

    size_t bytesHeld() const { return m_held; }
    size_t bytesExpected() const { return m_expected; }
    bool inBody() const { return m_body; }

private:
    static constexpr size_t Capacity = Frame::HeaderSize + Frame::MaxPayload + Frame::ChecksumSize;

    AnswerSink *m_sink;
    std::array<uint8_t, Capacity> m_buffer{};
    size_t m_held = 0;
    size_t m_expected = Frame::HeaderSize;
    bool m_body = false;
    QLMCIPPacket m_packet;
};
