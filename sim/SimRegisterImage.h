// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/RegisterTable.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <span>

/// The stored bytes of the 101 registers of a simulated controller, big-endian
/// as on the wire, with typed access for the model.
class SimRegisterImage
{
public:
    static constexpr int MaxSize = 16;

    /// Size in bytes of \a address (0 for commands, empty slots and unknown addresses).
    static int size(int address)
    {
        const RegisterInfo *info = registerInfo(address);
        return info && info->address >= 0 ? info->size : 0;
    }

    std::span<const uint8_t> bytes(int address) const
    {
        const int n = size(address);
        if (n == 0)
            return {};
        return std::span<const uint8_t>(m_bytes[static_cast<size_t>(address)].data(), size_t(n));
    }

    /// Copies at most the register's size from \a value; the rest keeps its bytes.
    void setBytes(int address, std::span<const uint8_t> value)
    {
        const int n = size(address);
        if (n == 0)
            return;
        std::copy_n(value.begin(), std::min<size_t>(value.size(), size_t(n)),
                    m_bytes[static_cast<size_t>(address)].begin());
    }

    uint32_t u32(int address, int offset = 0) const
    {
        const auto b = raw(address, offset, 4);
        return b ? (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3]
                 : 0;
    }
    int32_t s32(int address, int offset = 0) const { return int32_t(u32(address, offset)); }
    uint16_t u16(int address, int offset = 0) const
    {
        const auto b = raw(address, offset, 2);
        return b ? uint16_t((b[0] << 8) | b[1]) : 0;
    }
    uint8_t u8(int address, int offset = 0) const
    {
        const auto b = raw(address, offset, 1);
        return b ? b[0] : 0;
    }
    /// 16.16 fixed point as a number.
    double fixed16(int address) const { return s32(address) / 65536.0; }
    /// 8.24 fixed point as a number.
    double fixed24(int address) const { return s32(address) / 16777216.0; }

    void setU32(int address, uint32_t v, int offset = 0)
    {
        if (uint8_t *b = raw(address, offset, 4)) {
            b[0] = uint8_t(v >> 24);
            b[1] = uint8_t(v >> 16);
            b[2] = uint8_t(v >> 8);
            b[3] = uint8_t(v);
        }
    }
    void setS32(int address, int32_t v, int offset = 0) { setU32(address, uint32_t(v), offset); }
    void setU16(int address, uint16_t v, int offset = 0)
    {
        if (uint8_t *b = raw(address, offset, 2)) {
            b[0] = uint8_t(v >> 8);
            b[1] = uint8_t(v);
        }
    }
    void setU8(int address, uint8_t v, int offset = 0)
    {
        if (uint8_t *b = raw(address, offset, 1))
            b[0] = v;
    }
    void setFixed16(int address, double v) { setS32(address, saturate(v * 65536.0)); }
    void setFixed24(int address, double v) { setS32(address, saturate(v * 16777216.0)); }

    /// Truncates toward zero into the signed 32-bit range (NaN gives 0).
    static int32_t saturate(double v)
    {
        if (!(v == v))
            return 0;
        return int32_t(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
    }

private:
    uint8_t *raw(int address, int offset, int n)
    {
        return offset >= 0 && offset + n <= size(address)
                   ? m_bytes[static_cast<size_t>(address)].data() + offset
                   : nullptr;
    }
    const uint8_t *raw(int address, int offset, int n) const
    {
        return offset >= 0 && offset + n <= size(address)
                   ? m_bytes[static_cast<size_t>(address)].data() + offset
                   : nullptr;
    }

    std::array<std::array<uint8_t, MaxSize>, RegisterCount> m_bytes{};
};
