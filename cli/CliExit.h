// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <span>

/// The exit codes of tarvine-cli, one set for every command. Scripts rely on
/// them: a meaning is never changed, only made more precise per command (a
/// command's own wording is in its table entry, CliCommand::exits).
namespace CliExit {

enum Code : int {
    Ok = 0,
    /// The command line is wrong, or a value cannot be parsed.
    Usage = 1,
    /// The connection was refused or lost (no route, closed, reset, a peer
    /// sending more than its answers could hold); nothing after the loss is
    /// reported as read, written, sent or saved.
    LinkLost = 2,
    /// Registers unanswered, or a time-out.
    Unanswered = 3,
    /// The device type is refused.
    DeviceRefused = 4,
    /// A register not granted on this model, or a value refused.
    ValueRefused = 5,
    /// A bad or unreadable file, a file not written, an auto-tuning error result.
    BadFile = 6,
    /// The device did not take what was written, or differs from a file.
    Differs = 7,
    /// A step response that did not settle within its time limit (step).
    NotSettled = 8,
    /// Over many controllers (fleet): some failed, the others succeeded; each
    /// row says which and why.
    SomeFailed = 9,
};

struct Meaning
{
    Code code;
    const char *text; ///< one sentence, for --help and the README
};

/// Every code with its meaning, in order: the one place they are documented.
std::span<const Meaning> meanings();

} // namespace CliExit
