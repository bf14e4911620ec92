#pragma once

#include "ui/widgets/ToolWindow.h"

#include <vector>

class CommStatistics;
class QLabel;
class QPushButton;

/// The statistics window "Communication stat.": requests sent, answers
/// received, lost packets, receive events, answer times and the last
/// transaction numbers, as the transport last stored them, and what the
/// link's recovery did on this connection (time-outs, refused frames, re-asks).
class TFormInformation : public ToolWindow
{
    Q_OBJECT

public:
    TFormInformation(QWidget *mainWindow, CommStatistics &statistics);

    /// Shows the stored values; does nothing while the window is hidden.
    /// The main window's display routine calls it on every run.
    void Refresh();

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
};
