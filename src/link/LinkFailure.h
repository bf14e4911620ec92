// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QMetaType>
#include <QString>

/// Why the link to a controller failed: what the connection reports beside
/// its status-bar texts, for the command-line tool's one-line errors and the
/// status bar's tool tip. Nothing compares display texts to learn it.
struct LinkFailure
{
    enum class Kind {
        None,
        Refused,       ///< nothing listens at the address and port
        NoRoute,       ///< no route to the address (network or host unreachable)
        TimedOut,      ///< the connect timed out, or the device never answered its identification
        ClosedByPeer,  ///< the controller closed the connection
        Reset,         ///< the connection was reset (or broke while sending)
        InputOverrun,  ///< the peer sent more than the answers to the requests could hold
        NoAcknowledge, ///< the gateway answers, but the module behind it does not acknowledge
        SocketError    ///< any other socket error (see error)
    };

    Kind kind = Kind::None;
    bool udp = false;   ///< the link was UDP (the panel text says "UDP ...")
    bool ended = false; ///< the connection was closed for it (else it stays open, unanswered)
    int module = 0;     ///< NoAcknowledge: the module's address behind the gateway
    int error = 0;      ///< the socket's errno, when one was reported

    explicit operator bool() const { return kind != Kind::None; }
    bool operator==(const LinkFailure &) const = default;

    /// The failure of a TCP socket that reported \a error (an errno value).
    static LinkFailure fromSocketError(int error);
    /// The controller closed the TCP connection.
    static LinkFailure closedByPeer();
    /// The peer sent more than its answers could hold; the link was closed.
    static LinkFailure inputOverrun(bool udp);
    /// The device did not answer its identification; the link stays open.
    static LinkFailure notAnswering(bool udp);
    /// The gateway's module \a module does not acknowledge; the link stays open.
    static LinkFailure noAcknowledge(int module);

    /// What happened, in a few words: "connection refused", "no route", "timed
    /// out", "closed by the controller", "module 20 does not acknowledge", ...
    QString description() const;
    /// The status-bar panel 0 text of a failure that ended the link ("TCP
    /// Error", "TCP closed", "UDP Error"); empty for one that did not.
    QString panelText() const;
};

Q_DECLARE_METATYPE(LinkFailure)
