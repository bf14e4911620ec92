// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/InputPanel.h"

#include "panel/ConsignModel.h"
#include "panel/DisplayText.h"
#include "panel/TThreadInputTimer.h"
#include "ui/main/MainPanelSlot.h"
#include "ui/widgets/ConnectedControls.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int EditMaxLength = 11;
constexpr int TrackMinimum = 0;
constexpr int TrackMaximum = 1000;
constexpr int TrackStart = 500;
constexpr int TrackTicks = 100;
constexpr int EditHeight = 20;
constexpr int ButtonHeight = 22;

QLineEdit *makeEdit(const char *name, const QString &text, int width, QWidget *parent)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(EditMaxLength);
    edit->setFixedSize(width, EditHeight);
    return edit;
}

QPushButton *makeButton(const char *name, const QString &text, int width, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedSize(width, ButtonHeight);
    button->setAutoDefault(false);
    return button;
}

QLabel *makeLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return label;
}

// Leaving an edit is a focus change inside the window, not the window losing
// the focus or a menu opening over it.
bool isLeavingEdit(const QEvent *event)
{
    if (event->type() != QEvent::FocusOut)
        return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

InputPanel::InputPanel(WindowContext &context)
    : QGroupBox(QStringLiteral("0x21-Input (PWM Consign)"))
    , m_context(context)
    , m_model(context.consignModel())
{
    setObjectName(QStringLiteral("GBInput"));
    setFixedSize(reservedSize(MainPanelSlot::Input));
    buildControls();
    buildLayout();
    wireControls();
    registerConnectedControls();

    m_model.setTrackRange(m_track->minimum(), m_track->maximum());
    connect(&context, &WindowContext::autoChangeUpdated, this, &InputPanel::applyAutoChange);
}

void InputPanel::buildControls()
{
    static const char *const EditNames[3] = {"ECons", "ECons1", "ECons2"};
    static const char *const GoNames[3] = {"BSendCons", "BSendCons1", "BSendCons2"};
    static const char *const GoTexts[3] = {"GO", "GO1", "GO2"};
    for (size_t i = 0; i < 3; ++i) {
        m_cons[i] = makeEdit(EditNames[i], QStringLiteral("0"), 66, this);
        m_go[i] = makeButton(GoNames[i], QLatin1String(GoTexts[i]), 32, this);
    }
    m_readInput = makeButton("BReadInput", QStringLiteral("Read"), 38, this);

    m_track = new QSlider(Qt::Horizontal, this);
    m_track->setObjectName(QStringLiteral("TBCons"));
    m_track->setRange(TrackMinimum, TrackMaximum);
    m_track->setValue(TrackStart);
    m_track->setTickInterval(TrackTicks);
    m_track->setTickPosition(QSlider::TicksBelow);
    m_activeTrack = new QCheckBox(this);
    m_activeTrack->setObjectName(QStringLiteral("CBActiveTBCons"));
    m_activeTrack->setChecked(true);

    m_min = makeEdit("ETBConsMin", QStringLiteral("0"), 78, this);
    m_max = makeEdit("ETBConsMax", QStringLiteral("1000"), 78, this);

    m_autoGroup = new QGroupBox(QStringLiteral("Input track bar auto change"), this);
    m_autoGroup->setObjectName(QStringLiteral("GBAutoChange"));
    m_autoNo = new QRadioButton(QStringLiteral("No"), m_autoGroup);
    m_autoNo->setObjectName(QStringLiteral("RBAutoChangeNo"));
    m_autoNo->setChecked(true);
    m_autoMinMax = new QRadioButton(QStringLiteral("Min-Max"), m_autoGroup);
    m_autoMinMax->setObjectName(QStringLiteral("RBAutoChangeMinMax"));
    m_autoStep = new QRadioButton(QStringLiteral("Step :"), m_autoGroup);
    m_autoStep->setObjectName(QStringLiteral("RBAutoChangeStep"));
    m_stepEdit = makeEdit("EAutoChangeStep", QStringLiteral("100"), 60, m_autoGroup);
    m_timerEdit = makeEdit("ETimerAutoChange", QStringLiteral("1000"), 60, m_autoGroup);
}

void InputPanel::buildLayout()
{
    auto *consigns = new QGridLayout;
    consigns->setHorizontalSpacing(3);
    consigns->setVerticalSpacing(4);
    for (int i = 0; i < 3; ++i) {
        consigns->addWidget(m_cons[size_t(i)], i, 0);
        consigns->addWidget(m_go[size_t(i)], i, 1);
    }
    consigns->addWidget(m_readInput, 0, 2);
    consigns->setRowStretch(3, 1);

    auto *autoLayout = new QGridLayout(m_autoGroup);
    autoLayout->setContentsMargins(6, 2, 6, 4);
    autoLayout->setHorizontalSpacing(4);
    autoLayout->setVerticalSpacing(1);
    autoLayout->addWidget(m_autoNo, 0, 0, 1, 2);
    autoLayout->addWidget(m_autoMinMax, 1, 0, 1, 2);
    autoLayout->addWidget(m_autoStep, 2, 0);
    autoLayout->addWidget(m_stepEdit, 2, 1);
    QLabel *timerLabel = makeLabel(QStringLiteral("Timer [ms] :"), m_autoGroup);
    timerLabel->setObjectName(QStringLiteral("LTimerAutoChange"));
    autoLayout->addWidget(timerLabel, 3, 0);
    autoLayout->addWidget(m_timerEdit, 3, 1);

    auto *top = new QHBoxLayout;
    top->setSpacing(4);
    top->addLayout(consigns);
    top->addWidget(m_autoGroup, 1);

    QLabel *inputLabel = makeLabel(QStringLiteral("Input"), this);
    inputLabel->setObjectName(QStringLiteral("LTBCons"));
    auto *track = new QHBoxLayout;
    track->setSpacing(4);
    track->addWidget(inputLabel);
    track->addWidget(m_track, 1);
    track->addWidget(m_activeTrack);

    QLabel *minLabel = makeLabel(QStringLiteral("Min"), this);
    minLabel->setObjectName(QStringLiteral("LTBConsMin"));
    QLabel *maxLabel = makeLabel(QStringLiteral("Max"), this);
    maxLabel->setObjectName(QStringLiteral("LTBConsMax"));
    auto *range = new QHBoxLayout;
    range->setSpacing(4);
    range->addWidget(minLabel);
    range->addWidget(m_min);
    range->addStretch(1);
    range->addWidget(maxLabel);
    range->addWidget(m_max);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(2);
    layout->addLayout(top);
    layout->addLayout(track);
    layout->addLayout(range);
}

void InputPanel::wireControls()
{
    for (int i = 0; i < 3; ++i) {
        QLineEdit *edit = m_cons[size_t(i)];
        connect(edit, &QLineEdit::textChanged, this, [this, i] { EConsChange(i); });
        connect(edit, &QLineEdit::returnPressed, this, [this, i] { EConsEnter(i); });
        // "GO" does what Enter does in its edit.
        connect(m_go[size_t(i)], &QPushButton::clicked, this, [this, i] { EConsEnter(i); });
    }
    connect(m_readInput, &QPushButton::clicked, this, &InputPanel::BReadInputClick);
    connect(m_track, &QSlider::valueChanged, this, &InputPanel::TBConsChange);
    connect(m_activeTrack, &QCheckBox::clicked, this, &InputPanel::CBActiveTBConsClick);

    connect(m_min, &QLineEdit::textChanged, this, &InputPanel::ETBConsMinChange);
    connect(m_max, &QLineEdit::textChanged, this, &InputPanel::ETBConsMaxChange);
    connect(m_min, &QLineEdit::returnPressed, this, &InputPanel::ETBConsMinEnter);
    connect(m_max, &QLineEdit::returnPressed, this, &InputPanel::ETBConsMaxEnter);

    // Checking a choice from the code runs its click behaviour too ("No" on close).
    connect(m_autoNo, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            autoChangeClicked(AutoChange::No);
    });
    connect(m_autoMinMax, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            autoChangeClicked(AutoChange::MinMax);
    });
    connect(m_autoStep, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            autoChangeClicked(AutoChange::Step);
    });
    connect(m_stepEdit, &QLineEdit::textChanged, this, &InputPanel::EAutoChangeStepChange);
    connect(m_stepEdit, &QLineEdit::returnPressed, this, &InputPanel::EAutoChangeStepEnter);
    connect(m_timerEdit, &QLineEdit::textChanged, this, &InputPanel::ETimerAutoChangeChange);
    connect(m_timerEdit, &QLineEdit::returnPressed, this, &InputPanel::ETimerAutoChangeEnter);
    for (QLineEdit *edit : {m_min, m_max, m_stepEdit, m_timerEdit})
        edit->installEventFilter(this);

    connect(&m_context, &WindowContext::consignStateResetRequested, this,
            &InputPanel::connectionOpened);
    connect(&m_context, &WindowContext::autoChangeOffRequested, this,
            &InputPanel::selectAutoChangeOff);
    // A STOP switched the auto change off in the model: "No" shows it, the
    // keyboard focus stays where it is.
    connect(&m_context, &WindowContext::driverStopped, m_autoNo,
            [this] { m_autoNo->setChecked(true); });
    // The hook stays with the window; it does nothing once the panel is replaced.
    m_context.frame().setDisplayHook(
        DisplayStep::ConsignEdit,
        [panel = QPointer<InputPanel>(this)](const DisplayUpdate &update, const ReceivedValues &) {
            if (panel && update.consText)
                panel->m_cons[0]->setText(*update.consText);
        });
}

