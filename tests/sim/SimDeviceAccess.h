// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimController.h"

#include <chrono>
#include <cstdint>
#include <vector>

// Register access helpers for the device-side tests of the virtual controller.
namespace simtest {

using namespace std::chrono_literals;

inline std::vector<uint8_t> readBytes(SimController &c, int address)
{
    std::vector<uint8_t> out;
    c.readRegister(address, out);
    return out;
}

inline int64_t readInt(SimController &c, int address)
{
    const std::vector<uint8_t> b = readBytes(c, address);
    uint32_t v = 0;
    for (const uint8_t x : b)
        v = (v << 8) | x;
    switch (b.size()) {
    case 1:
        return uint8_t(v);
    case 2:
        return uint16_t(v);
    case 4:
        return int32_t(v);
    default:
        return -999999999;
    }
}

inline double readFixed16(SimController &c, int address)
{
    return double(readInt(c, address)) / 65536.0;
}

inline bool write32(SimController &c, int address, int64_t value)
{
    const uint32_t v = uint32_t(value);
    const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    return c.writeRegister(address, b);
}

inline bool write16(SimController &c, int address, uint16_t v)
{
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    return c.writeRegister(address, b);
}

inline bool write8(SimController &c, int address, uint8_t v)
{
    return c.writeRegister(address, std::span<const uint8_t>(&v, 1));
}

inline bool writeFixed16(SimController &c, int address, double v)
{
    return write32(c, address, int64_t(v * 65536.0));
}

inline bool command(SimController &c, int address)
{
    return c.writeRegister(address, {});
}

inline SimModel preset(const char *name)
{
    return *parseSimModel(name);
}

/// A controller on the manual clock.
inline std::unique_ptr<SimController> makeController(const char *model)
{
    auto c = std::make_unique<SimController>(preset(model), SimIdentity{});
    c->useManualClock(true);
    return c;
}

} // namespace simtest
