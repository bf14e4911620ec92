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

    /// The value bytes as an unsigned big-endian number (at most the last 8 bytes).
    uint64_t valueUnsigned() const;
    /// Stores \a value big-endian into WriteValue (the low Size bytes of it).
    void setWriteValue(int64_t value);
};
