// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "cli/CliCommand.h"

#include <QStringList>
#include <QTextStream>

#include <memory>

class DiscoveryNetwork;

/// The discovery commands of tarvine-cli, which need no device address:
///   scan [--wait MS] [--port P] [--loopback FIRST-LAST] [--json] [--no-header]
///   adapters [--loopback FIRST-LAST]
///   set-ip MAC ADDR [--board NAME|IP] [--force] [--verify] [--wait MS] [--port P]
///          [--loopback FIRST-LAST]
/// Without --loopback they use the machine's network (real broadcasts), or
/// the loopback network when TARVINE_DISCOVERY=loopback.
class DiscoveryCommands
{
public:
    static const CliCommand Scan;
    static const CliCommand Adapters;
    static const CliCommand SetIp;

    /// \a args: the command and its arguments; \a network replaces the
    /// chosen network (tests).
    DiscoveryCommands(QStringList args, QTextStream &out, QTextStream &err,
                      DiscoveryNetwork *network = nullptr);
    ~DiscoveryCommands();

    int run();

    /// \a text with control characters written as \xNN.
    static QString escaped(const QString &text);

private:
    static int run(CliContext &context);
    int parse();
    int scan();
    int adapters();
    int setIp();
    int fail(int code, const QString &message);
    bool runScan(class QLMCScanQuelmoDevice &engine);

    QStringList m_args;
    QTextStream &m_out;
    QTextStream &m_err;
    DiscoveryNetwork *m_network = nullptr;
    std::unique_ptr<DiscoveryNetwork> m_ownNetwork;
    QString m_command;
    QStringList m_positional;
    int m_waitMs = 500;
    int m_port = 7010;
    QString m_board;
    bool m_force = false;
    bool m_verify = false;
    bool m_json = false;
    bool m_noHeader = false;
};
