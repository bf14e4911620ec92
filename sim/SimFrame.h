// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

/// The transport a request arrived on.
enum class SimTransport { Tcp, Udp };

/// One frame as the virtual controller handles it: function code, transaction
/// number and payload (the header's length field is the payload size).
struct SimFrame
{
    uint16_t function = 0;
    uint16_t transaction = 0;
    std::vector<uint8_t> payload;
};

/// Appends the encoded frame (6-byte header, payload, checksum) to \a out.
/// The payload must not exceed 65535 bytes (the 16-bit length field).
void appendSimFrame(std::vector<uint8_t> &out, uint16_t function, uint16_t transaction,
                    std::span<const uint8_t> payload);

/// The encoded frame of \a frame.
std::vector<uint8_t> encodeSimFrame(const SimFrame &frame);

/// Bytes as upper-case hexadecimal pairs separated by spaces ("00 21 0A").
std::string simHexText(std::span<const uint8_t> bytes);

/// Cuts a received byte stream (TCP) or datagram (UDP) into request frames and
/// checks their checksums. A frame that fails drops the rest of its chunk, as
/// the tool's own reassembly does, so the next chunk starts with a fresh header.
class SimFrameReader
{
public:
    enum class Error {
        Checksum, ///< the checksum did not match
        Oversized ///< the header announced more payload than a request can carry
    };

    /// A gateway request expands each direct entry into an item of up to four
    /// times its size, so requests may carry four times a packet's payload.
    static constexpr size_t MaxPayload = 4000;

    using FrameHandler = std::function<void(const SimFrame &)>;
    using ErrorHandler = std::function<void(Error, std::span<const uint8_t> header)>;

    SimFrameReader(FrameHandler onFrame, ErrorHandler onError);

    /// Feeds one received chunk; calls the handlers for every frame it completes.
    void feed(const uint8_t *bytes, size_t length);
    /// Drops any partial frame.
    void reset();
    /// Bytes of an incomplete frame currently held.
    size_t bytesHeld() const { return m_buffer.size(); }

private:
    FrameHandler m_onFrame;
    ErrorHandler m_onError;
    std::vector<uint8_t> m_buffer;
    size_t m_expected = 6;
    bool m_body = false;
    SimFrame m_frame;
};
