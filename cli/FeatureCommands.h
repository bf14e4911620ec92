// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli's feature commands over the same core as the windows:
///   autotune --pid|--predictive --current A [--voltage V]
///   warnings [--clear]
///   homing --start|--stop
namespace FeatureCommands {

extern const CliCommand Autotune;
extern const CliCommand Warnings;
extern const CliCommand Homing;

} // namespace FeatureCommands
