// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QGroupBox>

class QLabel;
class QLMCSession;
class QPushButton;

/// The "Display" group of the main window: the three large read-outs of
/// position, speed and desired state under their titles, and "Reset Position".
/// A read-out shows "-" until its register is received in the connection.
class DisplayPanel : public QGroupBox
{
    Q_OBJECT

public:
    explicit DisplayPanel(QLMCSession &session, QWidget *parent = nullptr);

    QLabel *positionBig() const { return m_position; }
    QLabel *speedBig() const { return m_speed; }
    QLabel *desiredBig() const { return m_desired; }
    QPushButton *resetPositionButton() const { return m_resetPosition; }

    /// The titles above the read-outs (the identification changes them for steppers).
    void setTitles(const QString &position, const QString &speed, const QString &desired);
    /// Shows "-" in the three read-outs: nothing received in this connection yet.
    void showNotReceived();

private:
    void BResetPosClick();

    QLMCSession &m_session;
    QLabel *m_positionTitle;
    QLabel *m_speedTitle;
    QLabel *m_desiredTitle;
    QLabel *m_position;
    QLabel *m_speed;
    QLabel *m_desired;
    QPushButton *m_resetPosition;
};
