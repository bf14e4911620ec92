// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "sim/SimRegisterAccess.h"

#include <string_view>

using namespace std::string_view_literals;

namespace {

enum class When : uint8_t {
    Always,
    MajorAtLeast,             ///< firmware major >= major
    VersionAbove,             ///< firmware version above major.minor
    MajorAtLeastOrSubType100, ///< major >= major for sub-types below 100, always from 100
};

enum class Grant : uint8_t { Read, ReadWrite };

/// One line of the device's register set: for a type and a sub-type range,
/// under a firmware condition, these registers are granted.
struct AccessRow
{
    uint16_t type;
    uint16_t subFrom;
    uint16_t subTo;
    When when;
    uint8_t major;
    uint8_t minor;
    Grant grant;
    std::string_view addresses; ///< one byte per register address
};

constexpr uint16_t AnySub = 0xFFFF;

// Registers every model has. Commands are writable only; 0x11 and 0x15 are
// always readable because discovery asks every device for them.
constexpr std::string_view CommonRead = "\x00\x01\x07\x11\x28\x30"sv;
constexpr std::string_view CommonReadWrite =
    "\x08\x10\x12\x15\x20\x21\x22\x23\x24\x25\x26\x27\x2A\x2C\x40\x41\x42\x48\x4B\x4C"
    "\x50\x51\x52\x53\x58\x59\x5A\x5B"sv;
constexpr std::string_view Commands = "\x02\x03\x04\x05\x06\x49\x4A"sv;
constexpr std::string_view FeedForward = "\x61\x62\x63\x64"sv;

// Hex escapes stop at the next backslash, so each address is one byte.
constexpr AccessRow Rows[] = {
    // NETDC-A
    {2, 0, AnySub, When::Always, 0, 0, Grant::ReadWrite,
     "\x11\x13\x14\x2D\x2E\x33\x34\x35\x36\x37\x43"sv},
    {2, 0, AnySub, When::Always, 0, 0, Grant::Read, "\x31\x32\x38"sv},
    // NETEC-B
    {6, 3, 3, When::MajorAtLeast, 7, 0, Grant::Read, "\x0B\x0C"sv},
    {6, 3, 3, When::MajorAtLeast, 7, 0, Grant::ReadWrite, "\x55\x56"sv},
    {6, 3, 3, When::Always, 0, 0, Grant::ReadWrite,
     "\x11\x13\x14\x2D\x2E\x33\x34\x35\x36\x37\x39\x43"sv},
    {6, 3, 3, When::Always, 0, 0, Grant::Read, "\x29\x31\x32\x38"sv},
    {6, 3, 3, When::MajorAtLeast, 3, 0, Grant::ReadWrite, "\x4D\x4E\x4F"sv},
    {6, 3, 3, When::VersionAbove, 5, 12, Grant::ReadWrite, "\x0D"sv},
    // NETEC-A
    {6, 4, AnySub, When::Always, 0, 0, Grant::Read, "\x0B\x0C\x29\x2B\x31\x32\x38"sv},
    {6, 4, AnySub, When::Always, 0, 0, Grant::ReadWrite,
     "\x0D\x11\x13\x14\x2D\x2E\x2F\x33\x34\x35\x36\x37\x39\x43\x44\x4D\x4E\x4F\x55\x56"sv},
    // BUSDC-*
    {3, 0, AnySub, When::MajorAtLeast, 7, 0, Grant::Read, "\x0B\x0C"sv},
    {3, 0, AnySub, When::MajorAtLeast, 7, 0, Grant::ReadWrite, "\x55\x56"sv},
    {3, 0, AnySub, When::Always, 0, 0, Grant::ReadWrite, "\x0D\x2D\x2E\x2F\x33\x34\x35\x36\x37"sv},
    {3, 0, AnySub, When::Always, 0, 0, Grant::Read, "\x31\x32\x38"sv},
    {3, 5, AnySub, When::Always, 0, 0, Grant::ReadWrite, "\x39\x43"sv},
    {3, 5, AnySub, When::MajorAtLeastOrSubType100, 4, 0, Grant::ReadWrite, "\x4D\x4E\x4F"sv},
    {3, 200, 299, When::Always, 0, 0, Grant::Read, "\x29"sv},
    // BUSEC-A
    {25, 0, AnySub, When::MajorAtLeast, 7, 0, Grant::Read, "\x0B\x0C"sv},
    {25, 0, AnySub, When::MajorAtLeast, 7, 0, Grant::ReadWrite, "\x55\x56"sv},
    {25, 0, AnySub, When::Always, 0, 0, Grant::ReadWrite,
     "\x0D\x2D\x2E\x2F\x33\x34\x35\x36\x37\x39\x43\x4D\x4E\x4F"sv},
    {25, 0, AnySub, When::Always, 0, 0, Grant::Read, "\x29\x31\x32\x38"sv},
    // BUSST-*
    {43, 0, AnySub, When::MajorAtLeast, 3, 0, Grant::Read, "\x0B\x0C"sv},
    {43, 0, AnySub, When::Always, 0, 0, Grant::ReadWrite, "\x0D\x46\x47\x4D\x4E\x4F"sv},
    {43, 3, 5, When::Always, 0, 0, Grant::ReadWrite, "\x55\x56"sv},
};

bool holds(const AccessRow &row, const SimModel &model)
{
    if (row.type != model.typeCode || model.subType < row.subFrom || model.subType > row.subTo)
        return false;
    const int major = SimRegisterAccess::versionMajor(model.version);
    const int minor = SimRegisterAccess::versionMinor(model.version);
    switch (row.when) {
    case When::Always:
        return true;
    case When::MajorAtLeast:
        return major >= row.major;
    case When::VersionAbove:
        return major > row.major || (major == row.major && minor > row.minor);
    case When::MajorAtLeastOrSubType100:
        return model.subType >= 100 || major >= row.major;
    }
    return false;
}

} // namespace

SimRegisterAccess SimRegisterAccess::forModel(const SimModel &model)
{
    SimRegisterAccess access;
    auto grant = [&access](std::string_view addresses, bool read, bool write) {
        for (const char c : addresses) {
            const auto address = static_cast<uint8_t>(c);
            if (address >= SlotCount)
                continue;
            if (read)
                access.m_read.set(address);
            if (write)
                access.m_write.set(address);
        }
    };
    grant(CommonRead, true, false);
    grant(CommonReadWrite, true, true);
    grant(Commands, false, true);
    if (model.typeCode != 43 && versionMajor(model.version) > 6)
        grant(FeedForward, true, true);
    for (const AccessRow &row : Rows) {
        if (holds(row, model))
            grant(row.addresses, true, row.grant == Grant::ReadWrite);
    }
    return access;
}

bool SimRegisterAccess::readable(int address) const
{
    return address >= 0 && address < SlotCount && m_read.test(static_cast<size_t>(address));
}

bool SimRegisterAccess::writable(int address) const
{
    return address >= 0 && address < SlotCount && m_write.test(static_cast<size_t>(address));
}

int SimRegisterAccess::versionMajor(uint32_t version)
{
    return version > 0xFFFFFF ? int((version >> 8) & 0xFF) : int(version >> 16);
}

int SimRegisterAccess::versionMinor(uint32_t version)
{
    return version > 0xFFFFFF ? int(version & 0xFF) : int(version & 0xFFFF);
}
