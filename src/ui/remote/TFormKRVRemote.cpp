// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/remote/TFormKRVRemote.h"

#include "base/NumberText.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "remote/RemoteMotion.h"
#include "ui/main/RegulationModePanel.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

const QString Version = QStringLiteral("1.01");
/// The micrometre chart's values format "#,##0.#".
constexpr int AxisDecimals = 1;

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace

TFormKRVRemote::TFormKRVRemote(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormKRVRemote"),
                 QStringLiteral("Korvel Lab - Remote"))
    , m_context(context)
    , m_settingsPath(remoteSettingsPath())
{
    buildControls();

    connect(m_wavelength, &QComboBox::currentIndexChanged, this,
            &TFormKRVRemote::CBKRVRemoteWavelengthChange);
    connect(m_go, &QPushButton::clicked, this, &TFormKRVRemote::BKRVRemoteWaveLengthGoClick);
    connect(m_goHome, &QPushButton::clicked, this,
            &TFormKRVRemote::BKRVRemoteWaveLengthGoHomeClick);
    connect(m_homeGoActive, &QCheckBox::toggled, m_goHome, &QPushButton::setEnabled);
    connect(m_adjust, &QLineEdit::textChanged, this, &TFormKRVRemote::EKRVRemoteAdjustChange);
    connect(m_adjustPlus, &QPushButton::clicked, this, &TFormKRVRemote::BKRVRemoteAdjustPlusClick);
    connect(m_adjustMinus, &QPushButton::clicked, this,
            &TFormKRVRemote::BKRVRemoteAdjustMinusClick);
    connect(findChild<QPushButton *>(QStringLiteral("BKRVRemoteStop")), &QPushButton::clicked, this,
            &TFormKRVRemote::BKRVRemoteStopClick);
    connect(findChild<QPushButton *>(QStringLiteral("BKRVRemoteManual")), &QPushButton::clicked,
            this, &TFormKRVRemote::BKRVRemoteManualClick);
    connect(findChild<QPushButton *>(QStringLiteral("BKRVRemoteDrive")), &QPushButton::clicked,
            this, &TFormKRVRemote::BKRVRemoteDriveClick);
    connect(m_zoom, &QCheckBox::toggled, this, &TFormKRVRemote::UpdatePositionAxis);
    connect(findChild<QPushButton *>(QStringLiteral("BKRVZoomUp")), &QPushButton::clicked, this,
            &TFormKRVRemote::BKRVZoomUpClick);
    connect(findChild<QPushButton *>(QStringLiteral("BKRVZoomDown")), &QPushButton::clicked, this,
            &TFormKRVRemote::BKRVZoomDownClick);
    connect(m_startLog, &QPushButton::clicked, this, &TFormKRVRemote::BKRVStartLogFileClick);
    connect(m_stopLog, &QPushButton::clicked, this, &TFormKRVRemote::BKRVStopLogFileClick);
    connect(m_exportLog, &QPushButton::clicked, this, &TFormKRVRemote::BKRVExportLogFileClick);

    // One log sample per chart sample; the read-outs with every display run.
    connect(&context.sessionBridge(), &GuiSessionBridge::graphSampleArrived, this,
            &TFormKRVRemote::logSample);
    connect(&context.frame().displayTimer(), &QTimer::timeout, this,
            &TFormKRVRemote::displayPosition);
    EKRVRemoteAdjustChange();
}

