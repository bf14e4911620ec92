// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimCommandLine.h"

#include "sim/SimServer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string_view>

#include <arpa/inet.h>

namespace {

/// An unsigned number, decimal or with a 0x prefix hexadecimal.
std::optional<uint64_t> parseNumber(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<std::array<uint8_t, 6>> parseMac(std::string_view text)
{
    std::array<uint8_t, 6> mac{};
    for (size_t i = 0; i < mac.size(); ++i) {
        if (text.size() < 2)
            return std::nullopt;
        unsigned value = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + 2, value, 16);
        if (ec != std::errc() || end != text.data() + 2)
            return std::nullopt;
        mac[i] = uint8_t(value);
        text.remove_prefix(2);
        if (i + 1 < mac.size()) {
            if (text.empty() || (text[0] != ':' && text[0] != '-'))
                return std::nullopt;
            text.remove_prefix(1);
        }
    }
    if (!text.empty())
        return std::nullopt;
    return mac;
}

std::optional<std::vector<int>> parseModules(std::string_view text)
{
    std::vector<int> modules;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const auto value = parseNumber(text.substr(0, comma));
        // I2C module addresses are 7-bit; 0 is the general call.
        if (!value || *value < 1 || *value > 127)
            return std::nullopt;
        if (std::find(modules.begin(), modules.end(), int(*value)) != modules.end())
            return std::nullopt;
        modules.push_back(int(*value));
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
        if (text.empty())
            return std::nullopt;
    }
    if (modules.empty())
        return std::nullopt;
    return modules;
}

/// "LOW,HIGH": two signed 32-bit numbers, LOW below HIGH.
std::optional<std::pair<int32_t, int32_t>> parseLimitSwitches(std::string_view text)
{
    const size_t comma = text.find(',');
    if (comma == std::string_view::npos)
        return std::nullopt;
    auto number = [](std::string_view part) -> std::optional<int32_t> {
        int32_t value = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size())
            return std::nullopt;
        return value;
    };
    const auto low = number(text.substr(0, comma));
    const auto high = number(text.substr(comma + 1));
    if (!low || !high || *low >= *high)
        return std::nullopt;
    return std::make_pair(*low, *high);
}

} // namespace

std::string simMacText(const std::array<uint8_t, 6> &mac)
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

