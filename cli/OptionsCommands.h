// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// The tarvine-cli commands of the limits and options windows, over the same
/// core: "limits" and "options" print the decoded registers, "option N=0|1"
/// read-modify-writes one option bit.
namespace OptionsCommands {

extern const CliCommand Limits;
extern const CliCommand Options;
extern const CliCommand Option;

} // namespace OptionsCommands
