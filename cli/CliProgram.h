// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QStringList>
#include <QTextStream>

#include <functional>

struct CliOptions;

/// The whole of tarvine-cli behind main(): --version, --help, a usage error
/// (one line and the pointer to --help, exit 1), or the command. Tests run
/// command lines through it as the program does.
namespace CliProgram {

/// Runs the command line \a args (without the program name) and returns the
/// exit code. \a prepare runs once the options are parsed, before the
/// command (the program sets up its log there).
int run(const QStringList &args, QTextStream &out, QTextStream &err,
        const std::function<void(const CliOptions &)> &prepare = {});

} // namespace CliProgram
