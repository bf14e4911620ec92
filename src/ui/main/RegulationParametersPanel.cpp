// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/RegulationParametersPanel.h"

#include "panel/DisplayText.h"
#include "ui/main/MainPanelSlot.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/QuietDisplay.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QThread>

namespace {

using Id = RegulationParameterId;

constexpr int ControlHeight = 20;
constexpr int SmallButtonHeight = 19;
// After the check boxes switch the gains, the device is given this long to
// take them before they are read back.
constexpr unsigned long SwitchWaitMs = 100;

bool isGain(Id id)
{
    return id == Id::Kp || id == Id::Ki || id == Id::Kd;
}

bool isFeedForward(Id id)
{
    return id == Id::VffOffset || id == Id::Kvff || id == Id::Kaff || id == Id::Kdff;
}

QString titleName(const RegulationParameter &parameter)
{
    // The edit's name with the label prefix: EKp -> LKp.
    return QLatin1Char('L') + QLatin1String(parameter.editName + 1);
}

} // namespace

RegulationParametersPanel::RegulationParametersPanel(WindowContext &context)
    : QGroupBox(QStringLiteral("Regulation parameters"))
    , m_context(context)
    , m_model(context.session())
{
    setObjectName(QStringLiteral("GBRegulationParameters"));
    setFixedSize(reservedSize(MainPanelSlot::RegulationParameters));

    buildRows();

    m_pidActive = new QCheckBox(this);
    m_pidActive->setObjectName(QStringLiteral("CBPIDActive"));
    m_pidActive->setChecked(true);
    connect(m_pidActive, &QCheckBox::clicked, this, &RegulationParametersPanel::CBPIDActiveClick);
    m_predictiveActive = new QCheckBox(this);
    m_predictiveActive->setObjectName(QStringLiteral("CBPredictiveActive"));
    m_predictiveActive->setChecked(true);
    connect(m_predictiveActive, &QCheckBox::clicked, this,
            &RegulationParametersPanel::CBPredictiveActiveClick);

    m_read = new QPushButton(QStringLiteral("Read"), this);
    m_read->setObjectName(QStringLiteral("BReadParam"));
    connect(m_read, &QPushButton::clicked, this, &RegulationParametersPanel::BReadParamClick);
    m_write = new QPushButton(QStringLiteral("Write"), this);
    m_write->setObjectName(QStringLiteral("BWriteParam"));
    connect(m_write, &QPushButton::clicked, this, &RegulationParametersPanel::BWriteParamClick);
    m_calculate = new QPushButton(QStringLiteral("Calc 40%"), this);
    m_calculate->setObjectName(QStringLiteral("BCalculAntiRW"));
    m_calculate->setFixedHeight(SmallButtonHeight);
    connect(m_calculate, &QPushButton::clicked, this,
            &RegulationParametersPanel::BCalculAntiRWClick);

    m_timerReadPID.setObjectName(QStringLiteral("TimerReadPID"));
    m_timerReadPID.setInterval(100);
    connect(&m_timerReadPID, &QTimer::timeout, this, &RegulationParametersPanel::TimerReadPIDTimer);
    m_timerReadPIDPredictive.setObjectName(QStringLiteral("TimerReadPIDPredictive"));
    m_timerReadPIDPredictive.setInterval(100);
    connect(&m_timerReadPIDPredictive, &QTimer::timeout, this,
            &RegulationParametersPanel::TimerReadPIDPredictiveTimer);

    buildLayout();
    registerControls();

    connect(&context, &WindowContext::formShown, this, &RegulationParametersPanel::formShown);
    connect(&context, &WindowContext::deviceIdentified, this,
            &RegulationParametersPanel::applyProfile);
    connect(&context, &WindowContext::parameterTitlesColoured, this,
            [this](const QList<int> &indexes) {
                std::array<bool, RegulationParameterCount> red{};
                for (const int index : indexes)
                    if (index >= 0 && index < RegulationParameterCount)
                        red[size_t(index)] = true;
                setTitlesRed(red);
            });
    context.frame().setDisplayHook(
        DisplayStep::RegulationParameters,
        [this](const DisplayUpdate &update, const ReceivedValues &values) {
            showReceived(update, values);
        });
}

void RegulationParametersPanel::switchPidAndFeedForwardOn()
{
    for (QCheckBox *box : {m_pidActive, m_predictiveActive})
        if (box->isEnabled() && !box->isChecked())
            box->click();
}

// --- Construction ------------------------------------------------------------------

