// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

/// tarvine-cli's wavelength remote command (no connection):
///   remote-settings FILE   what the remote window loads from FILE
namespace RemoteCommands {

extern const CliCommand RemoteSettings;

} // namespace RemoteCommands
