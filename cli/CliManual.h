// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

/// The manual page and the shell completion of tarvine-cli, made from the
/// command table (CliCommandTable.cpp), the options and the exit codes, as
/// --help is, so that none of them can disagree with it.
namespace CliManual {

/// The manual page in man(7) roff (tarvine-cli --help --man). Dated
/// $SOURCE_DATE_EPOCH when set (a package build), else today, in the
/// "YYYY-MM-DD" form mandoc and groff read.
QString page();

/// The date the page carries.
QString date();

/// A bash completion script for the verbs, their options, the connection
/// options and the register names (tarvine-cli --completion bash).
QString bashCompletion();

} // namespace CliManual
