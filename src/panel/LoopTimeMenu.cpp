#include "panel/LoopTimeMenu.h"

#include "device/ChangeHistory.h"
#include "device/QLMCSession.h"

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
    RegisterLockGuard guard(session.lock());
    const ChangeSource source(QStringLiteral("Loop time menu"));
    session.motor().RequestWrite(Reg::LoopTimeOption, value);
    return item;
}

void requestValue(QLMCSession &session)
{
    RegisterLockGuard guard(session.lock());
    session.motor().RequestRead(Reg::LoopTimeOption);
}

} // namespace LoopTimeMenu
