#include "panel/DeviceCommand.h"

#include "device/QLMCSession.h"

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
    // The decoder reads the regulation parameters back on the next answer.
    if (button.restore)
        session.RestorePending = true;
    RegisterLockGuard guard(session.lock());
    session.motor().RequestWrite(button.address, 0);
    return button.savingSeconds;
}
