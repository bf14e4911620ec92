// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Fuzzes the reader of the routing table (/proc/net/route): any text gives
// exactly the destinations of its lines whose second field is eight
// hexadecimal digits, each as a dotted address.
#include "platform/SystemDiscoveryNetwork.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

/// The destination of one line read independently: the field must be eight
/// hexadecimal digits (host byte order, so the last pair is the first byte).
bool expectedDestination(const std::string &line, std::string &out)
{
    std::istringstream fields(line);
    std::string name, destination;
    if (!(fields >> name >> destination) || destination.size() != 8)
        return false;
    for (const char c : destination)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    out.clear();
    for (int pair = 3; pair >= 0; --pair) {
        if (pair != 3)
            out += '.';
        out += std::to_string(std::stoul(destination.substr(size_t(pair) * 2, 2), nullptr, 16));
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> destinations = SystemDiscoveryNetwork::parseRouteTable(text);

    std::vector<std::string> expected;
    std::istringstream in(text);
    std::string line;
    std::getline(in, line); // the header
    while (std::getline(in, line)) {
        std::string destination;
        if (expectedDestination(line, destination))
            expected.push_back(destination);
    }
    check(destinations == expected);
    return 0;
}
