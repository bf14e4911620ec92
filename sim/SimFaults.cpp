// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimFaults.h"

#include "device/QLMCIPMotor.h"
#include "protocol/PacketChecksum.h"
#include "protocol/QLMCIPPacket.h"
#include "sim/SimFrame.h"

#include <algorithm>
#include <charconv>

namespace {

std::optional<long> parseInteger(std::string_view text)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

bool setError(std::string *error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}

/// The encoded frame's checksum recomputed after its header was changed.
void refreshChecksum(std::vector<uint8_t> &frame)
{
    if (frame.size() < size_t(Frame::HeaderSize + Frame::ChecksumSize))
        return;
    const size_t end = frame.size() - Frame::ChecksumSize;
    const uint16_t checksum = PacketChecksum(frame.data(), end);
    frame[end] = uint8_t(checksum >> 8);
    frame[end + 1] = uint8_t(checksum);
}

} // namespace

std::optional<SimFaultRate> SimFaultRate::parse(std::string_view text)
{
    if (text.empty())
        return always();
    if (text.starts_with("first")) {
        const auto n = parseInteger(text.substr(5));
        if (!n || *n < 1 || *n > 0x7FFFFFFF)
            return std::nullopt;
        return first(uint32_t(*n));
    }
    if (text.starts_with("after")) {
        const auto n = parseInteger(text.substr(5));
        if (!n || *n < 1 || *n > 0x7FFFFFFF)
            return std::nullopt;
        return after(uint32_t(*n));
    }
    if (text.find('.') != std::string_view::npos) {
        // A probability: digits with one decimal point, 0..1.
        double value = 0.0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (ec != std::errc() || end != text.data() + text.size() || !(value >= 0.0) || value > 1.0)
            return std::nullopt;
        return chance(value);
    }
    const auto n = parseInteger(text);
    if (!n || *n < 0 || *n > 0x7FFFFFFF)
        return std::nullopt;
    return every(uint32_t(*n));
}

bool SimFaultSettings::any() const
{
    return drop.active() || delayMs > 0 || corrupt.active() || split.active() || merge.active()
           || closeAfter > 0 || oversize.active() || malformed.active() || garbage.active()
           || nackStatusOnly || scanAnswer.has_value() || dropScanAnswer || late.active()
           || !lateOn.empty();
}

std::string SimFaultPlan::describe() const
{
    std::string text;
    auto add = [&text](bool on, const std::string &word) {
        if (on)
            text += (text.empty() ? "" : " ") + word;
    };
    add(drop, "drop");
    add(delayMs > 0, "delay " + std::to_string(delayMs) + " ms");
    add(oversize, "oversize");
    add(garbage, "garbage");
    add(malformed, "malformed");
    add(corrupt, "corrupt");
    add(split, "split " + std::to_string(splitPieces));
    add(merge, "merge");
    add(late, "late " + std::to_string(lateMs) + " ms");
    return text;
}

SimFaults::SimFaults(uint64_t seed)
    : m_random(seed)
{}

void SimFaults::settingsChanged()
{
    m_counters = Counters{};
    m_any.store(m_settings.any(), std::memory_order_relaxed);
}

void SimFaults::setSettings(const SimFaultSettings &settings)
{
    std::lock_guard lock(m_mutex);
    m_settings = settings;
    settingsChanged();
}

