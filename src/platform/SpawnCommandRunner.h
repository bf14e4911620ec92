// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/CommandRunner.h"

/// The real command runner: spawns the program detached from the terminal with
/// its standard streams on /dev/null; a background thread reaps it.
class SpawnCommandRunner : public CommandRunner
{
public:
    bool run(const QStringList &argv) override;
    /// The runner the program uses unless another is injected.
    static SpawnCommandRunner &instance();
};
