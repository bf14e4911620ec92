// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/TFormCalibration.h"

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "features/HomingSetup.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

QComboBox *makeList(QWidget *parent, const char *name, const QStringList &items, int selected)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->addItems(items);
    list->setCurrentIndex(selected);
    return list;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

QLineEdit *makeEdit(QWidget *parent, const char *name, int maxLength)
{
    auto *edit = new QLineEdit(QStringLiteral("0"), parent);
    edit->setObjectName(QLatin1String(name));
    if (maxLength > 0)
        edit->setMaxLength(maxLength);
    return edit;
}

} // namespace

TFormCalibration::TFormCalibration(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormCalibration"), QStringLiteral("Homing"))
    , m_context(context)
{
    auto *layout = new QVBoxLayout(this);

    // 1. Homing parameters: the options and the start input.
    auto *group1 = new QGroupBox(QStringLiteral("1. Homing parameters"), this);
    group1->setObjectName(QStringLiteral("GBHomingParameters"));
    auto *g1 = new QGridLayout(group1);
    auto *options = new QGroupBox(QStringLiteral("0x48-Options"), group1);
    options->setObjectName(QStringLiteral("GBHomingOptions"));
    auto *o = new QGridLayout(options);
    const QStringList ratios = HomingSetup::ratioItems();
    m_type = makeList(options, "ComboBHomingType", HomingSetup::startTypes(), -1);
    m_autorun = new QCheckBox(QStringLiteral("Autorun @ startup"), options);
    m_autorun->setObjectName(QStringLiteral("CBAutorun"));
    m_currentRatio = makeList(options, "ComboBCurrentMaxRatio", ratios, 0);
    m_speedRatio = makeList(options, "ComboBSpeedMaxRatio", ratios, 0);
    m_accelerationRatio = makeList(options, "ComboBAccelerationRatio", ratios, 0);
    m_timeMax = makeList(options, "ComboBTimeMax", ratios, 0);
    o->addWidget(new QLabel(QStringLiteral("Homing type"), options), 0, 0);
    o->addWidget(m_type, 0, 1);
    o->addWidget(m_autorun, 1, 1);
    const std::pair<const char *, QComboBox *> rows[] = {
        {"Current max. ratio [%]", m_currentRatio},
        {"Speed max. ratio [%]", m_speedRatio},
        {"Acceleration ratio [%]", m_accelerationRatio},
        {"Time max. [% . s]", m_timeMax}};
    int row = 2;
    for (const auto &[caption, list] : rows) {
        o->addWidget(new QLabel(QString::fromLatin1(caption), options), row, 0);
        o->addWidget(list, row++, 1);
    }
    g1->addWidget(options, 0, 0, 1, 4);
    g1->addWidget(new QLabel(QStringLiteral("0x47-Start input"), group1), 1, 0);
    m_startInput = makeEdit(group1, "EStartInput", 11);
    g1->addWidget(m_startInput, 1, 1);
    m_readStartInput = makeButton(group1, "BReadStartInput", QStringLiteral("Read"));
    m_writeStartInput = makeButton(group1, "BWriteStartInput", QStringLiteral("Write"));
    g1->addWidget(m_readStartInput, 1, 2);
    g1->addWidget(m_writeStartInput, 1, 3);
    layout->addWidget(group1);

    // 2. Set once home reached: position and input (written with the options).
    auto *group2 = new QGroupBox(QStringLiteral("2. Set once home reached"), this);
    group2->setObjectName(QStringLiteral("GBValueSet"));
    auto *g2 = new QGridLayout(group2);
    m_position = makeEdit(group2, "EPosition", 0);
    m_input = makeEdit(group2, "EInput", 0);
    g2->addWidget(new QLabel(QStringLiteral("0x4B-Position"), group2), 0, 0);
    g2->addWidget(m_position, 0, 1);
    g2->addWidget(new QLabel(QStringLiteral("0x4C-Input"), group2), 1, 0);
    g2->addWidget(m_input, 1, 1);
    m_readValueSet = makeButton(group2, "BReadValueSet", QStringLiteral("Read"));
    m_writeValueSet = makeButton(group2, "BWriteValueSet", QStringLiteral("Write"));
    g2->addWidget(m_readValueSet, 0, 2);
    g2->addWidget(m_writeValueSet, 1, 2);
    layout->addWidget(group2);

    // 3. Run homing.
    auto *group3 = new QGroupBox(QStringLiteral("3. Run homing"), this);
    group3->setObjectName(QStringLiteral("GBRunHoming"));
    auto *g3 = new QGridLayout(group3);
    auto *warning = new QLabel(QStringLiteral("Warning !"), group3);
    warning->setStyleSheet(QStringLiteral("color: red; font-weight: bold"));
    g3->addWidget(warning, 0, 0);
    g3->addWidget(new QLabel(QStringLiteral("Save user param. before start."), group3), 1, 0);
    m_start = makeButton(group3, "BStart", QStringLiteral("Start"));
    m_stop = makeButton(group3, "BStop", QStringLiteral("Stop"));
    g3->addWidget(m_start, 0, 1, 2, 1);
    g3->addWidget(m_stop, 0, 2, 2, 1);
    layout->addWidget(group3);
    // The rule book's reason when it refused a Write or Start (nothing was sent).
    m_refusal = new QLabel(this);
    m_refusal->setObjectName(QStringLiteral("LWriteRefused"));
    m_refusal->setStyleSheet(QStringLiteral("color: red"));
    m_refusal->setWordWrap(true);
    layout->addWidget(m_refusal);
    layout->addStretch();

    connect(m_readValueSet, &QPushButton::clicked, this, &TFormCalibration::BReadValueSetClick);
    connect(m_readStartInput, &QPushButton::clicked, this, &TFormCalibration::BReadStartInputClick);
    connect(m_writeValueSet, &QPushButton::clicked, this, &TFormCalibration::BWriteValueSetClick);
    connect(m_writeStartInput, &QPushButton::clicked, this,
            &TFormCalibration::BWriteStartInputClick);
    connect(m_start, &QPushButton::clicked, this, &TFormCalibration::BStartClick);
    connect(m_stop, &QPushButton::clicked, this, &TFormCalibration::BStopClick);
    connect(m_startInput, &QLineEdit::textChanged, this,
            [this] { editChanged(m_startInput, m_writeStartInput); });
    connect(m_position, &QLineEdit::textChanged, this,
            [this] { editChanged(m_position, m_writeValueSet); });
    connect(m_input, &QLineEdit::textChanged, this,
            [this] { editChanged(m_input, m_writeValueSet); });
    connect(m_startInput, &QLineEdit::returnPressed, this,
            &TFormCalibration::BWriteStartInputClick);
    connect(m_position, &QLineEdit::returnPressed, this, &TFormCalibration::BWriteValueSetClick);
    connect(m_input, &QLineEdit::returnPressed, this, &TFormCalibration::BWriteValueSetClick);

    m_timerDisplay.setObjectName(QStringLiteral("TimerDisplay"));
    m_timerDisplay.setSingleShot(true);
    m_timerDisplay.setInterval(10);
    connect(&m_timerDisplay, &QTimer::timeout, this, &TFormCalibration::displayHoming);
    context.sessionBridge().setWindowDisplayTimer(SessionListener::Display::Calibration,
                                                  &m_timerDisplay);
    connect(&context, &WindowContext::deviceIdentified, this, &TFormCalibration::applyProfile);

    ConnectedControls &controls = context.connectedControls();
    for (QPushButton *button : {m_readValueSet, m_readStartInput, m_start, m_stop})
        controls.addWhileConnected(button);
    controls.addHook(this, [this](bool connected) { connectionSwitched(connected); });
    resize(380, 420);
}

void TFormCalibration::connectionSwitched(bool connected)
{
    m_writeValueSet->setEnabled(connected && m_valueSetValid);
    m_writeStartInput->setEnabled(connected && m_startInputValid);
    for (QWidget *w :
         {static_cast<QWidget *>(m_startInput), static_cast<QWidget *>(m_readStartInput)})
        w->setEnabled(m_startInputAllowed && (w == m_startInput || connected));
    if (!m_startInputAllowed)
        m_writeStartInput->setEnabled(false);
}

void TFormCalibration::applyProfile(const ModelProfile &profile)
{
    const QSignalBlocker blocker(m_type);
    for (int i = 0; i < HomingSetup::ListSize; ++i)
        m_type->setItemText(i, profile.homing.types[size_t(i)]);
    m_type->setCurrentIndex(profile.homing.selectedType);
    m_startInputAllowed = profile.homing.startInputEnabled;
    connectionSwitched(m_context.connectedControls().isConnected());
}

void TFormCalibration::editChanged(QLineEdit *edit, QPushButton *write)
{
    const bool valid = HomingSetup::parseValue(edit->text()).has_value();
    setEditValid(edit, valid);
    // The last edit changed decides its Write button.
    (write == m_writeValueSet ? m_valueSetValid : m_startInputValid) = valid;
    connectionSwitched(m_context.connectedControls().isConnected());
}

void TFormCalibration::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    if (event->spontaneous())
        return;
    BReadValueSetClick();
    BReadStartInputClick();
}

