// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/RecordingControl.h"

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "record/LiveRecorder.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QAction>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>

namespace {

const QString Title = QStringLiteral("Record live values");
constexpr int LabelPadding = 6;

RecordingControl::Chooser &chooser()
{
    static RecordingControl::Chooser c = [](QWidget *parent) {
        QString path = QFileDialog::getSaveFileName(parent, Title, QString(),
                                                    QStringLiteral("CSV files (*.csv)"));
        if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
            path += QStringLiteral(".csv");
        return path;
    };
    return c;
}

QString progressText(const LiveRecorder::Progress &p, bool running)
{
    QString text =
        (running ? QStringLiteral("REC %1 lines, %2") : QStringLiteral("Recorded %1 lines, %2"))
            .arg(p.lines)
            .arg(QLocale::c().formattedDataSize(p.bytes, 1, QLocale::DataSizeSIFormat));
    if (p.dropped > 0)
        text += QStringLiteral(", %1 dropped").arg(p.dropped);
    return text;
}

} // namespace

RecordingControl::RecordingControl(WindowContext &context, QStatusBar *statusBar, QAction *menuItem)
    : QObject(context.mainWindow())
    , m_context(context)
    , m_menuItem(menuItem)
    , m_label(new QLabel(statusBar))
{
    setObjectName(QStringLiteral("RecordingControl"));
    m_menuItem->setText(QStringLiteral("Record live values..."));
    m_menuItem->setObjectName(QStringLiteral("MenuFileRecord"));
    connect(m_menuItem, &QAction::triggered, this, &RecordingControl::MenuFileRecordClick);
    context.connectedControls().addWhileConnected(m_menuItem);
    context.connectedControls().addHook(this,
                                        [this](bool connected) { connectionChanged(connected); });

    m_label->setObjectName(QStringLiteral("StatusRecording"));
    m_label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setToolTip(QString());
    statusBar->addPermanentWidget(m_label);
    m_label->hide();

    m_progressTimer.setInterval(ProgressIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &RecordingControl::showProgress);
    connect(&context, &WindowContext::deviceIdentified, this,
            [this](const ModelProfile &profile) { m_units = RecordUnits::from(profile); });
}

RecordingControl::Chooser RecordingControl::setChooser(Chooser c)
{
    Chooser previous = chooser();
    chooser() = std::move(c);
    return previous;
}

bool RecordingControl::isRecording() const
{
    return m_context.recorder().isRunning();
}

void RecordingControl::MenuFileRecordClick()
{
    if (isRecording()) {
        stop();
        return;
    }
    const QString path = chooser()(m_context.mainWindow());
    if (!path.isEmpty())
        start(path);
}

bool RecordingControl::start(const QString &path)
{
    LiveRecorder &recorder = m_context.recorder();
    QString error;
    if (!recorder.start(path, m_units, &error)) {
        MessageBoxes::show(m_context.mainWindow(), Title, error, MessageIcon::Warning);
        return false;
    }
    m_menuItem->setText(QStringLiteral("Stop recording"));
    m_label->setToolTip(QFileInfo(path).absoluteFilePath());
    m_label->show();
    showProgress();
    m_progressTimer.start();
    return true;
}

void RecordingControl::stop()
{
    LiveRecorder &recorder = m_context.recorder();
    if (!recorder.isRunning())
        return;
    recorder.stop();
    m_progressTimer.stop();
    m_menuItem->setText(QStringLiteral("Record live values..."));
    showProgress();
}

void RecordingControl::showProgress()
{
    const LiveRecorder &recorder = m_context.recorder();
    const LiveRecorder::Progress p = recorder.progress();
    if (p.failed && recorder.isRunning()) {
        stop();
        MessageBoxes::show(m_context.mainWindow(), Title,
                           QStringLiteral("Recording stopped: %1 could not be written (%2). "
                                          "The %3 lines written before are kept.")
                               .arg(p.fileName, p.error)
                               .arg(p.lines),
                           MessageIcon::Warning);
        return;
    }
    const QString text = progressText(p, recorder.isRunning());
    // The label is as wide as its text: the device-name panel gives way.
    m_label->setMinimumWidth(m_label->fontMetrics().horizontalAdvance(text) + 2 * LabelPadding);
    m_label->setText(text);
}

void RecordingControl::connectionChanged(bool connected)
{
    if (!connected)
        stop();
}