void RegulationParametersPanel::buildRows()
{
    // Room for the longest value (32767.00000, 2000000000) with the frame and margins.
    const int editWidth = fontMetrics().horizontalAdvance(QStringLiteral("32767.000000")) + 12;
    for (const RegulationParameter &parameter : regulationParameters()) {
        Row &r = m_rows[size_t(indexOf(parameter.id))];
        r.title = new QLabel(QLatin1String(parameter.title), this);
        r.title->setObjectName(titleName(parameter));

        r.trackBar = new QSlider(Qt::Horizontal, this);
        r.trackBar->setObjectName(QLatin1String(parameter.trackBarName));
        r.trackBar->setRange(parameter.trackMinimum, parameter.trackMaximum);
        r.trackBar->setValue(parameter.trackPosition);
        r.trackBar->setTickInterval(parameter.tickFrequency);
        r.trackBar->setTickPosition(QSlider::TicksBelow);
        r.trackBar->setSingleStep(parameter.lineSize);
        r.trackBar->setFixedHeight(ControlHeight);
        r.trackBar->installEventFilter(this);

        r.edit = new QLineEdit(QLatin1String(parameter.editText), this);
        r.edit->setObjectName(QLatin1String(parameter.editName));
        if (parameter.editMaxLength > 0)
            r.edit->setMaxLength(parameter.editMaxLength);
        r.edit->setFixedSize(editWidth, ControlHeight);
        r.edit->installEventFilter(this);

        const Id id = parameter.id;
        connect(r.edit, &QLineEdit::textChanged, this, [this, id] { EditChange(id); });
        connect(r.trackBar, &QSlider::valueChanged, this,
                [this, id](int position) { TrackBarChange(id, position); });
    }
}

void RegulationParametersPanel::buildLayout()
{
    // Each parameter takes two lines: its title, then its track bar and edit.
    // The check boxes sit right of the edits of Ki and Kaff, "Calc 40%" above
    // the anti-reset-windup edit.
    auto *grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);
    const int checkColumnWidth = m_pidActive->sizeHint().width();
    grid->setColumnMinimumWidth(2, checkColumnWidth);
    grid->setColumnStretch(0, 1);
    for (const RegulationParameter &parameter : regulationParameters()) {
        const Row &r = row(parameter.id);
        const int line = 2 * indexOf(parameter.id);
        if (parameter.id == Id::AntiResetWindup) {
            grid->addWidget(r.title, line, 0, Qt::AlignBottom);
            grid->addWidget(m_calculate, line, 1);
        } else {
            grid->addWidget(r.title, line, 0, 1, 2, Qt::AlignBottom);
        }
        grid->addWidget(r.trackBar, line + 1, 0);
        grid->addWidget(r.edit, line + 1, 1);
    }
    grid->addWidget(m_pidActive, 2 * indexOf(Id::Ki) + 1, 2, Qt::AlignCenter);
    grid->addWidget(m_predictiveActive, 2 * indexOf(Id::Kaff) + 1, 2, Qt::AlignCenter);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    buttons->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 4);
    layout->setSpacing(2);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
}

void RegulationParametersPanel::registerControls()
{
    ConnectedControls &controls = m_context.connectedControls();
    for (const Row &r : m_rows) {
        controls.addWhileConnected(r.title);
        controls.addWhileConnected(r.trackBar);
        controls.addWhileConnected(r.edit);
    }
    controls.addWhileConnected(m_pidActive);
    controls.addWhileConnected(m_predictiveActive);
    controls.addWhileConnected(m_read);
    controls.addWhileConnected(m_write);
    controls.addWhileConnected(m_calculate);
    // Runs after the registry has switched the controls: what the model or a
    // check box keeps disabled goes back to disabled.
    controls.addHook(this, [this](bool) { applyEnabledStates(); });
}

// --- Enabled states -------------------------------------------------------------

bool RegulationParametersPanel::profileAllows(RegulationParameterId id) const
{
    if (!m_profile)
        return true;
    const ModelProfile::RegulationControls &p = *m_profile;
    switch (id) {
    case Id::Kp:
        return p.kp;
    case Id::Ki:
        return p.ki;
    case Id::Kd:
        return p.kd;
    case Id::VffOffset:
    case Id::Kvff:
    case Id::Kaff:
    case Id::Kdff:
        return p.feedForward;
    case Id::AntiResetWindup:
        return p.antiResetWindup;
    case Id::Acceleration:
        return p.acceleration;
    case Id::Deceleration:
        return p.deceleration;
    case Id::SpeedMax:
        return p.topSpeed;
    case Id::DeadZone:
        return p.deadZone;
    case Id::EncoderRatio:
        return p.encoderRatio;
    }
    return true;
}

