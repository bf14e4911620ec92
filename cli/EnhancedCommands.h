// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"
#include "device/ModelProfile.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>
#include <optional>
#include <vector>

class CliLink;
class QLMCSession;
struct CliContext;

/// tarvine-cli's "enhanced", "loops" and "peak" commands: the enhanced-command
/// window's checks and Writes (EnhancedCmdModel) on a connected session; each
/// prints the written trace and the decoded read-back.
class EnhancedCommands
{
public:
    static const CliCommand Enhanced;
    static const CliCommand Loops;
    static const CliCommand Peak;

    explicit EnhancedCommands(CliContext &context);

private:
    static int run(CliContext &context);
    int enhanced(const QStringList &arguments);
    int loops(const QStringList &arguments);
    int peak(const QStringList &arguments);
    /// Checks that \a address is writable, writes (\a write returns a refusal
    /// report, or sets the written trace to print), waits for the answer and
    /// reads the register back. 0 when the read-back arrived, an exit code
    /// otherwise; \a readBack tells whether there is a read-back to show.
    int writeAndReadBack(int address, const std::function<QString(QString &written)> &write,
                         bool &readBack);
    /// 0 when the device holds what was written, else the report and exit 7.
    int taken(int address);
    int fail(int code, const QString &message);

    CliContext &m_c;
    CliLink &m_link;
    QLMCSession &m_session;
    ModelProfile m_profile;
    QTextStream &m_out;
    std::vector<uint8_t> m_sent; ///< the bytes of the last write
};
