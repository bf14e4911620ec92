// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/TFormAutoTuning.h"

#include "device/ChangeHistory.h"
#include "device/RegisterRules.h"
#include "base/NumberText.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "features/StepComparison.h"
#include "panel/ModeTable.h"
#include "ui/connection/TFormInformation.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/features/AutoTuningResultView.h"
#include "ui/features/TFormCalibration.h"
#include "ui/features/TFormEnhancedCmd.h"
#include "ui/features/TFormIOState.h"
#include "ui/features/TFormLimits.h"
#include "ui/features/TFormRegOption.h"
#include "ui/features/TFormRegWarning.h"
#include "ui/files/TFormFile.h"
#include "ui/main/RefreshPanel.h"
#include "ui/main/RegulationParametersPanel.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/TFormAbout.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include <qcustomplot.h>

namespace {
constexpr int ResultRefreshMs = 200;
constexpr int ResultRefreshTicks = 50; ///< the re-reads are followed for at most 10 s
} // namespace

TFormAutoTuning::TFormAutoTuning(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormAutoTuning"),
                 QStringLiteral("Auto-tuning"))
    , m_context(context)
{
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    makeStep(0, QStringLiteral("Auto-tuning process"),
             {QStringLiteral("Warning !"), QStringLiteral("Disconnect the motor from its  "),
              QStringLiteral("mechanical structure/application.")});
    makeStep(1, QStringLiteral("Auto-tuning process"),
             {QStringLiteral("The following register will be updated:"),
              QStringLiteral("Kp, Ki, Kd, Acc/Deceleration, ARW,"),
              QStringLiteral("Top speed, Dead zone, Options, "), QStringLiteral("and Loop Time.")});

    QGroupBox *step2 = makeStep(2, QStringLiteral("Step 1 - Set current max."), {});
    m_currentMax =
        new QLineEdit(QStringLiteral("0") + localeDecimalSeparator() + QStringLiteral("0"), step2);
    m_currentMax->setObjectName(QStringLiteral("ECurrentMax"));
    m_currentMax->setMaxLength(8);
    m_currentMax->setFixedWidth(90);
    auto *row2 = new QHBoxLayout;
    row2->addWidget(m_currentMax);
    row2->addWidget(new QLabel(QStringLiteral("[A]"), step2));
    row2->addStretch();
    static_cast<QVBoxLayout *>(step2->layout())->addLayout(row2);

    QGroupBox *step3 = makeStep(3, QStringLiteral("Step 2 - Set output voltage max."), {});
    m_voltage = new QSlider(Qt::Horizontal, step3);
    m_voltage->setObjectName(QStringLiteral("TBOutVoltageMax"));
    m_voltage->setRange(AutoTuningWizard::VoltageMinTenths, AutoTuningWizard::VoltageMaxTenths);
    m_voltage->setValue(AutoTuningWizard::VoltageMaxTenths);
    m_voltageLabel = new QLabel(step3);
    m_voltageLabel->setObjectName(QStringLiteral("LOutVoltageMax"));
    m_voltageLabel->setMinimumWidth(40);
    m_voltageActive = new QCheckBox(QStringLiteral("Active"), step3);
    m_voltageActive->setObjectName(QStringLiteral("CBOutVoltageMax"));
    auto *row3 = new QHBoxLayout;
    row3->addWidget(m_voltage, 1);
    row3->addWidget(m_voltageLabel);
    row3->addWidget(new QLabel(QStringLiteral("[V]"), step3));
    row3->addWidget(m_voltageActive);
    static_cast<QVBoxLayout *>(step3->layout())->addLayout(row3);
    m_voltage->setEnabled(false);
    showVoltageLabel();

    QGroupBox *step4 = makeStep(4, QStringLiteral("Step 3 - Start auto-tuning"), {});
    m_startPid = new QPushButton(step4);
    m_startPid->setObjectName(QStringLiteral("BStartPIDOnly"));
    m_startPred = new QPushButton(step4);
    m_startPred->setObjectName(QStringLiteral("BStartPIDPred"));
    m_running = new QLabel(step4);
    m_running->setObjectName(QStringLiteral("LRunning"));
    auto *row4 = new QHBoxLayout;
    row4->addWidget(m_startPid);
    row4->addWidget(m_startPred);
    static_cast<QVBoxLayout *>(step4->layout())->addLayout(row4);
    step4->layout()->addWidget(m_running);
    // The run's command and speed as the controller reports them, live.
    m_livePlot = AutoTuningResultView::makeResponsePlot(step4, QStringLiteral("PlotAutoTuningLive"));
    step4->layout()->addWidget(m_livePlot);

    QGroupBox *step5 = makeStep(5, QStringLiteral("Auto-tuning result"), {});
    m_memo = new QPlainTextEdit(step5);
    m_memo->setObjectName(QStringLiteral("MemoAutoTuning"));
    m_memo->setReadOnly(true);
    m_memo->setFocusPolicy(Qt::NoFocus);
    m_memo->setFixedHeight(64);
    m_result = new AutoTuningResultView(step5);
    connect(m_result, &AutoTuningResultView::restoreRequested, this,
            &TFormAutoTuning::BRestorePreviousClick);
    m_comparison = new StepComparison(context.session(), this);
    connect(m_result, &AutoTuningResultView::measureRequested, this,
            &TFormAutoTuning::BMeasureStepClick);
    connect(m_comparison, &StepComparison::progress, m_result,
            &AutoTuningResultView::setMeasureStatus);
    connect(m_comparison, &StepComparison::measured, this, [this](StepComparison::Side side) {
        m_result->showFigures(int(side), m_comparison->figures(side), m_stepIsSpeed);
    });
    connect(m_comparison, &StepComparison::finished, this, [this] { renderMeasureButton(); });
    // STOP (the button or Esc in any window) ends the measurement at once.
    connect(&context, &WindowContext::driverStopped, this, [this] {
        m_comparison->abort(QStringLiteral("Step measurement stopped"));
    });
    step5->layout()->addWidget(m_memo);
    step5->layout()->addWidget(m_result);

    // Each page's controls at its top, the room left below them.
    for (int step = 0; step < AutoTuningWizard::ResultStep; ++step)
        static_cast<QVBoxLayout *>(m_steps[size_t(step)]->layout())->addStretch();
    for (QGroupBox *group : m_steps)
        layout->addWidget(group, 0, 0, 1, 2);
    layout->setRowStretch(0, 1);
    m_back = new QPushButton(QStringLiteral("<- Back"), this);
    m_back->setObjectName(QStringLiteral("BBack"));
    m_next = new QPushButton(QStringLiteral("Next ->"), this);
    m_next->setObjectName(QStringLiteral("BNext"));
    layout->addWidget(m_back, 1, 0);
    layout->addWidget(m_next, 1, 1);

    connect(m_next, &QPushButton::clicked, this, &TFormAutoTuning::BNextClick);
    connect(m_back, &QPushButton::clicked, this, &TFormAutoTuning::BBackClick);
    connect(m_startPid, &QPushButton::clicked, this, &TFormAutoTuning::BStartPIDOnlyClick);
    connect(m_startPred, &QPushButton::clicked, this, &TFormAutoTuning::BStartPIDPredClick);
    connect(m_currentMax, &QLineEdit::textEdited, this, &TFormAutoTuning::ECurrentMaxChange);
    connect(m_currentMax, &QLineEdit::returnPressed, this, &TFormAutoTuning::BNextClick);
    connect(m_voltage, &QSlider::valueChanged, this, &TFormAutoTuning::showVoltageLabel);
    connect(m_voltage, &QSlider::sliderMoved, this, &TFormAutoTuning::outputVoltageMaxMoved);
    connect(m_voltage, &QSlider::actionTriggered, this,
            [this] { emit outputVoltageMaxMoved(m_voltage->sliderPosition()); });
    connect(m_voltageActive, &QCheckBox::clicked, this, [this](bool active) {
        m_voltage->setEnabled(active);
        emit outputVoltageActiveClicked(active);
    });

    m_timerDisplay.setObjectName(QStringLiteral("TimerDisplay"));
    m_timerDisplay.setSingleShot(true);
    m_timerDisplay.setInterval(10);
    connect(&m_timerDisplay, &QTimer::timeout, this, &TFormAutoTuning::evaluateAutoTuning);
    context.sessionBridge().setWindowDisplayTimer(SessionListener::Display::AutoTuning,
                                                  &m_timerDisplay);
    m_timerResult.setInterval(ResultRefreshMs);
    connect(&m_timerResult, &QTimer::timeout, this, &TFormAutoTuning::refreshResult);
    connect(&context.sessionBridge(), &GuiSessionBridge::directValueArrived, this,
            [this](SessionListener::DirectValue value) { directValue(int(value)); });
    connect(&context, &WindowContext::deviceIdentified, this, &TFormAutoTuning::applyProfile);
    context.connectedControls().addHook(this, [this](bool connected) {
        m_connected = connected;
        if (!connected)
            m_comparison->abort(QStringLiteral("Step measurement ended: the connection closed"));
        renderMeasureButton();
        const WizardRequests requests = m_wizard.setConnected(connected);
        apply(requests);
        if (requests.runEnded) {
            // The run ended with its connection: its result shows its response
            // only, never registers of a later connection.
            m_before.clear();
            refreshResult();
            m_timerResult.stop();
        }
    });
    m_wizard.currentTextChanged(m_currentMax->text());
    m_wizard.formShown();
    render();
    resize(800, 520);
}