void TFormKRVRemote::buildControls()
{
    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(6);

    // The factor, with the logo and version on the right.
    auto *top = new QHBoxLayout;
    top->addWidget(makeLabel(this, "LKRVPulseToUmFact", QStringLiteral("Pulses to [um] factor :")));
    m_factorValue = makeLabel(this, "LKRVPulseToUmFactVal", QStringLiteral("000.000"));
    m_factorValue->setStyleSheet(QStringLiteral("font-weight: bold"));
    top->addWidget(m_factorValue);
    top->addStretch();
    auto *logo = makeLabel(this, "ImageMain", QStringLiteral("Korvel Lab"));
    logo->setStyleSheet(QStringLiteral("color: #2B579A; font-weight: bold; font-size: 15px"));
    top->addWidget(logo);
    layout->addLayout(top);

    // The preset and the adjustment.
    auto *move = new QGridLayout;
    move->setHorizontalSpacing(6);
    move->addWidget(makeLabel(this, "LKRVRemoteWavelength", QStringLiteral("Wavelength Preset")), 0,
                    0);
    m_wavelength = new QComboBox(this);
    m_wavelength->setObjectName(QStringLiteral("CBKRVRemoteWavelength"));
    m_wavelength->setMinimumWidth(90);
    move->addWidget(m_wavelength, 0, 1, 1, 2);
    m_go = makeButton(this, "BKRVRemoteWaveLengthGo", QStringLiteral("GO"));
    move->addWidget(m_go, 0, 3);
    m_goHome = makeButton(this, "BKRVRemoteWaveLengthGoHome", QStringLiteral("HOME+GO"));
    move->addWidget(m_goHome, 0, 4);
    m_homeGoActive = new QCheckBox(this);
    m_homeGoActive->setObjectName(QStringLiteral("CBActiveHomeGoBtn"));
    m_homeGoActive->setChecked(true);
    m_homeGoActive->setToolTip(QStringLiteral("Enables HOME+GO"));
    move->addWidget(m_homeGoActive, 0, 5);

    move->addWidget(makeLabel(this, "LKRVRemoteRelativePos", QStringLiteral("Relative from Focus")),
                    1, 0, 1, 6);
    move->addWidget(makeLabel(this, "LKRVRemoteAdjustement", QStringLiteral("Adjustement")), 2, 0);
    m_adjust = new QLineEdit(
        QStringLiteral("0.00").replace(QLatin1Char('.'), localeDecimalSeparator()), this);
    m_adjust->setObjectName(QStringLiteral("EKRVRemoteAdjust"));
    m_adjust->setFixedWidth(70);
    move->addWidget(m_adjust, 2, 1);
    move->addWidget(makeLabel(this, "LKRVRemoteAdjustementUnit", QStringLiteral("[µm]")), 2, 2);
    m_adjustPlus = makeButton(this, "BKRVRemoteAdjustPlus", QStringLiteral("+"));
    m_adjustMinus = makeButton(this, "BKRVRemoteAdjustMinus", QStringLiteral("-"));
    move->addWidget(m_adjustPlus, 2, 3);
    move->addWidget(m_adjustMinus, 2, 4);
    move->setColumnStretch(6, 1);
    layout->addLayout(move);

    // The position read-out.
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("PanelKRVRemotePosition"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    auto *p = new QHBoxLayout(panel);
    p->addWidget(makeLabel(panel, "LKRVRemotePosition", QStringLiteral("Position [µm]")));
    m_position = makeLabel(panel, "LKRVRemotePositionVal", QStringLiteral("0.0"));
    m_position->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_position->setStyleSheet(QStringLiteral("font-size: 20px; font-weight: bold"));
    p->addWidget(m_position, 1);
    layout->addWidget(panel);

    // The modes.
    auto *modes = new QHBoxLayout;
    modes->addWidget(makeButton(this, "BKRVRemoteStop", QStringLiteral("STOP")));
    modes->addWidget(makeButton(this, "BKRVRemoteManual", QStringLiteral("MANUAL")));
    modes->addWidget(makeButton(this, "BKRVRemoteDrive", QStringLiteral("DRIVE")));
    layout->addLayout(modes);

    // The chart scaling and the log, side by side.
    auto *lower = new QHBoxLayout;
    auto *graph = new QGroupBox(QStringLiteral("Position graphic in [um]"), this);
    graph->setObjectName(QStringLiteral("GBKRVGraph"));
    auto *g = new QGridLayout(graph);
    m_zoom = new QCheckBox(QStringLiteral("Axis Y zoom"), graph);
    m_zoom->setObjectName(QStringLiteral("CBKRVGraphPosumZoom"));
    m_zoom->setChecked(true);
    g->addWidget(m_zoom, 0, 0, 1, 3);
    auto *zoomUp = makeButton(graph, "BKRVZoomUp", QStringLiteral("+"));
    auto *zoomDown = makeButton(graph, "BKRVZoomDown", QStringLiteral("-"));
    for (QPushButton *button : {zoomUp, zoomDown})
        button->setFixedWidth(32);
    g->addWidget(zoomUp, 1, 0);
    g->addWidget(zoomDown, 1, 1);
    m_zoomOffset = makeLabel(graph, "LKRVZoomOffset", QStringLiteral("1 [µm]"));
    g->addWidget(m_zoomOffset, 1, 2);
    g->setColumnStretch(2, 1);
    lower->addWidget(graph);

    auto *logBox = new QGroupBox(QStringLiteral("Log File"), this);
    logBox->setObjectName(QStringLiteral("GBKRVLogFile"));
    auto *l = new QGridLayout(logBox);
    m_startLog = makeButton(logBox, "BKRVStartLogFile", QStringLiteral("Start"));
    m_stopLog = makeButton(logBox, "BKRVStopLogFile", QStringLiteral("Stop"));
    m_exportLog = makeButton(logBox, "BKRVExportLogFile", QStringLiteral("Export..."));
    m_stopLog->setEnabled(false);
    m_exportLog->setEnabled(false);
    m_logCount = makeLabel(logBox, "LKRVLogCount", QStringLiteral("0 samples"));
    l->addWidget(m_startLog, 0, 0);
    l->addWidget(m_stopLog, 0, 1);
    l->addWidget(m_exportLog, 1, 0);
    l->addWidget(m_logCount, 1, 1);
    lower->addWidget(logBox);
    layout->addLayout(lower);

    auto *bottom = new QHBoxLayout;
    // The rule book's reason when it refused a write (nothing was sent).
    m_refusal = makeLabel(this, "LKRVRemoteRefused", QString());
    m_refusal->setStyleSheet(QStringLiteral("color: red"));
    bottom->addWidget(m_refusal);
    bottom->addStretch();
    m_version = makeLabel(this, "LKRVRemoteVersion", QStringLiteral("Version"));
    m_version->setStyleSheet(QStringLiteral("color: gray"));
    bottom->addWidget(m_version);
    layout->addLayout(bottom);
    layout->addStretch();
}

void TFormKRVRemote::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    if (event->spontaneous())
        return;
    m_version->setText(Version);
    emit m_context.micrometreTabRequested(true);
    emit m_context.micrometreLabelsRequested(AxisDecimals);

    RemoteSettingsMessage message = RemoteSettingsMessage::None;
    LoadRemoteSettingsFile(m_settingsPath, m_settings, message);
    if (message != RemoteSettingsMessage::None)
        MessageBoxes::show(this, QStringLiteral("Erreur"), remoteSettingsMessageText(message),
                           MessageIcon::None);
    m_context.setPulsesPerMicrometre(m_settings.PulsesPerMicrometre);
    m_factorValue->setText(pulseFactorText(m_settings.PulsesPerMicrometre));
    {
        const QSignalBlocker blocker(m_wavelength);
        m_wavelength->clear();
        for (const QLMCKRVRemoteSettings &preset : m_settings.Presets)
            m_wavelength->addItem(preset.WaveLengthText);
        if (!m_settings.Presets.empty())
            m_wavelength->setCurrentIndex(0);
    }
    CBKRVRemoteWavelengthChange();

    // Manual bounds, not zoomed; the bounds follow the presets just read.
    {
        const QSignalBlocker blocker(m_zoom);
        m_zoom->setChecked(false);
    }
    UpdatePositionAxis();
    displayPosition();
}

