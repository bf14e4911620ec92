// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

struct QLMCNetBoard;

/// The discovery datagrams and the address rules of discovery and IP change.
namespace DiscoveryFrames {

/// Variable codes of an identify answer (register addresses).
inline constexpr uint8_t VarType = 0x00;    ///< 4 bytes: type code, sub-type
inline constexpr uint8_t VarMac = 0x11;     ///< 6 bytes
inline constexpr uint8_t VarVersion = 0x01; ///< 4 version bytes
inline constexpr uint8_t VarName = 0x15;    ///< 16 characters, zero-padded; ends the record

/// The answer to an identify request.
inline constexpr int IdentifyAnswer = 0x0023;
inline constexpr int ModuleListAnswer = 0x0006;
inline constexpr int ModuleIdentityAnswer = 0x0008;

/// Size of the value of variable \a code, or -1 for an unknown code.
int variableSize(uint8_t code);

/// 00 21 00 00 00 04 00 11 01 15 FE B4: read type, MAC, version and name.
std::vector<uint8_t> identifyRequest();
/// Function 0x002A, transaction 1, 14 data bytes: MAC, new address, mask.
std::vector<uint8_t> changeIpRequest(const std::array<uint8_t, 6> &mac,
                                     const std::array<uint8_t, 4> &address,
                                     const std::array<uint8_t, 4> &mask);

/// Dotted text to four bytes: exactly four fields, each made of plain
/// decimal digits (no sign, no space) with a value of 0 to 255.
bool testIPAddress(const QString &text, std::array<uint8_t, 4> &bytes);
QString ipText(const std::array<uint8_t, 4> &bytes);
/// "00-50-C2-00-00-33".
QString macText(const std::array<uint8_t, 6> &mac);
/// Parses "00-50-C2-00-00-33" or "00:50:c2:00:00:33".
std::optional<std::array<uint8_t, 6>> parseMac(const QString &text);

/// The mask of the address class: below 128 255.0.0.0, below 192 255.255.0.0,
/// else 255.255.255.0.
std::array<uint8_t, 4> classMask(const std::array<uint8_t, 4> &address);

/// True when \a address can be given to a device on \a board's network: not
/// 0.x, not multicast or above (224+), not 127.x unless the board is the
/// loopback one, and its host bits under the class mask neither all 0 nor all 1.
bool acceptableNewAddress(const std::array<uint8_t, 4> &address, const QLMCNetBoard &board);

/// True when \a address lies in the subnet of \a address/\a mask.
bool sameSubnet(const std::array<uint8_t, 4> &a, const std::array<uint8_t, 4> &b,
                const std::array<uint8_t, 4> &mask);

} // namespace DiscoveryFrames
