// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"
#include "device/ReceivedValues.h"
#include "device/RegisterTable.h"

#include <bitset>
#include <optional>

class QLMCSession;

/// tarvine-cli's live commands: "poll" prints one line per read cycle (or
/// records them as CSV) for its whole run, through lost answers and lost
/// connections; "chart" writes the CSV of one of the main window's charts.
namespace PollCommands {

extern const CliCommand Poll;
extern const CliCommand Chart;

/// The values of the answer just decoded when it was a live read cycle
/// (position or speed arrived); none for a write answer or other reads.
/// \a received tells which registers arrived in this connection.
std::optional<ReceivedValues> takeCycleValues(QLMCSession &session,
                                              std::bitset<RegisterCount> *received);

} // namespace PollCommands
