// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/QLMCRegister.h"

#include <utility>

QLMCRegister::QLMCRegister(std::string name, int address, int size, bool readable, bool writable)
    : Name(std::move(name))
    , Address(address)
    , Size(size < 0 ? 0 : size)
    , Value(static_cast<size_t>(Size), 0)
    , WriteValue(static_cast<size_t>(Size), 0)
    , Readable(readable)
    , Writable(writable)
{}

uint64_t QLMCRegister::valueUnsigned() const
{
    uint64_t result = 0;
    const size_t first = Value.size() > 8 ? Value.size() - 8 : 0;
    for (size_t i = first; i < Value.size(); ++i)
        result = (result << 8) | Value[i];
    return result;
}

void QLMCRegister::setWriteValue(int64_t value)
{
    // Most significant byte first: a 32-bit v gives v>>24, v>>16, v>>8, v.
    const auto raw = static_cast<uint64_t>(value);
    for (int i = 0; i < Size; ++i) {
        const int shift = 8 * (Size - 1 - i);
        WriteValue[static_cast<size_t>(i)] = shift < 64 ? static_cast<uint8_t>(raw >> shift) : 0;
    }
}