bool RegulationParametersPanel::switchAllows(RegulationParameterId id) const
{
    if (isGain(id))
        return !m_gainsOff;
    if (isFeedForward(id))
        return !m_feedForwardOff;
    return true;
}

void RegulationParametersPanel::applyEnabledStates()
{
    const bool connected = m_context.connectedControls().isConnected();
    for (const RegulationParameter &parameter : regulationParameters()) {
        const Row &r = row(parameter.id);
        const bool offered = connected && profileAllows(parameter.id);
        r.title->setEnabled(offered);
        r.trackBar->setEnabled(offered && switchAllows(parameter.id));
        r.edit->setEnabled(offered && switchAllows(parameter.id));
    }
    m_pidActive->setEnabled(connected);
    m_predictiveActive->setEnabled(connected && profileAllows(Id::Kvff));
    m_read->setEnabled(connected);
    m_calculate->setEnabled(connected);
    m_write->setEnabled(connected && m_writeValid);
}

void RegulationParametersPanel::setWriteEnabled(bool valid)
{
    m_writeValid = valid;
    m_write->setEnabled(valid && m_context.connectedControls().isConnected());
}

void RegulationParametersPanel::switchControls(std::initializer_list<RegulationParameterId> ids)
{
    for (const Id id : ids) {
        const bool enabled =
            m_context.connectedControls().isConnected() && profileAllows(id) && switchAllows(id);
        row(id).trackBar->setEnabled(enabled);
        row(id).edit->setEnabled(enabled);
    }
}

// --- Titles --------------------------------------------------------------------------

void RegulationParametersPanel::setTitlesRed(const std::array<bool, RegulationParameterCount> &red)
{
    m_red = red;
    for (size_t index = 0; index < m_rows.size(); ++index) {
        QLabel *title = m_rows[index].title;
        QPalette palette = title->palette();
        const QColor colour =
            red[index] ? QColor(Qt::red) : QWidget::palette().color(QPalette::WindowText);
        palette.setColor(QPalette::Active, QPalette::WindowText, colour);
        palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
        title->setPalette(palette);
    }
}

bool RegulationParametersPanel::isTitleRed(RegulationParameterId id) const
{
    return m_red[size_t(indexOf(id))];
}

void RegulationParametersPanel::formShown()
{
    // The acceleration titles are written with a superscript two.
    for (const Id id : {Id::Acceleration, Id::Deceleration}) {
        QLabel *label = titleLabel(id);
        QString text = label->text();
        label->setText(text.replace(QLatin1String("^2"), QStringLiteral("\u00B2")));
    }
}

void RegulationParametersPanel::applyProfile(const ModelProfile &profile)
{
    titleLabel(Id::Acceleration)->setText(profile.titles.acceleration);
    titleLabel(Id::Deceleration)->setText(profile.titles.deceleration);
    titleLabel(Id::SpeedMax)->setText(profile.titles.topSpeed);
    m_profile = profile.regulation;
    applyEnabledStates();
}

// --- Received values -------------------------------------------------------------

void RegulationParametersPanel::showReceived(const DisplayUpdate &update,
                                             const ReceivedValues &values)
{
    for (const Id id : update.parameters)
        showReceivedValue(id, values);
}

void RegulationParametersPanel::showReceivedValue(RegulationParameterId id,
                                                  const ReceivedValues &values)
{
    const Row &r = row(id);
    const ParameterDisplay display = RegulationPanelModel::receivedDisplay(id, values);
    // The edit's change check only colours it; the track bar's move would
    // write and rewrite the edit, so it is set with its signals blocked. Nothing
    // is disabled on the way: the keyboard focus stays where it is.
    r.edit->setText(display.editText);
    showSliderPosition(r.trackBar, display.trackPosition);
}

// --- Edits and track bars --------------------------------------------------------

