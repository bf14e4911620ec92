// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>
#include <optional>

class QLMCSession;

/// One item of the "&Loop Time" menu and the value of register 0x2D it stands for.
struct LoopTimeItem
{
    const char *name; ///< objectName of the menu item
    const char *caption;
    int value;
};

inline constexpr int LoopTimeItemCount = 7;

/// The loop-time menu: its items, the check mark for a received value, and
/// the selection rule.
namespace LoopTimeMenu {

/// The seven items in menu order (index = value).
const std::array<LoopTimeItem, LoopTimeItemCount> &items();

/// The item to check for a value of 0x2D; nullopt (all unchecked) for 7 and above.
std::optional<int> itemForValue(int32_t value);

/// The items can be chosen only while the connection's TCP client socket is
/// connected: direct TCP or an I2C gateway, not UDP, not closed.
bool selectable(int comMode, bool tcpSocketConnected);

/// Choosing the item of \a value: when selectable and the rule book takes it
/// (the model sets its loop time), writes the value to 0x2D
/// and returns the item to check (the six others unchecked); otherwise
/// nothing happens and nullopt is returned.
std::optional<int> select(QLMCSession &session, int value, bool tcpSocketConnected);

/// Clicking the menu title: asks for 0x2D.
void requestValue(QLMCSession &session);

} // namespace LoopTimeMenu
