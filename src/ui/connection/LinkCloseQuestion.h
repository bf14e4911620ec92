// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>

class QLMCConnection;
class QLMCSession;
class QWidget;

/// Before a scan that cannot share the open link (a UDP connection on the
/// discovery port, a bus scan over another link) closes it, the user is
/// asked, with the address and the mode the motor was last reported in:
/// the motor goes on running without a tool attached once the link is gone.
namespace LinkCloseQuestion {

/// "Close the connection to A? The motor is in mode M."
QString text(const QString &address, const QString &mode);

/// The caption of the mode last received in this connection ("Speed traj."),
/// the value for one outside the table, "unknown" before 0x20 arrived.
QString reportedMode(QLMCSession &session);

/// True when no connection is open, or the user agrees to close it (Yes in
/// the box over \a parent, through MessageBoxes so tests can answer).
bool mayClose(QWidget *parent, QLMCSession &session, const QLMCConnection &connection);

} // namespace LinkCloseQuestion