void TFormKRVRemote::hideEvent(QHideEvent *event)
{
    ToolWindow::hideEvent(event);
    if (!event->spontaneous())
        BKRVRemoteStopClick();
}

void TFormKRVRemote::CBKRVRemoteWavelengthChange()
{
    const int index = m_wavelength->currentIndex();
    if (index < 0 || size_t(index) >= m_settings.Presets.size())
        return;
    showRefusal(RemoteMotion::presetHomingInput(m_context.session(),
                                                m_settings.Presets[size_t(index)].PresetPosition));
}

void TFormKRVRemote::BKRVRemoteWaveLengthGoClick()
{
    const int index = m_wavelength->currentIndex();
    if (index < 0 || size_t(index) >= m_settings.Presets.size())
        return;
    const QLMCKRVRemoteSettings &preset = m_settings.Presets[size_t(index)];
    const std::optional<QString> refusal =
        RemoteMotion::goToPreset(m_context.session(), preset.PresetPosition);
    showRefusal(refusal);
    if (!refusal)
        m_currentWaveLength = preset.WaveLengthText;
}

void TFormKRVRemote::BKRVRemoteWaveLengthGoHomeClick()
{
    if (!m_goHome->isEnabled())
        return;
    showRefusal(RemoteMotion::goHome(m_context.session()));
}

void TFormKRVRemote::EKRVRemoteAdjustChange()
{
    const AdjustmentEdit result = adjustmentEdit(m_adjust->text(), localeDecimalSeparator());
    if (result.text != m_adjust->text()) {
        // The cut text comes back through this handler.
        m_adjust->setText(result.text);
        if (result.caretToEnd)
            m_adjust->setCursorPosition(int(m_adjust->text().size()));
        return;
    }
    m_adjustHundredths = result.valid ? result.hundredths : -1;
    m_adjustPlus->setEnabled(result.valid);
    m_adjustMinus->setEnabled(result.valid);
    setEditValid(m_adjust, result.valid);
}

void TFormKRVRemote::sendAdjustment(bool plus)
{
    if (m_adjustHundredths < 0)
        return;
    const std::optional<int32_t> pulses = adjustmentPulses(
        plus ? m_adjustHundredths : -m_adjustHundredths, m_settings.PulsesPerMicrometre);
    if (!pulses) {
        // Beyond 32 bits with this factor: nothing is sent.
        setEditValid(m_adjust, false);
        return;
    }
    showRefusal(RemoteMotion::adjust(m_context.session(), *pulses));
}

