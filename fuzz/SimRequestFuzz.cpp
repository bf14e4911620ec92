// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the virtual controller's request reader: the input is cut into TCP
// chunks or UDP datagrams for a directly connected controller or a gateway,
// some wrapped into frames with a valid checksum so that the responder sees
// them. Every frame the reader completes stays within a request's size, and an
// answer echoes the request's transaction number and fits its length field.
#include "protocol/PacketChecksum.h"
#include "protocol/QLMCIPPacket.h"
#include "sim/SimFrame.h"
#include "sim/SimModel.h"
#include "sim/SimResponder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

std::shared_ptr<SimController> makeController()
{
    auto controller = std::make_shared<SimController>(*parseSimModel("NETEC-A"), SimIdentity{});
    controller->useManualClock(true); // the motor moves only when told: reproducible runs
    return controller;
}

struct Devices
{
    SimResponder direct{makeController()};
    SimResponder gateway{SimGatewayIdentity{}, {{16, makeController()}, {17, makeController()}}};
};

Devices &devices()
{
    static Devices *d = new Devices;
    return *d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const SimTransport transport = data[0] & 1 ? SimTransport::Udp : SimTransport::Tcp;
    SimResponder &responder = data[0] & 2 ? devices().gateway : devices().direct;

    int frames = 0;
    SimFrameReader reader(
        [&](const SimFrame &request) {
            ++frames;
            check(request.payload.size() <= SimFrameReader::MaxPayload);
            const SimResponse response = responder.respond(request, transport);
            if (response.outcome == SimResponse::Outcome::Answered) {
                check(response.answer.transaction == request.transaction);
                check(response.answer.payload.size() <= 0xFFFF);
            } else {
                check(response.answer.payload.empty());
            }
        },
        [](SimFrameReader::Error, std::span<const uint8_t> header) {
            check(header.size() == size_t(Frame::HeaderSize));
        });

    // Chunks: a control byte (bit 0: wrap into a valid frame whose function
    // bits 1-3 choose), a length byte, then the bytes.
    static const uint16_t functions[] = {
        Function::Read,     Function::Write, Function::GatewayScan, Function::GatewayTransfer,
        Function::ChangeIp, Function::Read,  Function::ReadAnswer,  0x0000};
    size_t at = 1;
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        const uint8_t *bytes = data + at + 2;
        at += 2 + length;
        std::vector<uint8_t> chunk;
        if (control & 1) {
            const uint16_t function = functions[(control >> 1) & 7];
            chunk = {uint8_t(function >> 8), uint8_t(function), uint8_t(control >> 4), 0,
                     uint8_t(length >> 8),   uint8_t(length)};
            chunk.insert(chunk.end(), bytes, bytes + length);
            const uint16_t sum = PacketChecksum(chunk.data(), chunk.size());
            chunk.push_back(uint8_t(sum >> 8));
            chunk.push_back(uint8_t(sum));
        } else {
            chunk.assign(bytes, bytes + length);
        }
        if (transport == SimTransport::Udp)
            reader.reset(); // each datagram stands alone
        const int before = frames;
        reader.feed(chunk.data(), chunk.size());
        if (control & 1 && transport == SimTransport::Udp)
            check(frames == before + 1); // a whole valid datagram is always read
        check(reader.bytesHeld() <= size_t(Frame::HeaderSize) + SimFrameReader::MaxPayload
                                        + size_t(Frame::ChecksumSize));
    }
    return 0;
}