void InputPanel::registerConnectedControls()
{
    ConnectedControls &controls = m_context.connectedControls();
    for (QLineEdit *edit : m_cons)
        controls.addWhileConnected(edit);
    for (QWidget *widget : std::initializer_list<QWidget *>{m_readInput, m_track, m_activeTrack,
                                                            m_min, m_max, m_autoNo, m_autoMinMax,
                                                            m_autoStep, m_stepEdit, m_timerEdit})
        controls.addWhileConnected(widget);
    // A "GO" button needs the connection and a valid text in its edit.
    controls.addHook(this, [this](bool) { updateGoButtons(); });
}

// --- Modes ------------------------------------------------------------------------

void InputPanel::showMode(const ModeClickResult &result)
{
    setTitle(result.inputCaption);
    if (result.minText)
        m_min->setText(*result.minText);
    if (result.maxText)
        m_max->setText(*result.maxText);
}

// --- Consign edits ------------------------------------------------------------------

void InputPanel::updateGoButtons()
{
    const bool connected = m_context.connectedControls().isConnected();
    for (size_t i = 0; i < m_cons.size(); ++i)
        m_go[i]->setEnabled(connected && !isEditMarkedInvalid(m_cons[i]));
}

void InputPanel::EConsChange(int index)
{
    QLineEdit *edit = m_cons[size_t(index)];
    setEditValid(edit, ConsignModel::checkConsign(edit->text()));
    updateGoButtons();
}

