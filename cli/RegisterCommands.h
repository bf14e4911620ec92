#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli's register commands on an identified device: "identify",
/// "read REG..." and "write REG=VALUE..." (each write read back and compared).
namespace RegisterCommands {

extern const CliCommand Identify;
extern const CliCommand Read;
extern const CliCommand Write;

} // namespace RegisterCommands
