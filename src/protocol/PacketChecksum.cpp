// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/PacketChecksum.h"

uint16_t PacketChecksum(const uint8_t *bytes, size_t count)
{
    // Sum the complemented big-endian 16-bit words; two folds bring any sum of
    // up to 2^32 - 1 into 16 bits.
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 1 < count; i += 2)
        sum += (uint32_t(255 - bytes[i]) << 8) + uint32_t(255 - bytes[i + 1]);
    if (i < count)
        sum += (uint32_t(255 - bytes[i]) << 8) + 255;
    while (sum > 0xFFFFFFFFu)
        sum = (sum >> 32) + (sum & 0xFFFFFFFFu);
    uint32_t s = static_cast<uint32_t>(sum);
    s = (s >> 16) + (s & 0xFFFF);
    s = (s >> 16) + (s & 0xFFFF);
    return static_cast<uint16_t>(s);
}
