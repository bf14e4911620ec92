#include "sim/SimModel.h"

#include <algorithm>
#include <cctype>
#include <charconv>

const std::vector<SimModel> &simModelPresets()
{
    static const std::vector<SimModel> presets = {
        {"NETDC-A", 2, 1, 0x00070012},   {"NETEC-B", 6, 3, 0x00070012},
        {"NETEC-A", 6, 4, 0x00070012},   {"BUSDC-C", 3, 5, 0x00070012},
        {"BUSDC-A", 3, 100, 0x00070012}, {"BUSDC-B", 3, 200, 0x00070012},
        {"BUSEC-A", 25, 1, 0x00070012},  {"BUSST-A", 43, 1, 0x00040000},
        {"BUSST-B", 43, 2, 0x00040000},  {"BUSST-C", 43, 3, 0x00040000},
        {"BUSST-D", 43, 4, 0x00040000},
    };
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
