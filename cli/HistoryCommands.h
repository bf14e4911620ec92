#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli's change history: "history" prints the journal of changes
/// (desktop tool and command line alike), "revert N" undoes the last N changes
/// tarvine-cli made to the connected device.
namespace HistoryCommands {

extern const CliCommand History;
extern const CliCommand Revert;

} // namespace HistoryCommands
