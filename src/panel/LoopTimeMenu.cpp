// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/LoopTimeMenu.h"

#include "device/QLMCSession.h"
#include "device/RegisterRules.h"

namespace LoopTimeMenu {

namespace {

const std::array<LoopTimeItem, LoopTimeItemCount> Items{{
    {"MenuLoopTime50ms", "50 [ms]", 0},
    {"MenuLoopTime20ms", "20 [ms]", 1},
    {"MenuLoopTime10ms", "10 [ms]", 2},
    {"MenuLoopTime5ms", "  5 [ms]", 3},
    {"MenuLoopTime2ms", "  2 [ms]", 4},
    {"MenuLoopTime1ms", "  1 [ms]", 5},
    {"MenuLoopTime05ms", " .5 [ms]", 6},
}};

} // namespace

const std::array<LoopTimeItem, LoopTimeItemCount> &items()
{
    return Items;
}

std::optional<int> itemForValue(int32_t value)
{
    if (value < 0 || value >= LoopTimeItemCount)
        return std::nullopt;
    return int(value);
}

bool selectable(int comMode, bool tcpSocketConnected)
{
    return tcpSocketConnected
           && (comMode == ComModes::TcpDirect || comMode == ComModes::TcpGateway);
}

std::optional<int> select(QLMCSession &session, int value, bool tcpSocketConnected)
{
    const std::optional<int> item = itemForValue(value);
    if (!item || !selectable(session.connection().ComMode.load(), tcpSocketConnected))
        return std::nullopt;
    // A value the model does not take is refused (and logged): nothing is written.
    const RegisterWrite write = RegisterRules::write(Reg::LoopTimeOption, value);
    if (!RegisterRules::requestChecked(session, {&write, 1}, "LoopTimeMenu::select",
                                       "Loop time menu"))
        return std::nullopt;
    return item;
}

void requestValue(QLMCSession &session)
{
    RegisterLockGuard guard(session.lock());
    session.motor().RequestRead(Reg::LoopTimeOption);
}

} // namespace LoopTimeMenu