void TFormCalibration::BReadValueSetClick()
{
    HomingSetup::requestValueSet(m_context.session().motor());
}

void TFormCalibration::BReadStartInputClick()
{
    HomingSetup::requestStartInput(m_context.session().motor());
}

void TFormCalibration::BWriteValueSetClick()
{
    HomingSetup::Options o;
    o.type = m_type->currentIndex();
    o.autorun = m_autorun->isChecked();
    o.currentRatio = m_currentRatio->currentIndex();
    o.speedRatio = m_speedRatio->currentIndex();
    o.accelerationRatio = m_accelerationRatio->currentIndex();
    o.timeMax = m_timeMax->currentIndex();
    showOutcome(HomingSetup::writeValueSet(m_context.session(), o, m_position->text(),
                                           m_input->text()));
}

void TFormCalibration::BWriteStartInputClick()
{
    if (!m_startInputAllowed)
        return;
    showOutcome(HomingSetup::writeStartInput(m_context.session(), m_startInput->text()));
}

void TFormCalibration::BStartClick()
{
    showOutcome(HomingSetup::requestStart(m_context.session()));
}

void TFormCalibration::showOutcome(const HomingSetup::WriteOutcome &outcome)
{
    m_refusal->setText(outcome.refusal.isEmpty() ? QString()
                                                 : QStringLiteral("Not sent: ") + outcome.refusal);
}

void TFormCalibration::BStopClick()
{
    HomingSetup::requestStop(m_context.session().motor());
}

void TFormCalibration::displayHoming()
{
    CalibrationRecord values;
    {
        RegisterLockGuard guard(m_context.session().lock());
        values = m_context.session().Calibration;
    }
    const HomingSetup::Options o = HomingSetup::decode(values.HomingOptions);
    const std::pair<QComboBox *, int> lists[] = {{m_type, o.type},
                                                 {m_currentRatio, o.currentRatio},
                                                 {m_speedRatio, o.speedRatio},
                                                 {m_accelerationRatio, o.accelerationRatio},
                                                 {m_timeMax, o.timeMax}};
    for (const auto &[list, index] : lists) {
        const QSignalBlocker blocker(list);
        list->setCurrentIndex(index);
    }
    {
        const QSignalBlocker blocker(m_autorun);
        m_autorun->setChecked(o.autorun);
    }
    // The edits' checks run (their Write buttons follow).
    m_startInput->setText(QString::number(values.StartInput));
    m_position->setText(QString::number(values.HomingPosition));
    m_input->setText(QString::number(values.HomingInput));
}