void TFormKRVRemote::showRefusal(const std::optional<QString> &refusal)
{
    m_refusal->setText(refusal ? QStringLiteral("Not sent: ") + *refusal : QString());
}

void TFormKRVRemote::BKRVRemoteAdjustPlusClick()
{
    sendAdjustment(true);
}

void TFormKRVRemote::BKRVRemoteAdjustMinusClick()
{
    sendAdjustment(false);
}

void TFormKRVRemote::selectWavelength(int index)
{
    m_wavelength->setCurrentIndex(std::min(index, m_wavelength->count() - 1));
}

void TFormKRVRemote::selectMode(RegulationMode mode)
{
    // As an enabled click of the main window's mode button.
    if (RegulationModePanel *modes = m_context.panels().regulationMode)
        modes->selectMode(mode);
}

void TFormKRVRemote::BKRVRemoteStopClick()
{
    // The STOP of every window: sent ahead of everything else, auto change "No".
    m_context.stopMotor();
}

void TFormKRVRemote::BKRVRemoteManualClick()
{
    selectMode(RegulationMode::DriverOpen);
}

void TFormKRVRemote::BKRVRemoteDriveClick()
{
    selectMode(RegulationMode::PositionTraj);
}

void TFormKRVRemote::setZoom(int micrometres)
{
    m_zoomMicrometres = micrometres;
    m_zoomOffset->setText(QString::number(m_zoomMicrometres) + QStringLiteral(" [um]"));
    UpdatePositionAxis();
}

void TFormKRVRemote::BKRVZoomUpClick()
{
    if (m_zoomMicrometres < std::numeric_limits<int>::max())
        setZoom(m_zoomMicrometres + 1);
}

void TFormKRVRemote::BKRVZoomDownClick()
{
    setZoom(m_zoomMicrometres > 1 ? m_zoomMicrometres - 1 : m_zoomMicrometres);
}

void TFormKRVRemote::UpdatePositionAxis()
{
    int32_t position = 0;
    {
        RegisterLockGuard guard(m_context.session().lock());
        position = m_context.session().motor().LastPosition;
    }
    // Without a value (factor 0) the axis stays as it is.
    if (const auto axis =
            micrometreAxis(m_zoom->isChecked(), position, m_zoomMicrometres, m_settings))
        emit m_context.micrometreAxisRequested(axis->minimum, axis->maximum);
}

void TFormKRVRemote::BKRVStartLogFileClick()
{
    m_startLog->setEnabled(false);
    m_stopLog->setEnabled(true);
    m_exportLog->setEnabled(false);
    m_log.start();
    m_logStart.start();
    m_logCount->setText(QStringLiteral("0 samples"));
}

void TFormKRVRemote::BKRVStopLogFileClick()
{
    m_startLog->setEnabled(true);
    m_stopLog->setEnabled(false);
    m_exportLog->setEnabled(true);
    m_log.stop();
    m_logCount->setText(QStringLiteral("%1 samples").arg(m_log.samples().size()));
}

void TFormKRVRemote::BKRVExportLogFileClick()
{
    const QString chosen = m_chooser
                               ? m_chooser(this, remoteLogFilter())
                               : QFileDialog::getSaveFileName(this, QStringLiteral("Export..."),
                                                              QString(), remoteLogFilter());
    if (chosen.isEmpty())
        return;
    const QString path = remoteLogExportName(chosen);
    const RemoteLogExport result =
        exportRemoteLog(path, remoteLogCsv(m_log.samples(), m_settings.PulsesPerMicrometre,
                                           QDateTime::currentDateTime(), QLocale::system()));
    if (result.outcome != RemoteLogExport::Written)
        MessageBoxes::show(this, QStringLiteral("Warning"), result.message, MessageIcon::Warning);
}

void TFormKRVRemote::logSample(const ReceivedValues &values)
{
    if (m_log.add(values.Position, values.Input, m_settings.PulsesPerMicrometre,
                  m_currentWaveLength, m_logStart.isValid() ? m_logStart.elapsed() : 0)
        == RemoteLog::Capture::Full)
        BKRVStopLogFileClick();
}

void TFormKRVRemote::displayPosition()
{
    if (!isVisible())
        return;
    m_position->setText(remotePositionText(m_context.frame().displayedValues().Position,
                                           m_settings.PulsesPerMicrometre));
    if (m_log.logging())
        m_logCount->setText(QStringLiteral("%1 samples").arg(m_log.samples().size()));
}
