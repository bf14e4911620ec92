// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The command table of tarvine-cli: one line per verb, in the order of the
// help text. A new verb is an entry in its family's file and a line here.
#include "cli/CliCommand.h"

#include "cli/DiscoveryCommands.h"
#include "cli/EnhancedCommands.h"
#include "cli/FeatureCommands.h"
#include "cli/FileCommands.h"
#include "cli/HistoryCommands.h"
#include "cli/FleetCommands.h"
#include "cli/NetworkCommands.h"
#include "cli/OptionsCommands.h"
#include "cli/PollCommands.h"
#include "cli/RegisterCommands.h"
#include "cli/RemoteCommands.h"
#include "cli/StepCommand.h"

std::span<const CliCommand> cliCommands()
{
    static const CliCommand table[] = {
        RegisterCommands::Identify,
        RegisterCommands::Read,
        RegisterCommands::Write,
        RegisterCommands::Registers,
        RegisterCommands::Stop,
        PollCommands::Poll,
        PollCommands::Chart,
        StepCommand::Step,
        FileCommands::Save,
        FileCommands::Send,
        FileCommands::Diff,
        HistoryCommands::History,
        HistoryCommands::Revert,
        EnhancedCommands::Enhanced,
        EnhancedCommands::Loops,
        EnhancedCommands::Peak,
        OptionsCommands::Limits,
        OptionsCommands::Options,
        OptionsCommands::Option,
        FeatureCommands::Autotune,
        FeatureCommands::Warnings,
        FeatureCommands::Homing,
        NetworkCommands::SetName,
        NetworkCommands::BusScan,
        FileCommands::View,
        RemoteCommands::RemoteSettings,
        DiscoveryCommands::Scan,
        DiscoveryCommands::Adapters,
        DiscoveryCommands::SetIp,
        FleetCommands::Fleet,
    };
    return table;
}
