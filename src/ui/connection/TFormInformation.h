// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <vector>

class CommStatistics;
class QLabel;
class QPushButton;
class WindowContext;

/// The statistics window "Communication stat.": requests sent, answers
/// received, lost packets, receive events, answer times and the last
/// transaction numbers, as the transport last stored them, and what the
/// link's recovery did on this connection (time-outs, refused frames, re-asks).
/// Every open starts the shown values at 0; while the window is visible they
/// are refreshed by the main window's display routine and every RefreshMs,
/// so a device that does not answer still shows the requests going out.
class TFormInformation : public ToolWindow
{
    Q_OBJECT

public:
    static constexpr int RefreshMs = 250;

    explicit TFormInformation(WindowContext &context);

    /// Shows the stored values; does nothing while the window is hidden.
    /// The main window's display routine calls it on every run.
    void Refresh();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void BResetAnswerTimeClick();
    QLabel *addRow(int row, const char *name, const QString &title, bool withUnit);

    CommStatistics &m_statistics;
    QLabel *m_packetAskRead;
    QLabel *m_packetWrite;
    QLabel *m_packetReceived;
    QLabel *m_diff;
    QLabel *m_packetTcp;
    QLabel *m_transactionIdReceived;
    QLabel *m_transactionIdSent;
    QLabel *m_answerTime;
    QLabel *m_answerTimeout = nullptr;
    QLabel *m_answerTimeP99 = nullptr;
    QLabel *m_answerTimeMax;
    QPushButton *m_resetAnswerTime;
    std::vector<QLabel *> m_recovery;
    QTimer m_timerRefresh;
};