void InputPanel::EConsEnter(int index)
{
    QLineEdit *edit = m_cons[size_t(index)];
    if (edit->isEnabled())
        m_model.consignEnter(edit->text());
}

void InputPanel::BReadInputClick()
{
    m_model.readInputClicked();
}

// --- Track bar ----------------------------------------------------------------------

void InputPanel::TBConsChange(int position)
{
    if (const std::optional<ConsignTrackResult> result =
            m_model.trackBarChanged(position, m_activeTrack->isChecked()))
        m_cons[0]->setText(result->consText);
}

void InputPanel::CBActiveTBConsClick(bool checked)
{
    if (const std::optional<ConsignTrackResult> result =
            m_model.activeTrackBarClicked(checked, m_track->value()))
        m_cons[0]->setText(result->consText);
}

void InputPanel::connectionOpened()
{
    m_track->setValue(m_model.connectionOpened());
}

// --- Range edits --------------------------------------------------------------------

void InputPanel::ETBConsMinChange()
{
    setEditValid(m_min, m_model.checkRangeMin(m_min->text()));
}

void InputPanel::ETBConsMaxChange()
{
    setEditValid(m_max, m_model.checkRangeMax(m_max->text()));
}

void InputPanel::ETBConsMinEnter()
{
    const std::optional<RangeEnterResult> result =
        m_model.rangeMinEnter(m_min->text(), m_context.pulsesPerMicrometre());
    if (result && result->positionAxisValue)
        emit m_context.positionAxisEndRequested(true, *result->positionAxisValue,
                                                result->micrometreAxisValue.value_or(NAN));
}