std::optional<SimCommandLine> SimCommandLine::parse(const std::vector<std::string> &arguments,
                                                    std::string *error)
{
    SimCommandLine options;
    options.model = *parseSimModel("NETDC-A");
    std::optional<uint32_t> version;
    bool modulesGiven = false;

    auto fail = [error](std::string text) -> std::optional<SimCommandLine> {
        if (error)
            *error = std::move(text);
        return std::nullopt;
    };

    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> inlineValue;
        if (const size_t equals = option.find('=');
            option.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = option.substr(equals + 1);
            option.resize(equals);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return inlineValue;
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };
        auto flag = [&]() { return !inlineValue; };

        if (option == "--help" || option == "-h") {
            options.help = true;
            continue;
        }
        if (option == "--gateway" || option == "--allow-any-address") {
            if (!flag())
                return fail(option + " takes no value");
            (option == "--gateway" ? options.gateway : options.allowAnyAddress) = true;
            continue;
        }

        static const std::string_view withValue[] = {
            "--model",   "--version", "--bind",  "--tcp-port", "--udp-port", "--count",
            "--modules", "--log",     "--fault", "--name",     "--mac",      "--seed",
            "--limit-switches", "--autotune", "--warning", "--input-level", "--vary"};
        if (std::find(std::begin(withValue), std::end(withValue), option) == std::end(withValue))
            return fail("unknown option '" + arguments[i] + "'");
        const auto text = value();
        if (!text)
            return fail(option + " needs a value");

        if (option == "--model") {
            const auto model = parseSimModel(*text);
            if (!model)
                return fail("--model: '" + *text + "' is neither a model name nor TYPE.SUBTYPE");
            options.model = *model;
        } else if (option == "--version") {
            const auto n = parseNumber(*text);
            if (!n || *n > 0xFFFFFFFFu)
                return fail("--version: '" + *text + "' is not a 32-bit number (0xVVVVVVVV)");
            version = uint32_t(*n);
        } else if (option == "--bind") {
            in_addr address{};
            if (inet_pton(AF_INET, text->c_str(), &address) != 1)
                return fail("--bind: '" + *text + "' is not an IPv4 address");
            options.bindAddress = *text;
        } else if (option == "--tcp-port" || option == "--udp-port") {
            const auto n = parseNumber(*text);
            if (!n || *n > 65535)
                return fail(option + ": '" + *text + "' is not a port number 0..65535");
            (option == "--tcp-port" ? options.tcpPort : options.udpPort) = uint16_t(*n);
        } else if (option == "--count") {
            const auto n = parseNumber(*text);
            if (!n || *n < 1 || *n > 254)
                return fail("--count: '" + *text + "' is not a number 1..254");
            options.count = int(*n);
        } else if (option == "--modules") {
            const auto modules = parseModules(*text);
            if (!modules)
                return fail("--modules: '" + *text
                            + "' is not a list of distinct I2C addresses 1..127 (e.g. 16,17)");
            options.modules = *modules;
            modulesGiven = true;
        } else if (option == "--log") {
            options.logPath = *text;
        } else if (option == "--fault") {
            std::string reason;
            if (!SimFaults::applyTo(options.faults, *text, &reason))
                return fail("--fault: " + reason);
        } else if (option == "--name") {
            if (text->size() > 16)
                return fail("--name: at most 16 characters");
            options.name = *text;
        } else if (option == "--mac") {
            const auto mac = parseMac(*text);
            if (!mac)
                return fail("--mac: '" + *text + "' is not a MAC address like 00:50:C2:00:00:01");
            options.mac = *mac;
        } else if (option == "--limit-switches") {
            options.limitSwitches = parseLimitSwitches(*text);
            if (!options.limitSwitches)
                return fail("--limit-switches: '" + *text
                            + "' is not LOW,HIGH (two whole numbers of pulses, LOW below HIGH)");
        } else if (option == "--seed") {
            const auto n = parseNumber(*text);
            if (!n)
                return fail("--seed: '" + *text + "' is not a number");
            options.seed = *n;
        } else if (option == "--autotune") {
            const auto outcome = simAutoTuneOutcome(*text);
            if (!outcome)
                return fail("--autotune: '" + *text
                            + "' is none of success, no-speed, no-speed-hall, oscillation, "
                              "undefined, running-13");
            options.autotune = *outcome;
        } else if (option == "--warning") {
            const auto n = parseNumber(*text);
            if (!n || *n > 0xFFFFFFFFull)
                return fail("--warning: '" + *text + "' is not a 32-bit number");
            options.warnings = uint32_t(*n);
        } else if (option == "--vary") {
            const size_t colon = text->find(':');
            const auto address = parseNumber(std::string_view(*text).substr(0, colon));
            const auto step = colon == std::string::npos
                                  ? std::optional<uint64_t>(1)
                                  : parseNumber(std::string_view(*text).substr(colon + 1));
            if (!address || *address < 0x07 || *address > 0x64 || !step || *step == 0
                || *step > 0xFFFFFFFFu)
                return fail("--vary: '" + *text + "' is not REG[:STEP] (REG 0x07..0x64, STEP 1..2^32-1)");
            options.vary.push_back({int(*address), *step});
        } else if (option == "--input-level") {
            if (*text != "0,0" && *text != "0,1" && *text != "1,0" && *text != "1,1")
                return fail("--input-level: '" + *text + "' is not L1,L2 with 0 or 1 each");
            options.inputLevels = {(*text)[0] == '1', (*text)[2] == '1'};
        }
    }
    if (options.help)
        return options;

    if (version)
        options.model.version = *version;
    if (modulesGiven && !options.gateway)
        return fail("--modules needs --gateway");
    if (options.gateway && options.modules.empty())
        options.modules = {16};
    if (!options.allowAnyAddress && !SimServer::isLoopbackAddress(options.bindAddress))
        return fail("--bind: " + options.bindAddress
                    + " is not a loopback address (127.x.y.z); add --allow-any-address only "
                      "inside a network namespace");
    in_addr base{};
    inet_pton(AF_INET, options.bindAddress.c_str(), &base);
    const uint32_t last = ntohl(base.s_addr) & 0xFF;
    if (options.count > 1 && (base.s_addr == 0 || last + uint32_t(options.count - 1) > 254))
        return fail("--count: the addresses from " + options.bindAddress
                    + " on would run past .254 (or the address is 0.0.0.0)");
    return options;
}

