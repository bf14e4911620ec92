// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "protocol/PacketChecksum.h"
#include "support/Bytes.h"

#include <gtest/gtest.h>

#include <random>

using testsupport::hexBytes;

namespace {

uint16_t checksumOf(const std::string &hex)
{
    const auto bytes = hexBytes(hex);
    return PacketChecksum(bytes.data(), bytes.size());
}

// RFC 1071: ones'-complement of the ones'-complement sum of big-endian words.
uint16_t rfc1071(const std::vector<uint8_t> &bytes)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint16_t word = uint16_t(bytes[i] << 8);
        if (i + 1 < bytes.size())
            word |= bytes[i + 1];
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return uint16_t(~sum);
}

TEST(PacketChecksum, KnownFrames)
{
    EXPECT_EQ(checksumOf("00 21 00 00 00 01 26"), 0xD9DD);
    // The discovery identify request: 00 21 00 00 00 04 00 11 01 15, then FE B4.
    EXPECT_EQ(checksumOf("00 21 00 00 00 04 00 11 01 15"), 0xFEB4);
    // Words summing to a multiple of 0xFFFF: the byte-wise sum gives FF FF.
    EXPECT_EQ(checksumOf("00 21 00 00 00 02 FF DC"), 0xFFFF);
}

TEST(PacketChecksum, EqualsRfc1071OutsideTheOnesComplementZeroCase)
{
    std::mt19937 random(1071);
    int compared = 0;
    for (int round = 0; round < 20000; ++round) {
        std::vector<uint8_t> bytes(1 + random() % 1100);
        for (auto &b : bytes)
            b = uint8_t(random());
        const uint16_t ours = PacketChecksum(bytes.data(), bytes.size());
        const uint16_t reference = rfc1071(bytes);
        if (reference == 0x0000 && ours == 0xFFFF)
            continue;
        EXPECT_EQ(ours, reference) << "length " << bytes.size();
        ++compared;
    }
    EXPECT_GT(compared, 19000);
}

TEST(PacketChecksum, AcceptsZeroWhereTheAlgorithmGivesAllOnes)
{
    EXPECT_TRUE(checksumAccepted(0xFFFF, 0xFFFF));
    EXPECT_TRUE(checksumAccepted(0xFFFF, 0x0000));
    EXPECT_TRUE(checksumAccepted(0x1234, 0x1234));
    EXPECT_FALSE(checksumAccepted(0x1234, 0x0000));
    EXPECT_FALSE(checksumAccepted(0x0000, 0xFFFF));
}

} // namespace
