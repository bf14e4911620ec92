// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/connection/TFormInformation.h"

#include "base/FloatText.h"
#include "device/QLMCSession.h"
#include "protocol/CommStatistics.h"
#include "ui/widgets/WindowContext.h"

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QString timeText(float milliseconds)
{
    return fixedText(milliseconds, 6, 2);
}

/// The link-recovery counters, live values of the connection.
struct RecoveryRow
{
    const char *name;
    const char *title;
    std::atomic<int32_t> CommStatistics::*counter;
};

constexpr RecoveryRow RecoveryRows[] = {
    {"LAnswerTimeouts", "Answer time-outs", &CommStatistics::answerTimeouts},
    {"LChecksumErrors", "Frames refused (checksum, size)", &CommStatistics::checksumErrors},
    {"LDatagramsDropped", "Datagrams dropped", &CommStatistics::datagramsDropped},
    {"LStaleAnswers", "Late answers ignored", &CommStatistics::staleAnswers},
    {"LIdentifyRetries", "Identification asked again", &CommStatistics::identifyRetries},
    {"LRegistersReasked", "Registers asked again", &CommStatistics::registersReasked},
    {"LRegistersReadBack", "Registers read back", &CommStatistics::registersReadBack},
    {"LRegistersGivenUp", "Registers given up", &CommStatistics::registersGivenUp},
    {"LInputOverruns", "Input overruns (link closed)", &CommStatistics::inputOverruns},
};

} // namespace

TFormInformation::TFormInformation(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormInformation"),
                 QStringLiteral("Communication stat."))
    , m_statistics(context.session().statistics())
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(10, 10, 10, 10);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    m_packetAskRead = addRow(0, "LPacketAskRead", QStringLiteral("1. Packet Ask Read"), false);
    m_packetWrite = addRow(1, "LPacketWrite", QStringLiteral("2. Packet Write"), false);
    m_packetReceived = addRow(2, "LPacketReceived", QStringLiteral("3. Packet Received"), false);
    m_diff = addRow(3, "LDiff", QStringLiteral("1 + 2 - 3 ="), false);
    m_packetTcp = addRow(4, "LPacketTCP", QStringLiteral("4. Packet TCP"), false);
    m_transactionIdReceived =
        addRow(5, "LTransactionIDRec", QStringLiteral("Last Transaction ID received"), false);
    m_transactionIdSent =
        addRow(6, "LTransactionIDSent", QStringLiteral("Last Transaction ID sent"), false);
    m_answerTime = addRow(7, "LAnswerTime", QStringLiteral("Answer Time"), true);
    m_answerTimeMax = addRow(8, "LAnswerTimeMax", QStringLiteral("Answer Time Max."), true);
    m_answerTimeP99 =
        addRow(9, "LAnswerTimeP99", QStringLiteral("Answer Time p99 (last 1000)"), true);
    // How long the sender waits for an ordinary answer now (it follows the p99).
    m_answerTimeout = addRow(10, "LAnswerTimeout", QStringLiteral("Answer time-out in force"), true);

    m_resetAnswerTime = new QPushButton(QStringLiteral("Reset"), this);
    m_resetAnswerTime->setObjectName(QStringLiteral("BResetAnswerTime"));
    connect(m_resetAnswerTime, &QPushButton::clicked, this,
            &TFormInformation::BResetAnswerTimeClick);
    grid->addWidget(m_resetAnswerTime, 11, 1, 1, 2, Qt::AlignRight);

    auto *recovery = new QLabel(QStringLiteral("Link recovery (this connection)"), this);
    recovery->setObjectName(QStringLiteral("LRecoveryTitle"));
    QFont bold = recovery->font();
    bold.setBold(true);
    recovery->setFont(bold);
    grid->addWidget(recovery, 12, 0, 1, 3);
    int row = 13;
    for (const RecoveryRow &r : RecoveryRows)
        m_recovery.push_back(addRow(row++, r.name, QString::fromLatin1(r.title), false));
    grid->setColumnMinimumWidth(1, fontMetrics().horizontalAdvance(QStringLiteral("0000000000")));
    setFixedSize(sizeHint());

    m_timerRefresh.setInterval(RefreshMs);
    connect(&m_timerRefresh, &QTimer::timeout, this, &TFormInformation::Refresh);
    // The link starts the counters at 0 at every open: shown at once,
    // answered or not.
    context.connectedControls().addHook(this, [this](bool) { Refresh(); });
}

void TFormInformation::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    m_timerRefresh.start();
    Refresh();
}

void TFormInformation::hideEvent(QHideEvent *event)
{
    m_timerRefresh.stop();
    ToolWindow::hideEvent(event);
}

QLabel *TFormInformation::addRow(int row, const char *name, const QString &title, bool withUnit)
{
    auto *grid = static_cast<QGridLayout *>(layout());
    auto *titleLabel = new QLabel(title, this);
    titleLabel->setObjectName(QLatin1String(name) + QLatin1String("Title"));
    auto *value = new QLabel(QStringLiteral("0"), this);
    value->setObjectName(QLatin1String(name));
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(titleLabel, row, 0);
    grid->addWidget(value, row, 1);
    if (withUnit)
        grid->addWidget(new QLabel(QStringLiteral("[ms]"), this), row, 2);
    return value;
}

void TFormInformation::Refresh()
{
    if (!isVisible())
        return;
    // One snapshot of the nine values, then the labels.
    const CommStatistics::Shown &shown = m_statistics.shown;
    const int32_t askRead = shown.readRequestsSent.load();
    const int32_t write = shown.writeRequestsSent.load();
    const int32_t received = shown.answersDecoded.load();
    const int32_t lost = shown.lostPackets.load();
    const int32_t chunks = shown.receiveChunks.load();
    const int32_t idReceived = shown.lastTransactionReceived.load();
    const int32_t idSent = shown.lastTransactionSent.load();
    const float answerTime = shown.answerTimeMs.load();
    const float answerTimeMax = shown.answerTimeMaxMs.load();

    m_packetAskRead->setText(QString::number(askRead));
    m_packetWrite->setText(QString::number(write));
    m_packetReceived->setText(QString::number(received));
    m_diff->setText(QString::number(lost));
    m_packetTcp->setText(QString::number(chunks));
    m_answerTime->setText(timeText(answerTime));
    m_answerTimeMax->setText(timeText(answerTimeMax));
    m_answerTimeP99->setText(timeText(m_statistics.answerTimeP99Ms()));
    m_answerTimeout->setText(QString::number(shown.answerTimeoutMs.load()));
    m_transactionIdReceived->setText(QString::number(idReceived));
    m_transactionIdSent->setText(QString::number(idSent));
    for (size_t i = 0; i < m_recovery.size(); ++i)
        m_recovery[i]->setText(QString::number((m_statistics.*RecoveryRows[i].counter).load()));
}

void TFormInformation::BResetAnswerTimeClick()
{
    m_statistics.shown.answerTimeMaxMs = 0.0f;
    m_statistics.clearAnswerTimes();
    m_answerTimeMax->setText(QStringLiteral("0"));
    m_answerTimeP99->setText(QStringLiteral("0"));
}
