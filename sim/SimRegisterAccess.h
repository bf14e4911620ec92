// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "sim/SimModel.h"

#include <bitset>

/// Which registers a simulated controller answers and accepts, from the
/// device's own point of view (type, sub-type and firmware version).
class SimRegisterAccess
{
public:
    static constexpr int SlotCount = 101;

    /// The register set of \a model.
    static SimRegisterAccess forModel(const SimModel &model);

    /// True when reads of \a address are answered (never for commands).
    bool readable(int address) const;
    /// True when writes of \a address are accepted (commands included).
    bool writable(int address) const;

    /// Major and minor firmware version as register 0x01 encodes them: a value
    /// above 0xFFFFFF carries the hardware version in its two high bytes and
    /// the firmware version in its two low bytes.
    static int versionMajor(uint32_t version);
    static int versionMinor(uint32_t version);

private:
    std::bitset<SlotCount> m_read;
    std::bitset<SlotCount> m_write;
};