std::string SimCommandLine::deviceAddress(int index) const
{
    in_addr address{};
    inet_pton(AF_INET, bindAddress.c_str(), &address);
    address.s_addr = htonl(ntohl(address.s_addr) + uint32_t(index));
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::array<uint8_t, 6> SimCommandLine::macPlus(int offset) const
{
    uint64_t value = 0;
    for (const uint8_t byte : mac)
        value = (value << 8) | byte;
    value += uint64_t(offset);
    std::array<uint8_t, 6> out{};
    for (int i = 5; i >= 0; --i) {
        out[size_t(i)] = uint8_t(value);
        value >>= 8;
    }
    return out;
}

std::string SimCommandLine::helpText()
{
    std::string models;
    size_t lineLength = 0;
    for (const SimModel &preset : simModelPresets()) {
        if (!models.empty()) {
            models += ',';
            if (lineLength > 40) {
                models += "\n                             ";
                lineLength = 0;
            } else {
                models += ' ';
            }
        }
        models += preset.name;
        lineLength += preset.name.size() + 2;
    }
    return "Usage: tarvine-sim [OPTION]...\n"
           "The virtual controller: a simulated motor controller (or Ethernet-to-I2C gateway\n"
           "with controller modules) answering the register protocol on TCP and UDP and\n"
           "discovery datagrams on the UDP port. It serves loopback addresses only, prints\n"
           "one line per device starting with \"ready\" once all are listening, and runs\n"
           "until SIGTERM or SIGINT, then exits with status 0.\n"
           "\n"
           "Options (a value may also be given as --option=VALUE):\n"
           "  --model NAME|TYPE.SUBTYPE  model to play (default NETDC-A); NAME is one of\n"
           "                             "
           + models
           + ";\n"
             "                             TYPE.SUBTYPE in decimal, e.g. 6.4\n"
             "  --version 0xVVVVVVVV       firmware version register value (default: the model's);\n"
             "                             --version alone prints the program's version\n"
             "  --bind ADDR                IPv4 address to serve (default 127.0.0.1)\n"
             "  --allow-any-address        allow 0.0.0.0 and non-loopback addresses; only for\n"
             "                             network namespaces created for a test\n"
             "  --tcp-port P               TCP port (default 8010; 0 = ephemeral)\n"
             "  --udp-port Q               UDP port for register requests and discovery\n"
             "                             (default 7010; 0 = ephemeral)\n"
             "  --count N                  N devices on consecutive addresses (127.0.0.1,\n"
             "                             127.0.0.2, ...), each with its own MAC and name\n"
             "  --gateway                  play an Ethernet-to-I2C gateway instead of a "
             "controller\n"
             "  --modules LIST             I2C addresses of the gateway's modules, "
             "comma-separated\n"
             "                             (e.g. 16,17; default 16); each module is a controller\n"
             "                             of the model with its own MAC and name\n"
             "  --log FILE                 append every request and answer to FILE\n"
             "  --fault MODE               inject a fault into the answers (repeatable):\n"
           + SimFaults::helpText()
           + "  --name TEXT                device name, at most 16 characters (default Virtual);\n"
             "                             several devices or modules get -1, -2 ... or -ADDR "
             "appended\n"
             "  --mac XX:XX:XX:XX:XX:XX    MAC address of the first device (default\n"
             "                             00:50:C2:00:00:01); further devices count up from it\n"
             "  --seed N                   seed of the fault generator (default 1)\n"
             "  --limit-switches LOW,HIGH  limit switch 1 closes at or below LOW, limit switch\n"
             "                             2 at or above HIGH (pulses from the power-up\n"
             "                             position; default -30000,30000)\n"
             "  --autotune OUTCOME         outcome of auto-tuning runs: success (default),\n"
             "                             no-speed (0x14), no-speed-hall (0x24), oscillation\n"
             "                             (0x34), undefined (0xF4), running-13 (0x13, then success)\n"
             "  --warning BITS             present warning bits of 0x08 forced on (0x-hex allowed)\n"
             "  --input-level L1,L2        level (0 or 1) of I/O lines configured \"0 - Input\"\n"
             "  --vary REG[:STEP]          device i (from 0) holds register REG raised by i x STEP\n"
             "                             (raw value, default 1; repeatable): devices that differ\n"
             "  --help                     show this text and exit\n"
             "\n"
             "Answer conventions: read and write answers use function 0x0023 (a write answer\n"
             "has an empty payload); gateway status 0x87 = acknowledged, 0x20 = no module at\n"
             "that address, 0x30 = register refused (read bytes then read as 0xFF).\n";
}
