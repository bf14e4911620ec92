// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimModel.h"

#include "device/ModelCatalogue.h"

#include <algorithm>
#include <cctype>
#include <charconv>

const std::vector<SimModel> &simModelPresets()
{
    // The models the tool identifies, each as one of its kind reports itself.
    static const std::vector<SimModel> presets = [] {
        std::vector<SimModel> list;
        for (const KnownModel &m : knownModels())
            list.push_back({m.name, m.typeCode, m.subType, m.version});
        return list;
    }();
    return presets;
}

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x))
                      == std::toupper(static_cast<unsigned char>(y));
           });
}

std::optional<uint16_t> parseDecimal(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value > 0xFFFF)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

std::optional<SimModel> parseSimModel(std::string_view text)
{
    for (const SimModel &preset : simModelPresets()) {
        if (equalsIgnoringCase(text, preset.name))
            return preset;
    }
    const size_t dot = text.find('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const auto type = parseDecimal(text.substr(0, dot));
    const auto subType = parseDecimal(text.substr(dot + 1));
    if (!type || !subType)
        return std::nullopt;
    SimModel model;
    model.typeCode = *type;
    model.subType = *subType;
    model.version = *type == 43 ? 0x00040000 : 0x00070012;
    for (const SimModel &preset : simModelPresets()) {
        if (preset.typeCode == model.typeCode && preset.subType == model.subType)
            return preset;
    }
    return model;
}