QGroupBox *TFormAutoTuning::makeStep(int step, const QString &title, const QStringList &lines)
{
    auto *group = new QGroupBox(title, this);
    group->setObjectName(QStringLiteral("GBStep%1").arg(step));
    auto *layout = new QVBoxLayout(group);
    for (const QString &line : lines) {
        auto *label = new QLabel(line, group);
        if (line == QLatin1String("Warning !"))
            label->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
        layout->addWidget(label);
    }
    m_steps[size_t(step)] = group;
    group->hide();
    return group;
}

void TFormAutoTuning::render()
{
    for (int step = 0; step < int(m_steps.size()); ++step)
        m_steps[size_t(step)]->setVisible(step == m_wizard.step());
    m_next->setEnabled(m_wizard.nextEnabled());
    m_back->setEnabled(m_wizard.backEnabled());
    m_startPid->setText(m_wizard.startCaption(TuningKind::PidOnly));
    m_startPred->setText(m_wizard.startCaption(TuningKind::PidPredictive));
    m_startPid->setEnabled(m_wizard.startEnabled(TuningKind::PidOnly));
    m_startPred->setEnabled(m_wizard.startEnabled(TuningKind::PidPredictive));
    m_running->setText(m_wizard.runningText());
    const QString memo = m_wizard.resultLines().join(QLatin1Char('\n'));
    if (m_memo->toPlainText() != memo)
        m_memo->setPlainText(memo);
    setEditValid(m_currentMax, m_wizard.currentValid());
}

