// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <string>
#include <vector>

/// One register slot of the device image: its identity, last received value,
/// value to send, pending requests and the access the connected model grants.
class QLMCRegister
{
public:
    QLMCRegister(std::string name, int address, int size, bool readable, bool writable);

    std::string Name;                ///< exact register name; empty for an empty slot
    int Address;                     ///< 0x00..0x64, or -1 for an empty slot
    int Size;                        ///< value bytes; 0 for a command register
    std::vector<uint8_t> Value;      ///< last value received, wire order, exactly Size bytes
    std::vector<uint8_t> WriteValue; ///< value to send on the next write, exactly Size bytes
    bool ReadRequest = false;
    bool WriteRequest = false;
    bool Readable;
    bool Writable;
    uint32_t AnswerCount = 0; ///< answers that stored Value (a save notes who answered)
    /// The session's answer number (QLMCSession::answerSequence) of the answer
    /// that last stored Value; 0 while nothing was received since the open (a
    /// fresh image at every open has none). Value means nothing while it is 0.
    uint64_t ReceivedSequence = 0;
    /// The answer number of the last answered write packet that carried this
    /// register; 0 while no write of it was answered since the open.
    uint64_t WriteAnsweredSequence = 0;

    /// True when Value was received from the device since the open.
    bool received() const { return ReceivedSequence != 0; }
    /// True when Value arrived in an answer numbered above \a sequence.
    bool receivedAfter(uint64_t sequence) const { return ReceivedSequence > sequence; }

    /// The value bytes as an unsigned big-endian number (at most the last 8 bytes).
    uint64_t valueUnsigned() const;
    /// Stores \a value big-endian into WriteValue (the low Size bytes of it).
    void setWriteValue(int64_t value);
};
