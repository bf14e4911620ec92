// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes discovery intake: the bytes are cut into datagrams from a few
// senders, half of them wrapped in frames with a valid checksum so that the
// answer decoder sees them; and the dotted-address check of typed text.
#include "FuzzSupport.h"

#include "discovery/DiscoveryFrames.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/LoopbackDiscoveryNetwork.h"
#include "protocol/PacketChecksum.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

QLMCScanQuelmoDevice &engine()
{
    static QLMCScanQuelmoDevice *e = [] {
        fuzzsupport::keepLogInMemory();
        // An empty range: nothing is ever sent.
        static LoopbackDiscoveryNetwork network({}, {127, 0, 0, 1}, {127, 0, 0, 0});
        return new QLMCScanQuelmoDevice(0, network);
    }();
    return *e;
}

const char *const Senders[] = {"192.168.0.20", "10.0.0.1", "127.0.0.5", "bad"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QLMCScanQuelmoDevice &e = engine();
    e.DeviceList.clear();
    e.ModuleList.clear();
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t control = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        const uint8_t *chunk = data + at + 2;
        at += 2 + length;
        const QString sender = QString::fromLatin1(Senders[control & 3]);
        if (control & 4) {
            // A valid frame: function 0x0023, 0x0006 or 0x0008 around the chunk.
            static const uint16_t functions[] = {0x0023, 0x0006, 0x0008, 0x0023};
            const uint16_t function = functions[(control >> 3) & 3];
            std::vector<uint8_t> frame{uint8_t(function >> 8), uint8_t(function), 0, 0,
                                       uint8_t(length >> 8),   uint8_t(length)};
            frame.insert(frame.end(), chunk, chunk + length);
            const uint16_t sum = PacketChecksum(frame.data(), frame.size());
            frame.push_back(uint8_t(sum >> 8));
            frame.push_back(uint8_t(sum));
            e.receiveDatagram(frame, sender);
        } else {
            e.receiveDatagram(std::span<const uint8_t>(chunk, length), sender);
        }
    }
    std::array<uint8_t, 4> bytes{};
    DiscoveryFrames::testIPAddress(QString::fromLatin1(reinterpret_cast<const char *>(data),
                                                       qsizetype(std::min<size_t>(size, 40))),
                                   bytes);
    return 0;
}
