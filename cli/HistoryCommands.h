// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli's change history: "history" prints the journal of changes
/// (desktop tool and command line alike), "revert N" undoes the last N changes
/// tarvine-cli made to the connected device.
namespace HistoryCommands {

extern const CliCommand History;
extern const CliCommand Revert;

} // namespace HistoryCommands
