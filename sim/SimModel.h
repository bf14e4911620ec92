// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// A controller model the virtual controller can play: type code, sub-type and
/// firmware version, as registers 0x00 and 0x01 report them.
struct SimModel
{
    std::string name; ///< preset name, e.g. "NETDC-A"; empty for a custom type
    uint16_t typeCode = 2;
    uint16_t subType = 1;
    uint32_t version = 0x00070012; ///< register 0x01 as the device reports it

    uint32_t typeRegister() const { return (uint32_t(typeCode) << 16) | subType; }
    bool isStepper() const { return typeCode == 43; }
};

/// One preset per row of the model table (NETDC-A, NETEC-B, NETEC-A, BUSDC-C,
/// BUSDC-A, BUSDC-B, BUSEC-A, BUSST-A, BUSST-B, BUSST-C, BUSST-D).
const std::vector<SimModel> &simModelPresets();

/// Parses a preset name ("NETEC-A", case-insensitive) or "TYPE.SUBTYPE" in
/// decimal ("6.4"); nullopt when the text is neither.
std::optional<SimModel> parseSimModel(std::string_view text);
