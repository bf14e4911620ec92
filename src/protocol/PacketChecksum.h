// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstddef>
#include <cstdint>

/// The 16-bit frame checksum over \a count bytes, computed byte by byte: a byte
/// at an even position adds (255 - byte) * 256, at an odd position 255 - byte;
/// an odd count adds 255 for the missing byte; the sum is folded twice.
/// It equals the RFC 1071 checksum except that where the words sum to a
/// multiple of 0xFFFF it gives FF FF (RFC 1071 gives 00 00).
uint16_t PacketChecksum(const uint8_t *bytes, size_t count);

/// True when a received checksum matches the computed one. 00 00 is accepted
/// where the computation gives FF FF: both are ones'-complement zero, and a
/// controller computing RFC 1071 sends 00 00 there.
constexpr bool checksumAccepted(uint16_t computed, uint16_t received)
{
    return computed == received || (computed == 0xFFFF && received == 0x0000);
}