void TFormAutoTuning::apply(const WizardRequests &requests)
{
    const std::optional<QString> refusal =
        applyWizardRequests(m_context.session(), m_wizard, requests);
    render();
    if (refusal)
        m_running->setText(QStringLiteral("Not sent: ") + *refusal);
}

void TFormAutoTuning::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    if (event->spontaneous())
        return;
    const ToolWindows &w = m_context.toolWindows();
    QWidget *const others[] = {w.about,   w.calibration, w.file,       w.information, w.limits,
                               w.paramIP, w.regOption,   w.regWarning, w.enhancedCmd, w.ioState};
    for (QWidget *other : others)
        if (other)
            other->hide();
    m_wizard.formShown();
    render();
}

void TFormAutoTuning::ECurrentMaxChange(const QString &text)
{
    const QString cut = AutoTuningWizard::cutCurrentText(text);
    if (cut != text) {
        m_currentMax->setText(cut);
        m_currentMax->setCursorPosition(int(cut.size()));
    }
    m_wizard.currentTextChanged(cut);
    render();
    emit currentMaxEdited(cut);
}

void TFormAutoTuning::BNextClick()
{
    apply(m_wizard.next(m_currentMax->text(), m_voltage->value(), m_voltageActive->isChecked()));
}

void TFormAutoTuning::BBackClick()
{
    m_wizard.back();
    render();
}

