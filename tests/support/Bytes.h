// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

/// Parses "00 21 0A" into bytes.
inline std::vector<uint8_t> hexBytes(const std::string &text)
{
    std::vector<uint8_t> out;
    std::istringstream in(text);
    std::string token;
    while (in >> token)
        out.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
    return out;
}

/// Formats bytes as "00 21 0A".
template<typename Range>
std::string hexText(const Range &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (auto b : bytes) {
        const auto v = static_cast<uint8_t>(b);
        if (!out.empty())
            out += ' ';
        out += digits[v >> 4];
        out += digits[v & 15];
    }
    return out;
}

} // namespace testsupport
