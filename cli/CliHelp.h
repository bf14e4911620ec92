// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

#include <initializer_list>
#include <span>

struct CliCommand;
enum class CliNeeds;

/// The documentation of tarvine-cli, made from the command table and the
/// exit codes (CliExit): the --help text, and the same in Markdown for the
/// README (a test keeps the README's copy equal to it).
namespace CliHelp {

/// A group of commands in the documentation: those on a device, on an
/// address, without a device.
struct Section
{
    const char *title;     ///< "Commands on a device (--ip ADDR; ...):"
    const char *heading;   ///< the manual page's subsection: "Commands on a device"
    std::initializer_list<CliNeeds> needs;
    const char *markdownNeeds;
};

/// The sections, in the order of the help text.
std::span<const Section> sections();
/// True when \a command belongs to \a section.
bool inSection(const Section &section, const CliCommand &command);

/// What tarvine-cli does (the paragraph after the usage lines).
QString summary();
/// Where data, errors and statistics go, and what is printed as read.
QString outputRules();
/// What --json prints, in general.
QString jsonRules();
/// The usage of a command with its exit codes ("... . Exit codes: 3 ...").
QString describe(const CliCommand &command);

/// The text of --help: usage, every command with its usage line, the
/// options and the exit codes.
QString text();
/// The commands, options and exit codes as Markdown tables
/// (tarvine-cli --help --markdown).
QString markdown();

} // namespace CliHelp
