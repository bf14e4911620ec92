// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the UDP answer path: the input is cut into datagrams, each handed to
// the session as one datagram (a fresh reassembly, the whole-frame check, the
// checksum, then the decoder), some on the current connection and some on a
// closed one. Every datagram ends in exactly one framed answer or one dropped
// frame, and a stale one is never decoded.
#include "FuzzSupport.h"

#include "device/QLMCSession.h"
#include "protocol/PacketChecksum.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

/// Counts what the reassembly reports and hands it on to the session.
struct CountingSink : AnswerSink
{
    AnswerSink *next = nullptr;
    int framed = 0;
    int dropped = 0;
    void answerFramed(const QLMCIPPacket &answer) override
    {
        ++framed;
        next->answerFramed(answer);
    }
    void frameDropped(FrameError error) override
    {
        ++dropped;
        next->frameDropped(error);
    }
};

struct Target
{
    QLMCSession session;
    CountingSink sink;
    Target()
    {
        sink.next = &session;
        session.assembler().setSink(&sink);
        session.connection().ComMode = ComModes::Udp;
        session.connection().Generation = 7;
    }
};

Target &target()
{
    static Target *t = [] {
        fuzzsupport::keepLogInMemory();
        return new Target;
    }();
    return *t;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    Target &t = target();
    QLMCSession &s = t.session;
    s.connection().Phase = data[0] % 3;

    // Datagrams: a control byte (bits 0-1: the connection generation, bit 2:
    // wrap the bytes into a frame with a valid header and checksum), a 16-bit
    // length, then the bytes.
    size_t at = 1;
    while (at + 3 <= size) {
        const uint8_t control = data[at];
        const size_t length =
            std::min<size_t>(((size_t(data[at + 1]) << 8) | data[at + 2]) % 1100, size - at - 3);
        const uint8_t *bytes = data + at + 3;
        at += 3 + length;

        static const uint32_t generations[] = {7, 6, AnswerAssembler::CurrentGeneration, 0};
        const uint32_t generation = generations[control & 3];
        std::vector<uint8_t> datagram;
        if (control & 4) {
            datagram = {0x00, 0x23, 0x00, uint8_t(control), uint8_t(length >> 8), uint8_t(length)};
            datagram.insert(datagram.end(), bytes, bytes + length);
            const uint16_t sum = PacketChecksum(datagram.data(), datagram.size());
            datagram.push_back(uint8_t(sum >> 8));
            datagram.push_back(uint8_t(sum));
        } else {
            datagram.assign(bytes, bytes + length);
        }

        const int framed = t.sink.framed;
        const int dropped = t.sink.dropped;
        const int32_t decoded = s.statistics().answersDecoded;
        const int32_t stale = s.statistics().staleAnswers;
        s.feedAnswerBytes(datagram.data(), datagram.size(), generation, true);
        if ((t.sink.framed - framed) + (t.sink.dropped - dropped) != 1)
            __builtin_trap(); // one datagram, one outcome
        if (t.sink.dropped == dropped && (control & 4) == 0 && length < 8)
            __builtin_trap(); // shorter than any frame yet not dropped
        if (!s.isCurrentGeneration(generation)
            && (s.statistics().answersDecoded != decoded
                || s.statistics().staleAnswers != stale + 1))
            __builtin_trap(); // a closed connection's datagram is counted stale, never decoded
        if (s.assembler().bytesHeld() != 0)
            __builtin_trap(); // nothing of a datagram carries over to the next
    }
    return 0;
}