void InputPanel::ETBConsMaxEnter()
{
    const std::optional<RangeEnterResult> result =
        m_model.rangeMaxEnter(m_max->text(), m_context.pulsesPerMicrometre());
    if (result && result->positionAxisValue)
        emit m_context.positionAxisEndRequested(false, *result->positionAxisValue,
                                                result->micrometreAxisValue.value_or(NAN));
}

bool InputPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (isLeavingEdit(event)) {
        // Leaving an edit drops any text not confirmed with Enter.
        if (watched == m_min)
            m_min->setText(m_model.rangeMinText());
        else if (watched == m_max)
            m_max->setText(m_model.rangeMaxText());
        else if (watched == m_stepEdit)
            m_stepEdit->setText(m_model.stepText());
        else if (watched == m_timerEdit)
            m_timerEdit->setText(m_model.timerText());
    }
    return QGroupBox::eventFilter(watched, event);
}

// --- Auto change --------------------------------------------------------------------

void InputPanel::selectAutoChangeOff()
{
    if (m_autoNo->isEnabled())
        m_autoNo->setFocus();
    m_autoNo->setChecked(true);
}

void InputPanel::autoChangeClicked(AutoChange choice)
{
    TThreadInputTimer &thread = m_context.inputTimer();
    if (m_model.selectAutoChange(choice))
        thread.resume();
    else
        thread.suspend();
}

void InputPanel::EAutoChangeStepChange()
{
    setEditValid(m_stepEdit, ConsignModel::checkStep(m_stepEdit->text()));
}

void InputPanel::EAutoChangeStepEnter()
{
    if (m_model.stepEnter(m_stepEdit->text()) == StepEnterResult::NotStored) {
        // The one message of this group: the step must be a 32-bit integer.
        MessageBoxes::show(
            this, QStringLiteral("Error"),
            QStringLiteral("'%1' is not a valid integer value").arg(m_stepEdit->text()),
            MessageIcon::Critical);
    }
}

void InputPanel::ETimerAutoChangeChange()
{
    setEditValid(m_timerEdit, ConsignModel::checkTimerPeriod(m_timerEdit->text()));
}

void InputPanel::ETimerAutoChangeEnter()
{
    if (const std::optional<int32_t> period = m_model.timerEnter(m_timerEdit->text()))
        m_context.inputTimer().setPeriod(*period);
}

// --- Auto-change thread ---------------------------------------------------------------

void InputPanel::applyAutoChange(const AutoChangeUpdate &update)
{
    // A tick that ran before "No" was chosen changes nothing any more.
    if (m_model.autoChange() == AutoChange::No)
        return;
    if (update.consign)
        m_cons[0]->setText(QString::number(*update.consign));
    if (update.moveTrackBar) {
        // "Step": the move skips the change behaviour (the tick wrote the consign);
        // "Min-Max": the change behaviour computes and writes the consign.
        m_model.prepareTrackMove(m_track->value(), update);
        m_track->setValue(update.trackPosition);
    }
}