void TFormAutoTuning::startClicked(TuningKind button)
{
    if (!m_wizard.startEnabled(button))
        return;
    // The regulator's switches on, and "Refresh" on: the status is polled.
    const MainPanels &panels = m_context.panels();
    if (panels.regulationParameters)
        panels.regulationParameters->switchPidAndFeedForwardOn();
    if (panels.refresh)
        panels.refresh->switchRefreshOn();
    const bool starting = !m_wizard.running();
    if (starting) {
        // A run takes the regulator over: a step measurement ends first.
        m_comparison->abort(QStringLiteral("Step measurement ended: auto-tuning started"));
        m_before.clear();
        RegisterLockGuard guard(m_context.session().lock());
        for (const int address : AutoTuningWizard::reReadRegisters()) {
            const QLMCRegister *reg = m_context.session().motor().registerAt(address);
            if (reg->Readable)
                m_before.push_back({address, reg->received()
                                                 ? std::optional<std::vector<uint8_t>>(reg->Value)
                                                 : std::nullopt});
        }
    }
    apply(m_wizard.startClicked(button));
    if (starting) {
        m_resultTicks = 0;
        m_timerResult.start();
    }
}

void TFormAutoTuning::evaluateAutoTuning()
{
    uint8_t status;
    {
        RegisterLockGuard guard(m_context.session().lock());
        status = m_context.session().AutoTuning.State;
    }
    QLMCSession &session = m_context.session();
    const WizardRequests requests = m_wizard.statusDecoded(status, [&session](int address) {
        RegisterLockGuard guard(session.lock());
        return session.motor().registerAt(address)->Readable;
    });
    apply(requests);
    if (requests.runEnded) {
        m_resultTicks = 0;
        m_timerResult.start();
        refreshResult();
    }
}

void TFormAutoTuning::BRestorePreviousClick()
{
    QLMCSession &session = m_context.session();
    std::vector<RegisterWrite> batch;
    {
        RegisterLockGuard guard(session.lock());
        for (const BeforeValue &before : m_before) {
            const QLMCRegister *reg = session.motor().registerAt(before.address);
            // Every value the device sent before the run, whether or not its
            // re-read has come yet: writing an unchanged one changes nothing.
            if (before.bytes && ChangeHistory::isTracked(before.address) && reg->Writable)
                batch.push_back({before.address, *before.bytes});
        }
    }
    if (batch.empty()) {
        m_result->setRestoreStatus(QStringLiteral("Nothing to restore"));
        return;
    }
    const ChangeSource source(QStringLiteral("Auto-tuning: restore previous values"));
    const std::vector<RegisterRefusal> refused = RegisterRules::requestWrites(session, batch);
    if (!refused.empty()) {
        m_result->setRestoreStatus(QStringLiteral("Not restored: ") + refused.front().reason);
        return;
    }
    {
        RegisterLockGuard guard(session.lock());
        for (const RegisterWrite &w : batch)
            session.motor().RequestRead(w.address); // the table follows the device
    }
    m_resultTicks = 0;
    m_timerResult.start();
    m_result->setRestoreStatus(QStringLiteral("Restored %1 registers").arg(batch.size()));
}

void TFormAutoTuning::refreshResult()
{
    QLMCSession &session = m_context.session();
    std::vector<TuningSample> samples;
    std::vector<AutoTuningResultView::Row> rows;
    bool pending = false;
    {
        RegisterLockGuard guard(session.lock());
        samples = session.TuningRecorder.samples();
        for (const BeforeValue &before : m_before) {
            const QLMCRegister *reg = session.motor().registerAt(before.address);
            pending = pending || reg->ReadRequest;
            // A value the device did not send is shown as "-", never as zero.
            rows.push_back({before.address, QString::fromStdString(reg->Name),
                            before.bytes ? RegisterText::value(before.address, *before.bytes)
                                         : QStringLiteral("-"),
                            reg->received() ? RegisterText::value(before.address, reg->Value)
                                            : QStringLiteral("-")});
        }
    }
    if (m_wizard.running()) {
        AutoTuningResultView::showResponse(m_livePlot, samples);
        return;
    }
    m_result->showResponse(samples);
    m_result->showChanges(rows);
    m_result->restoreButton()->setEnabled(!m_before.empty());
    renderMeasureButton();
    if (!pending || ++m_resultTicks >= ResultRefreshTicks)
        m_timerResult.stop();
}

void TFormAutoTuning::applyProfile(const ModelProfile &profile)
{
    m_wizard.identified(profile.autoTuningPredictiveEnabled);
    m_wizard.setMaxPeakCurrent(profile.maxPeakCurrent);
    m_wizard.currentTextChanged(m_currentMax->text());
    render();
}

