// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/RegisterRules.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

class QLMCSession;

/// The network identity of a controller (watchdog 0x14, address 0x12, name
/// 0x15), the entries of a gateway bus scan and the neighbour-cache reset: the
/// rules of the connection window's "Change parameters" boxes, without widgets.
namespace DeviceNetworkSettings {

inline constexpr int WatchdogMin = RegisterRules::WatchdogMin;
inline constexpr int WatchdogMax = RegisterRules::WatchdogMax;
inline constexpr int NameLength = 16;
inline constexpr int ModuleMin = 1;
inline constexpr int ModuleMax = 127;

/// The watchdog value written: 0 stays 0 (off), 1..29 become 30, larger values
/// are capped at 60.
int watchdogValue(int seconds);

/// The four address fields as the bytes of 0x12, first field first. Each field
/// must be a plain decimal number 0..255; otherwise nullopt and \a badField
/// (when given) holds the index of the first wrong field.
std::optional<std::array<uint8_t, 4>> addressBytes(const QStringList &fields,
                                                    int *badField = nullptr);

/// The name as the 16 bytes of 0x15: cut to 16 characters, padded with spaces.
/// nullopt when a character has no 8-bit code (the decoder reads the bytes as
/// Latin-1, so what is written reads back the same).
std::optional<std::array<uint8_t, NameLength>> nameBytes(const QString &text);
/// The text shown for a name: \a text cut to 16 characters.
QString nameText(const QString &text);

/// "Mod. 0x10 - 16" for the module address 16.
QString scanEntryText(int module);
/// The module address of a scan entry (its text from the 13th character on),
/// or nullopt when that is not a number 1..127.
std::optional<int> scanEntryAddress(const QString &entry);
/// The modules of a scan answer that can be addressed (1..127), in order; the
/// count of other bytes goes to \a rejected.
std::vector<uint8_t> validModules(std::span<const uint8_t> payload, int *rejected = nullptr);

/// The argument vector that drops the neighbour entry of \a ipText
/// ("ip neigh flush to ADDR"), or empty when \a ipText is not one dotted IPv4
/// address (a prefix such as 0.0.0.0/0 would flush the whole table).
QStringList arpResetArgv(const QString &ipText);

/// Register writes, each under RegisterLock with RequestWriteBytes.
void writeWatchdog(QLMCSession &session, int seconds);
void writeAddress(QLMCSession &session, const std::array<uint8_t, 4> &bytes);
void writeName(QLMCSession &session, const std::array<uint8_t, NameLength> &bytes);

} // namespace DeviceNetworkSettings