bool RegulationParametersPanel::eventFilter(QObject *watched, QEvent *event)
{
    // A wheel turned while passing over the group moves no track bar: only a
    // track bar that has the focus writes its value.
    if (event->type() == QEvent::Wheel) {
        if (auto *track = qobject_cast<QSlider *>(watched); track && !track->hasFocus())
            return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            for (const RegulationParameter &parameter : regulationParameters()) {
                QLineEdit *edit = row(parameter.id).edit;
                if (watched == edit) {
                    if (edit->isEnabled())
                        EditEnter(parameter.id);
                    return true;
                }
            }
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void RegulationParametersPanel::EditChange(RegulationParameterId id)
{
    QLineEdit *edit = row(id).edit;
    const ParameterEditCheck check = RegulationPanelModel::checkEdit(id, edit->text());
    if (check.replacementText) {
        // Too many decimals: the cut text comes back through this handler.
        edit->setText(*check.replacementText);
        edit->setCursorPosition(int(edit->text().size()));
        return;
    }
    setEditValid(edit, check.valid);
    setWriteEnabled(check.valid);
}

void RegulationParametersPanel::EditEnter(RegulationParameterId id)
{
    if (const std::optional<ParameterEnterResult> result = m_model.editEnter(id, edit(id)->text()))
        applyEnter(id, *result);
}

void RegulationParametersPanel::applyEnter(RegulationParameterId id,
                                           const ParameterEnterResult &result)
{
    // The value was written: the track bar follows it without a write of its own.
    showSliderPosition(trackBar(id), result.trackPosition);
    if (result.editText)
        edit(id)->setText(*result.editText);
}

void RegulationParametersPanel::TrackBarChange(RegulationParameterId id, int position)
{
    QSlider *track = trackBar(id);
    if (const std::optional<ParameterTrackResult> result =
            m_model.trackBarChanged(id, position, track->isEnabled()))
        edit(id)->setText(result->editText);
}

// --- Buttons ---------------------------------------------------------------------

void RegulationParametersPanel::BReadParamClick()
{
    m_model.readAll();
}

void RegulationParametersPanel::BWriteParamClick()
{
    std::array<ParameterEdit, RegulationParameterCount> edits;
    for (const RegulationParameter &parameter : regulationParameters()) {
        const QLineEdit *e = edit(parameter.id);
        edits[size_t(indexOf(parameter.id))] = {e->text(), e->isEnabled()};
    }
    const auto results = m_model.writeAll(edits);
    for (const Id id : regulationWriteOrder())
        if (const auto &result = results[size_t(indexOf(id))])
            applyEnter(id, *result);
}

void RegulationParametersPanel::BCalculAntiRWClick()
{
    QLineEdit *antiResetWindup = edit(Id::AntiResetWindup);
    const AntiResetWindupCalculation calculation = m_model.calculateAntiResetWindup(
        edit(Id::Kvff)->text(), edit(Id::Ki)->text(), antiResetWindup->isEnabled());
    if (calculation.invalidGain) {
        // Kvff is above zero but Ki gives no finite limit: nothing is written.
        setEditValid(antiResetWindup, false);
        setWriteEnabled(false);
        return;
    }
    if (!calculation.editText)
        return;
    antiResetWindup->setText(*calculation.editText);
    // The same text as before changes nothing: its colour is set here.
    EditChange(Id::AntiResetWindup);
    if (calculation.entered)
        applyEnter(Id::AntiResetWindup, *calculation.entered);
}

// --- PID and feed-forward switches -------------------------------------------------

void RegulationParametersPanel::waitForDevice()
{
    QThread::msleep(SwitchWaitMs);
}

void RegulationParametersPanel::CBPIDActiveClick(bool checked)
{
    if (!checked) {
        m_model.gainsSwitchedOff();
        m_timerReadPID.start();
        return;
    }
    if (m_timerReadPID.isActive()) {
        // Checked again before the gains were zeroed: nothing to restore, and
        // the pending switch-off must not zero the gains behind a checked box.
        m_timerReadPID.stop();
        return;
    }
    m_gainsOff = false;
    switchControls({Id::Kp, Id::Ki, Id::Kd});
    m_model.gainsSwitchedOn();
    waitForDevice();
    m_model.requestGainsRead();
}

void RegulationParametersPanel::TimerReadPIDTimer()
{
    m_timerReadPID.stop();
    m_model.gainsTimerTick();
    m_gainsOff = true;
    switchControls({Id::Kp, Id::Ki, Id::Kd});
    waitForDevice();
    m_model.requestGainsRead();
}

void RegulationParametersPanel::CBPredictiveActiveClick(bool checked)
{
    if (!checked) {
        m_model.feedForwardSwitchedOff();
        m_timerReadPIDPredictive.start();
        return;
    }
    if (m_timerReadPIDPredictive.isActive()) {
        m_timerReadPIDPredictive.stop();
        return;
    }
    m_feedForwardOff = false;
    switchControls({Id::VffOffset, Id::Kvff, Id::Kaff, Id::Kdff});
    m_model.feedForwardSwitchedOn();
    waitForDevice();
    m_model.requestFeedForwardRead();
}

void RegulationParametersPanel::TimerReadPIDPredictiveTimer()
{
    m_timerReadPIDPredictive.stop();
    m_model.feedForwardTimerTick();
    m_feedForwardOff = true;
    switchControls({Id::VffOffset, Id::Kvff, Id::Kaff, Id::Kdff});
    waitForDevice();
    m_model.requestFeedForwardRead();
}
