// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <array>
#include <cstdint>

class QLMCSession;

/// The controller commands of the main window's command buttons.
enum class DeviceCommand : uint8_t {
    Reset,
    SaveUser,
    RestoreUser,
    RestoreFactory,
    SaveFactory,
};

/// One command button: the command register it writes and what follows.
struct DeviceCommandButton
{
    DeviceCommand command;
    const char *buttonName; ///< objectName
    const char *caption;
    int address;       ///< command register (size 0: the write carries no value)
    bool restore;      ///< turns RestorePending on before the request
    int savingSeconds; ///< the saving window is shown this long afterwards (0: none)
};

/// The five buttons in panel order.
const std::array<DeviceCommandButton, 5> &deviceCommandButtons();

/// Click of a command button: turns RestorePending on for the restores, then
/// raises the command register's write request through the rule book. Returns
/// how many seconds the window shows the modal saving window (0: none; also
/// when the rule book refused the command, which is logged and not sent).
int sendDeviceCommand(QLMCSession &session, DeviceCommand command);
