// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// The tarvine-cli commands of the device network settings: "bus-scan" lists
/// the modules behind a gateway (one entry per line), "set-name TEXT" writes the
/// name register 0x15 and prints what the device reads back. The address and
/// the watchdog are ordinary registers for "write".
namespace NetworkCommands {

extern const CliCommand BusScan;
extern const CliCommand SetName;

} // namespace NetworkCommands
