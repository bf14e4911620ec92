// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli step: one consign step, its response recorded at the fastest
/// refresh and its figures printed (StepResponse).
namespace StepCommand {

extern const CliCommand Step;

} // namespace StepCommand