SimFaultSettings SimFaults::settings() const
{
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void SimFaults::clear()
{
    setSettings(SimFaultSettings{});
}

void SimFaults::setSeed(uint64_t seed)
{
    std::lock_guard lock(m_mutex);
    m_random.seed(seed);
    m_counters = Counters{};
}

#define SIM_FAULT_SETTER(name, field, type)                                                        \
    void SimFaults::name(type value)                                                               \
    {                                                                                              \
        std::lock_guard lock(m_mutex);                                                             \
        m_settings.field = value;                                                                  \
        settingsChanged();                                                                         \
    }

SIM_FAULT_SETTER(setDrop, drop, SimFaultRate)
SIM_FAULT_SETTER(setDelayMs, delayMs, int)
SIM_FAULT_SETTER(setCorrupt, corrupt, SimFaultRate)
SIM_FAULT_SETTER(setMerge, merge, SimFaultRate)
SIM_FAULT_SETTER(setCloseAfter, closeAfter, int)
SIM_FAULT_SETTER(setOversize, oversize, SimFaultRate)
SIM_FAULT_SETTER(setMalformed, malformed, SimFaultRate)
SIM_FAULT_SETTER(setGarbage, garbage, SimFaultRate)
SIM_FAULT_SETTER(setNackStatusOnly, nackStatusOnly, bool)
#undef SIM_FAULT_SETTER

void SimFaults::setSplit(SimFaultRate rate, int pieces, int pauseMs)
{
    std::lock_guard lock(m_mutex);
    m_settings.split = rate;
    m_settings.splitPieces = std::max(2, pieces);
    m_settings.splitPauseMs = std::max(0, pauseMs);
    settingsChanged();
}

int SimFaults::closeAfter() const
{
    std::lock_guard lock(m_mutex);
    return m_settings.closeAfter;
}

bool SimFaults::strikes(const SimFaultRate &rate, uint64_t &counter)
{
    if (rate.firstN > 0)
        return ++counter <= rate.firstN;
    if (rate.afterN > 0)
        return ++counter > rate.afterN;
    if (rate.everyNth > 0)
        return ++counter % rate.everyNth == 0;
    if (rate.probability > 0.0)
        return std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < rate.probability;
    return false;
}

bool SimFaults::carriesRegister(const SimFrame &request, const std::vector<int> &registers)
{
    const auto listed = [&registers](int address) {
        return std::find(registers.begin(), registers.end(), address) != registers.end();
    };
    const std::vector<uint8_t> &p = request.payload;
    switch (request.function) {
    case Function::Read:
        return std::any_of(p.begin(), p.end(), listed);
    case Function::Write:
        for (size_t i = 0; i < p.size(); i += 1 + size_t(std::max(0, QLMCIPMotor::RegisterSize(p[i]))))
            if (listed(p[i]))
                return true;
        return false;
    case Function::GatewayTransfer:
        // Items: module, n bytes to write (the first is the address), the n
        // bytes, the count to read.
        for (size_t i = 0; i + 1 < p.size(); i += 3 + size_t(p[i + 1]))
            if (p[i + 1] > 0 && i + 2 < p.size() && listed(p[i + 2]))
                return true;
        return false;
    default:
        return false;
    }
}

SimFaultPlan SimFaults::plan(const SimFrame *request)
{
    SimFaultPlan plan;
    if (!any())
        return plan;
    std::lock_guard lock(m_mutex);
    const SimFaultSettings &s = m_settings;
    plan.drop = strikes(s.drop, m_counters.drop);
    plan.corrupt = strikes(s.corrupt, m_counters.corrupt);
    plan.split = strikes(s.split, m_counters.split);
    plan.merge = strikes(s.merge, m_counters.merge);
    plan.oversize = strikes(s.oversize, m_counters.oversize);
    plan.malformed = strikes(s.malformed, m_counters.malformed);
    plan.garbage = strikes(s.garbage, m_counters.garbage);
    plan.delayMs = std::max(0, s.delayMs);
    plan.late = strikes(s.late, m_counters.late)
                || (request && !s.lateOn.empty() && carriesRegister(*request, s.lateOn));
    plan.lateMs = plan.late ? std::max(0, s.lateMs) : 0;
    if (plan.split) {
        plan.splitPieces = std::max(2, s.splitPieces);
        plan.splitPauseMs = std::max(0, s.splitPauseMs);
    }
    return plan;
}

void SimFaults::transform(const SimFaultPlan &plan, std::vector<uint8_t> &frame)
{
    if (frame.size() < size_t(Frame::HeaderSize + Frame::ChecksumSize))
        return;
    if (plan.oversize) {
        // The header announces 1024 payload bytes, more than any packet holds;
        // filler 0xFF makes any leftover read as another impossible header.
        constexpr size_t announced = 1024;
        frame.resize(Frame::HeaderSize);
        frame[4] = uint8_t(announced >> 8);
        frame[5] = uint8_t(announced & 0xFF);
        frame.insert(frame.end(), announced + Frame::ChecksumSize, 0xFF);
        refreshChecksum(frame);
        return;
    }
    if (plan.garbage) {
        std::lock_guard lock(m_mutex);
        for (uint8_t &byte : frame)
            byte = uint8_t(m_random());
        return;
    }
    if (plan.malformed) {
        // One payload byte more announced than carried: the receiver takes the
        // first checksum byte as payload and waits for a byte that never comes.
        const size_t length = ((size_t(frame[4]) << 8) | frame[5]) + 1;
        frame[4] = uint8_t(length >> 8);
        frame[5] = uint8_t(length & 0xFF);
        refreshChecksum(frame);
        return;
    }
    if (plan.corrupt)
        frame.back() ^= 0xFF; // the checksum's low byte
}

bool SimFaults::apply(std::string_view text, std::string *error)
{
    std::lock_guard lock(m_mutex);
    SimFaultSettings updated = m_settings;
    if (!applyTo(updated, text, error))
        return false;
    m_settings = updated;
    settingsChanged();
    return true;
}

bool SimFaults::applyTo(SimFaultSettings &settings, std::string_view text, std::string *error)
{
    const size_t equals = text.find('=');
    const std::string_view mode = text.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : text.substr(equals + 1);
    const bool hasValue = equals != std::string_view::npos;

    if (mode == "none") {
        settings = SimFaultSettings{};
        return true;
    }
    if (mode == "nack-status-only" && !hasValue) {
        settings.nackStatusOnly = true;
        return true;
    }

    struct RateMode
    {
        std::string_view name;
        SimFaultRate SimFaultSettings::*field;
    };
    static constexpr RateMode rateModes[] = {
        {"drop", &SimFaultSettings::drop},         {"corrupt", &SimFaultSettings::corrupt},
        {"split", &SimFaultSettings::split},       {"merge", &SimFaultSettings::merge},
        {"oversize", &SimFaultSettings::oversize}, {"malformed", &SimFaultSettings::malformed},
        {"garbage", &SimFaultSettings::garbage},   {"late", &SimFaultSettings::late},
    };
    for (const RateMode &m : rateModes) {
        if (mode != m.name)
            continue;
        if (hasValue && value.empty())
            return setError(error, "fault '" + std::string(text) + "': missing rate");
        const auto rate = SimFaultRate::parse(value);
        if (!rate)
            return setError(error,
                            "fault '" + std::string(text)
                                + "': rate must be N (every Nth answer) or a probability 0..1");
        settings.*m.field = *rate;
        return true;
    }

    // Register faults: a comma-separated list of addresses (decimal or 0x-hex).
    struct RegisterMode
    {
        std::string_view name;
        std::vector<int> SimFaultSettings::*field;
    };
    static const RegisterMode registerModes[] = {
        {"no-answer", &SimFaultSettings::noAnswer},
        {"ignore-write", &SimFaultSettings::ignoreWrite},
        {"late-on", &SimFaultSettings::lateOn},
    };
    for (const RegisterMode &m : registerModes) {
        if (mode != m.name)
            continue;
        std::vector<int> addresses;
        if (!hasValue && m.field == &SimFaultSettings::ignoreWrite) {
            // Without a list: every write is acknowledged and changes nothing.
            for (int address = 0; address <= 0x64; ++address)
                addresses.push_back(address);
            settings.*m.field = std::move(addresses);
            return true;
        }
        std::string_view rest = value;
        while (hasValue) {
            const size_t comma = rest.find(',');
            std::string_view item = rest.substr(0, comma);
            int base = 10;
            if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X')) {
                item.remove_prefix(2);
                base = 16;
            }
            int address = -1;
            const auto [end, ec] =
                std::from_chars(item.data(), item.data() + item.size(), address, base);
            if (item.empty() || ec != std::errc() || end != item.data() + item.size()
                || address < 0 || address > 0x64)
                break;
            addresses.push_back(address);
            if (comma == std::string_view::npos) {
                settings.*m.field = std::move(addresses);
                return true;
            }
            rest.remove_prefix(comma + 1);
        }
        return setError(error, "fault '" + std::string(text)
                                   + "': needs register addresses 0x00..0x64, e.g. 0x5B,0x33");
    }

    struct CountMode
    {
        std::string_view name;
        int SimFaultSettings::*field;
        long minimum;
    };
    static constexpr CountMode countModes[] = {
        {"delay", &SimFaultSettings::delayMs, 0},
        {"close-after", &SimFaultSettings::closeAfter, 0},
        {"split-pieces", &SimFaultSettings::splitPieces, 2},
        {"split-pause", &SimFaultSettings::splitPauseMs, 0},
        {"late-ms", &SimFaultSettings::lateMs, 0},
    };
    for (const CountMode &m : countModes) {
        if (mode != m.name)
            continue;
        const auto n = parseInteger(value);
        if (!hasValue || !n || *n < m.minimum || *n > 600000)
            return setError(error, "fault '" + std::string(text)
                                       + "': needs a whole number of at least "
                                       + std::to_string(m.minimum));
        settings.*m.field = int(*n);
        return true;
    }
    return setError(error, "unknown fault mode '" + std::string(mode) + "'");
}

