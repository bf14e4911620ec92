// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>

/// Runs a system command hidden and without waiting for it (the system restart,
/// the removal of an address from the ARP cache). Tests inject a fake.
class CommandRunner
{
public:
    virtual ~CommandRunner() = default;
    /// Starts \a argv[0] (looked up in PATH when it has no '/') with the arguments
    /// that follow, with no shell, no console and no wait. Returns true when the
    /// program was started.
    virtual bool run(const QStringList &argv) = 0;
};