void TFormAutoTuning::directValue(int value)
{
    OptionsRecord options;
    {
        RegisterLockGuard guard(m_context.session().lock());
        options = m_context.session().Options;
    }
    if (value == int(SessionListener::DirectValue::CurrentMax)) {
        setCurrentMaxText(options.CurrentMaxText);
    } else if (value == int(SessionListener::DirectValue::OutputVoltageMax)) {
        setOutputVoltageActive(options.OutputVoltageLimited);
        if (options.OutputVoltageLimited)
            setOutputVoltageMax(options.OutputVoltageTenths);
    }
}

void TFormAutoTuning::setCurrentMaxText(const QString &text)
{
    const QString local = QString(text).replace(QLatin1Char('.'), localeDecimalSeparator());
    if (m_currentMax->text() != local) {
        const QSignalBlocker blocker(m_currentMax);
        m_currentMax->setText(local);
    }
    m_wizard.currentTextChanged(local);
    render();
}

void TFormAutoTuning::setOutputVoltageMax(int tenths)
{
    const QSignalBlocker blocker(m_voltage);
    m_voltage->setValue(tenths);
    showVoltageLabel();
}

void TFormAutoTuning::setOutputVoltageActive(bool active)
{
    const QSignalBlocker blocker(m_voltageActive);
    m_voltageActive->setChecked(active);
    m_voltage->setEnabled(active);
}

void TFormAutoTuning::attachOptions(TFormRegOption &options)
{
    // Each side renders the other's change with its signals blocked, so a
    // change never comes back.
    connect(&options, &TFormRegOption::currentMaxArrived, this,
            &TFormAutoTuning::setCurrentMaxText);
    connect(&options, &TFormRegOption::currentMaxEdited, this, &TFormAutoTuning::setCurrentMaxText);
    connect(&options, &TFormRegOption::outputVoltagePositionChanged, this,
            &TFormAutoTuning::setOutputVoltageMax);
    connect(&options, &TFormRegOption::outputVoltageActiveChanged, this,
            &TFormAutoTuning::setOutputVoltageActive);
    connect(this, &TFormAutoTuning::currentMaxEdited, &options, &TFormRegOption::setCurrentMaxText);
    connect(this, &TFormAutoTuning::outputVoltageMaxMoved, &options,
            &TFormRegOption::setOutputVoltagePosition);
    connect(this, &TFormAutoTuning::outputVoltageActiveClicked, &options,
            &TFormRegOption::setOutputVoltageActive);
}

void TFormAutoTuning::setMaxPeakCurrent(int raw)
{
    m_wizard.setMaxPeakCurrent(raw);
    m_wizard.currentTextChanged(m_currentMax->text());
    render();
}

void TFormAutoTuning::showVoltageLabel()
{
    m_voltageLabel->setText(QString::number(m_voltage->value() * 0.1, 'f', 1));
}

void TFormAutoTuning::renderMeasureButton()
{
    m_result->measureButton()->setEnabled(m_connected && !m_before.empty()
                                          && !m_wizard.running() && !m_comparison->running());
}

void TFormAutoTuning::BMeasureStepClick()
{
    if (!m_result->measureButton()->isEnabled())
        return;
    // Before: the gains the device sent before the run; after: those it
    // sends now. A gain missing on either side is left as it is.
    QLMCSession &session = m_context.session();
    std::vector<RegisterWrite> before, after;
    {
        RegisterLockGuard guard(session.lock());
        for (const int address : StepComparison::gainRegisters()) {
            const QLMCRegister *reg = session.motor().registerAt(address);
            const auto old = std::find_if(m_before.begin(), m_before.end(),
                                          [address](const BeforeValue &b) {
                                              return b.address == address;
                                          });
            if (old == m_before.end() || !old->bytes || !reg->received() || !reg->Writable)
                continue;
            before.push_back({address, *old->bytes});
            after.push_back({address, reg->Value});
        }
        m_stepIsSpeed = session.Received.RegulationMode
                        == modeInfo(RegulationMode::SpeedTraj).value;
    }
    // The response is read from the polled values.
    if (const MainPanels &panels = m_context.panels(); panels.refresh)
        panels.refresh->switchRefreshOn();
    m_result->showFigures(0, std::nullopt, m_stepIsSpeed);
    m_result->showFigures(1, std::nullopt, m_stepIsSpeed);
    const QString refused =
        m_comparison->start(std::move(before), std::move(after), m_result->stepSize()->value());
    if (!refused.isEmpty())
        m_result->setMeasureStatus(refused);
    renderMeasureButton();
}
