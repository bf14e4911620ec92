// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli's register commands on an identified device: "identify",
/// "read REG..." and "write REG=VALUE..." (each write read back and compared,
/// a register named by address or name), "registers" (the register list of
/// the connected or a named model) and "stop" (Driver Stop).
namespace RegisterCommands {

extern const CliCommand Identify;
extern const CliCommand Read;
extern const CliCommand Write;
extern const CliCommand Registers;
extern const CliCommand Stop;

} // namespace RegisterCommands
