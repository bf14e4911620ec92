// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli fleet: one operation over many controllers at once.
///   fleet list|save|diff|send [DIR|FILE] [--hosts FILE] [--loopback FIRST-LAST] [--model NAME]
///         [--any-model] [--jobs N] [--limit MS] [--wait MS] [--port P] [--tcp-port P] [--json]
/// The controllers come from discovery (the machine's network, or the loopback
/// range as scan takes it) or from a hosts file. Rows go to standard output
/// (tab-separated, or one JSON object per line), a progress line to standard
/// error.
namespace FleetCommands {

extern const CliCommand Fleet;

} // namespace FleetCommands
