// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/DeviceCommand.h"

#include "device/QLMCSession.h"
#include "device/RegisterRules.h"

namespace {

const std::array<DeviceCommandButton, 5> Buttons{{
    {DeviceCommand::Reset, "BResetDevice", "0x02 - Reset", Reg::ResetProc, false, 0},
    {DeviceCommand::SaveUser, "BSaveParam", "0x03 - Save user param.", Reg::SaveParams, false, 1},
    {DeviceCommand::RestoreUser, "BRestoreParam", "0x04 - Restore user param.", Reg::RestoreParams,
     true, 0},
    {DeviceCommand::RestoreFactory, "BRestoreFactoryParam", "0x05 - Restore factory param.",
     Reg::RestoreFactoryParams, true, 0},
    {DeviceCommand::SaveFactory, "BSaveFactoryParam", "0x06 - Save factory param.",
     Reg::SaveFactoryParams, false, 2},
}};

} // namespace

const std::array<DeviceCommandButton, 5> &deviceCommandButtons()
{
    return Buttons;
}

int sendDeviceCommand(QLMCSession &session, DeviceCommand command)
{
    const DeviceCommandButton &button = Buttons[static_cast<size_t>(command)];
    const RegisterWrite write{button.address, {}};
    RegisterLockGuard guard(session.lock());
    // The decoder reads the regulation parameters back on the next answer
    // (set first: the answer may come before this function returns).
    const bool wasPending = session.RestorePending;
    if (button.restore)
        session.RestorePending = true;
    if (!RegisterRules::requestChecked(session, {&write, 1}, "sendDeviceCommand",
                                       "Command buttons")) {
        session.RestorePending = wasPending;
        return 0;
    }
    return button.savingSeconds;
}