std::string SimFaults::helpText()
{
    return "      RATE is N (every Nth answer; 1 = every answer, 0 = never), a\n"
           "      probability with a decimal point (0.25), firstN (the first N answers\n"
           "      only) or afterN (every answer after the first N: a device that goes\n"
           "      silent); without =RATE: every answer.\n"
           "      drop[=RATE]       the answer is not sent\n"
           "      delay=MS          every answer leaves MS milliseconds late (order kept)\n"
           "      corrupt[=RATE]    the checksum's low byte is inverted\n"
           "      split[=RATE]      the answer goes out in several TCP segments\n"
           "                        (several datagrams on UDP)\n"
           "      split-pieces=K    segments of a split answer (default 3, at least 2)\n"
           "      split-pause=MS    pause between the segments (default 10)\n"
           "      merge[=RATE]      the answer is held back and leaves in one segment\n"
           "                        (datagram) with the next answer\n"
           "      close-after=N     a TCP connection is closed right after its Nth\n"
           "                        request has been answered\n"
           "      oversize[=RATE]   replaced by a frame whose header announces 1024\n"
           "                        payload bytes (more than a packet can hold)\n"
           "      malformed[=RATE]  the length field announces one byte more than the\n"
           "                        frame carries\n"
           "      garbage[=RATE]    replaced by as many pseudo-random bytes (seeded)\n"
           "      nack-status-only  gateway: a transfer the module does not acknowledge\n"
           "                        is answered with its status byte only\n"
           "      no-answer=REG[,REG]    those registers are left out of read answers\n"
           "      ignore-write[=REG[,REG]] writes (of those registers; of every one\n"
           "                        without a list) are acknowledged and change nothing\n"
           "      late[=RATE]       the answer leaves late-ms late; later answers may\n"
           "                        overtake it\n"
           "      late-ms=MS        how late a late answer is (default 300)\n"
           "      late-on=REG[,REG] answers to requests carrying those registers are late\n"
           "                        (an EEPROM save 0x03 that takes its time)\n"
           "      none              switches every fault off\n";
}
