// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/TFormRegOption.h"

#include "device/ModelProfile.h"
#include "ui/widgets/EditColour.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

using namespace OptionRegisters;

namespace {

constexpr int CurrentMaxLength = 8; ///< characters the user may type into ECurrentMax
constexpr int InputLimitLength = 11;

QPushButton *button(const char *name, const QString &text)
{
    auto *b = new QPushButton(text);
    b->setObjectName(QLatin1String(name));
    return b;
}

QLabel *label(const QString &text, const char *name = nullptr)
{
    auto *l = new QLabel(text);
    if (name)
        l->setObjectName(QLatin1String(name));
    return l;
}

QHBoxLayout *buttonRow(QPushButton *read, QPushButton *write)
{
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(read);
    if (write)
        row->addWidget(write);
    return row;
}

/// A typing limit that, unlike QLineEdit::setMaxLength, leaves texts set by
/// code whole (a received value is never cut).
void limitTyping(QLineEdit *edit, int characters)
{
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("^.{0,%1}$").arg(characters)), edit));
}

QSlider *trackBar(const char *name, int minimum, int maximum)
{
    auto *t = new QSlider(Qt::Horizontal);
    t->setObjectName(QLatin1String(name));
    t->setRange(minimum, maximum);
    t->setTickPosition(QSlider::TicksBelow);
    t->setTickInterval(50);
    t->setPageStep(10);
    t->setMinimumWidth(150);
    return t;
}

} // namespace

TFormRegOption::TFormRegOption(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormRegOption"), QStringLiteral("Options"))
    , m_context(context)
    , m_model(context.session())
{
    m_timerDisplay.setObjectName(QStringLiteral("TimerDisplay"));
    m_timerDisplay.setSingleShot(true);
    m_timerDisplay.setInterval(10);
    connect(&m_timerDisplay, &QTimer::timeout, this, &TFormRegOption::TimerDisplayTimer);
    context.sessionBridge().setWindowDisplayTimer(SessionListener::Display::Options,
                                                  &m_timerDisplay);
    connect(&context.sessionBridge(), &GuiSessionBridge::directValueArrived, this,
            &TFormRegOption::directValueArrived);
    connect(&context, &WindowContext::deviceIdentified, this, &TFormRegOption::applyProfile);

    auto *right = new QVBoxLayout;
    right->addWidget(buildOutputsGroup());
    right->addWidget(buildInputGroup());
    right->addWidget(buildDissipationGroup());
    right->addWidget(buildStandbyGroup());
    right->addStretch(1);
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(buildOptionGroup(), 0, Qt::AlignTop);
    layout->addLayout(right);

    // Start-up profile: the identification's defaults.
    applyProfile(ModelProfile{});
    registerControls();
    adjustSize();
}

TFormRegOption::~TFormRegOption()
{
    m_context.sessionBridge().setWindowDisplayTimer(SessionListener::Display::Options, nullptr);
}

// --- Construction ------------------------------------------------------------------

QGroupBox *TFormRegOption::buildOptionGroup()
{
    auto *group = new QGroupBox(QStringLiteral("0x2C-Option register"));
    group->setObjectName(QStringLiteral("GBOption"));
    auto *grid = new QGridLayout;
    grid->setVerticalSpacing(2);
    constexpr int Rows = 13;
    for (int bit = 0; bit < BitCount; ++bit) {
        auto *box = new QCheckBox(bitCaption(bit));
        box->setObjectName(QStringLiteral("CBBit%1").arg(bit));
        connect(box, &QCheckBox::clicked, this, [this, bit] { BitCBClick(bit); });
        grid->addWidget(box, bit % Rows, bit / Rows);
        m_bits[size_t(bit)] = box;
    }
    m_readOption = button("BReadOption", QStringLiteral("Read"));
    connect(m_readOption, &QPushButton::clicked, this, [this] { m_model.requestOptions(); });
    m_unusedNote = label(QString(), "LOptionNote");
    m_unusedNote->setWordWrap(true);
    m_unusedNote->setStyleSheet(QStringLiteral("color: #a00000"));
    m_unusedNote->hide();

    auto *layout = new QVBoxLayout(group);
    layout->addLayout(grid);
    layout->addWidget(m_unusedNote);
    layout->addLayout(buttonRow(m_readOption, nullptr));
    return group;
}

QGroupBox *TFormRegOption::buildOutputsGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Outputs max."));
    group->setObjectName(QStringLiteral("GBOutputsMax"));

    m_currentMax = new QLineEdit(QStringLiteral("0.0"));
    m_currentMax->setObjectName(QStringLiteral("ECurrentMax"));
    limitTyping(m_currentMax, CurrentMaxLength);
    m_currentMax->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("00000.00000"))
                                + 12);
    connect(m_currentMax, &QLineEdit::textChanged, this, &TFormRegOption::ECurrentMaxChange);
    connect(m_currentMax, &QLineEdit::textEdited, this, &TFormRegOption::currentMaxEdited);
    connect(m_currentMax, &QLineEdit::returnPressed, this, &TFormRegOption::BWriteOutputsMaxClick);

    m_outVoltageGroup = new QGroupBox(QStringLiteral("0x2E-Output voltage max."));
    m_outVoltageGroup->setObjectName(QStringLiteral("GBOutVoltageMax"));
    m_outVoltage = trackBar("TBOutVoltageMax", VoltageMinimum, VoltageMaximum);
    m_outVoltageActive = new QCheckBox(QStringLiteral("Active"));
    m_outVoltageActive->setObjectName(QStringLiteral("CBOutVoltageMax"));
    m_outVoltageValue = label(voltageText(VoltageMinimum), "LOutVoltageMaxVal");
    m_outVoltageValue->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("55.0")));
    m_outVoltageValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(m_outVoltage, &QSlider::valueChanged, this, [this](int position) {
        // TBOutVoltageMaxChange: the label, and the mirrors.
        m_outVoltageValue->setText(voltageText(position));
        emit outputVoltagePositionChanged(position);
    });
    connect(m_outVoltageActive, &QCheckBox::clicked, this, &TFormRegOption::CBOutVoltageMaxClick);
    auto *voltage = new QGridLayout(m_outVoltageGroup);
    voltage->addWidget(m_outVoltage, 0, 0);
    voltage->addWidget(m_outVoltageValue, 0, 1);
    voltage->addWidget(label(QStringLiteral("[V]")), 0, 2);
    voltage->addWidget(m_outVoltageActive, 1, 0);

    m_readOutputs = button("BReadOutputsMax", QStringLiteral("Read"));
    m_writeOutputs = button("BWriteOutputsMax", QStringLiteral("Write"));
    connect(m_readOutputs, &QPushButton::clicked, this, [this] { m_model.requestOutputsMax(); });
    connect(m_writeOutputs, &QPushButton::clicked, this, &TFormRegOption::BWriteOutputsMaxClick);

    auto *current = new QHBoxLayout;
    current->addWidget(label(QStringLiteral("0x2A-Current max. peak"), "LCurrentMax"));
    current->addStretch(1);
    current->addWidget(m_currentMax);
    current->addWidget(label(QStringLiteral("[A]")));
    auto *layout = new QVBoxLayout(group);
    layout->addLayout(current);
    layout->addWidget(m_outVoltageGroup);
    layout->addLayout(buttonRow(m_readOutputs, m_writeOutputs));
    return group;
}

QGroupBox *TFormRegOption::buildInputGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Input software limitation"));
    group->setObjectName(QStringLiteral("GBInputLimit"));
    auto makeEdit = [this](const char *name, bool isMin) {
        auto *edit = new QLineEdit(QStringLiteral("0"));
        edit->setObjectName(QLatin1String(name));
        limitTyping(edit, InputLimitLength);
        edit->setMaximumWidth(110);
        connect(edit, &QLineEdit::textEdited, this,
                [this, isMin] { inputLimitChange(isMin, true); });
        connect(edit, &QLineEdit::returnPressed, this, &TFormRegOption::BWriteInputLimitClick);
        return edit;
    };
    m_inputMin = makeEdit("EInputMin", true);
    m_inputMax = makeEdit("EInputMax", false);
    m_inputEdits.minText = m_inputMin->text();
    m_inputEdits.maxText = m_inputMax->text();
    m_readInput = button("BReadInputLimit", QStringLiteral("Read"));
    m_writeInput = button("BWriteInputLimit", QStringLiteral("Write"));
    connect(m_readInput, &QPushButton::clicked, this, [this] { m_model.requestInputLimits(); });
    connect(m_writeInput, &QPushButton::clicked, this, &TFormRegOption::BWriteInputLimitClick);

    auto *grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("0x24-Min")), 0, 0);
    grid->addWidget(m_inputMin, 0, 1);
    grid->addWidget(label(QStringLiteral("0x25-Max")), 1, 0);
    grid->addWidget(m_inputMax, 1, 1);
    grid->setColumnStretch(0, 1);
    auto *layout = new QVBoxLayout(group);
    layout->addLayout(grid);
    layout->addLayout(buttonRow(m_readInput, m_writeInput));
    return group;
}

QGroupBox *TFormRegOption::buildDissipationGroup()
{
    m_dissipationBox = new QGroupBox(QStringLiteral("0x2F-Power dissipation"));
    m_dissipationBox->setObjectName(QStringLiteral("GBDissipationVoltage"));
    m_dissipation = trackBar("TBDissipationVoltage", DissipationMinimum, DissipationMaximum);
    m_dissipationValue = label(voltageText(DissipationMinimum), "LDissipationVoltageVal");
    m_dissipationValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_dissipationValue->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("55.0")));
    connect(m_dissipation, &QSlider::valueChanged, this,
            [this](int position) { m_dissipationValue->setText(voltageText(position)); });
    m_readDissipation = button("BReadDissipationVoltage", QStringLiteral("Read"));
    m_writeDissipation = button("BWriteDissipationVoltage", QStringLiteral("Write"));
    connect(m_readDissipation, &QPushButton::clicked, this,
            [this] { m_model.requestDissipation(); });
    connect(m_writeDissipation, &QPushButton::clicked, this,
            [this] { m_model.writeDissipation(m_dissipation->value()); });

    auto *grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("Dissipation voltage")), 0, 0, 1, 3);
    grid->addWidget(m_dissipation, 1, 0);
    grid->addWidget(m_dissipationValue, 1, 1);
    grid->addWidget(label(QStringLiteral("[V]")), 1, 2);
    auto *layout = new QVBoxLayout(m_dissipationBox);
    layout->addLayout(grid);
    layout->addLayout(buttonRow(m_readDissipation, m_writeDissipation));
    return m_dissipationBox;
}

QGroupBox *TFormRegOption::buildStandbyGroup()
{
    auto *group = new QGroupBox(QStringLiteral("0x0D-Standby timer"));
    group->setObjectName(QStringLiteral("GBStandbyTimer"));
    m_standby = new QLineEdit(QStringLiteral("0"));
    m_standby->setObjectName(QStringLiteral("EStandbyTimer"));
    m_standby->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    connect(m_standby, &QLineEdit::textChanged, this, &TFormRegOption::EStandbyTimerChange);
    connect(m_standby, &QLineEdit::returnPressed, this, &TFormRegOption::BWriteStandbyTimerClick);
    m_readStandby = button("BReadStandbyTimer", QStringLiteral("Read"));
    m_writeStandby = button("BWriteStandbyTimer", QStringLiteral("Write"));
    connect(m_readStandby, &QPushButton::clicked, this, [this] { m_model.requestStandby(); });
    connect(m_writeStandby, &QPushButton::clicked, this, &TFormRegOption::BWriteStandbyTimerClick);

    auto *row = new QHBoxLayout;
    row->addWidget(m_standby);
    row->addWidget(label(QStringLiteral("[ms]")));
    row->addStretch(1);
    row->addWidget(m_readStandby);
    row->addWidget(m_writeStandby);
    auto *layout = new QVBoxLayout(group);
    layout->addLayout(row);
    return group;
}

void TFormRegOption::registerControls()
{
    ConnectedControls &controls = m_context.connectedControls();
    for (QCheckBox *box : m_bits)
        controls.addWhileConnected(box);
    for (QWidget *w : std::initializer_list<QWidget *>{
             m_readOption, m_currentMax, m_outVoltage, m_outVoltageActive, m_readOutputs,
             m_writeOutputs, m_inputMin, m_inputMax, m_readInput, m_writeInput, m_dissipation,
             m_readDissipation, m_writeDissipation, m_standby, m_readStandby, m_writeStandby})
        controls.addWhileConnected(w);
    // What the model, a bit or an invalid edit keeps disabled goes back to disabled.
    controls.addHook(this, [this](bool) { applyEnabledStates(); });
}

// --- Enabled states ----------------------------------------------------------------

void TFormRegOption::applyProfile(const ModelProfile &profile)
{
    m_model.setMaxPeakCurrent(profile.maxPeakCurrent);
    m_profileBoxes = profile.optionBoxes;
    m_outputVoltageGroup = profile.outputVoltageMaxEnabled;
    m_dissipationGroup = profile.dissipationVoltageEnabled;
    ECurrentMaxChange(); // the limit changed
    applyEnabledStates();
}

void TFormRegOption::applyEnabledStates()
{
    const bool connected = m_context.connectedControls().isConnected();
    const Bits bits = boxes();
    for (int bit = 0; bit < BitCount; ++bit)
        m_bits[size_t(bit)]->setEnabled(connected && m_profileBoxes.test(size_t(bit)));
    // The profile's groups are disabled at the group box, so that a 0x2E
    // answer enabling the bar cannot bring it back on such a model.
    m_outVoltageGroup->setEnabled(m_outputVoltageGroup);
    m_dissipationBox->setEnabled(m_dissipationGroup);

    m_outVoltage->setEnabled(connected && m_outVoltageActive->isChecked());
    m_writeOutputs->setEnabled(connected && m_currentValid);
    m_writeInput->setEnabled(connected && m_inputEdits.writeEnabled());
    const bool dissipation = connected && dissipationWritable(true, bits);
    m_writeDissipation->setEnabled(dissipation);
    m_dissipation->setEnabled(dissipation);
    const bool standby = connected && standbyEditable(bits);
    m_standby->setEnabled(standby);
    m_readStandby->setEnabled(standby);
    m_writeStandby->setEnabled(standby && m_standbyValid);
}

Bits TFormRegOption::boxes() const
{
    Bits bits{};
    for (int bit = 0; bit < BitCount; ++bit)
        bits[size_t(bit)] = m_bits[size_t(bit)]->isChecked();
    return bits;
}

// --- Option bits -------------------------------------------------------------------

void TFormRegOption::BitCBClick(int bit)
{
    if (bit == LimitPullUpBit)
        emit optionBit5Changed(m_bits[size_t(LimitPullUpBit)]->isChecked());
    applyEnabledStates();
    m_model.writeOptionBits(boxes());
    m_unusedNote->hide();
}

void TFormRegOption::clickBit(int bit, bool checked)
{
    if (bit < 0 || bit >= BitCount)
        return;
    if (!m_bits[size_t(bit)]->isEnabled()) {
        // Refused: the mirror goes back to the box's state.
        if (bit == LimitPullUpBit)
            emit optionBit5Changed(m_bits[size_t(bit)]->isChecked());
        return;
    }
    m_bits[size_t(bit)]->setChecked(checked);
    BitCBClick(bit);
}

// --- Outputs max -------------------------------------------------------------------

void TFormRegOption::setCurrentMaxText(const QString &text)
{
    if (m_currentMax->text() != text)
        m_currentMax->setText(text); // checked by ECurrentMaxChange
}

void TFormRegOption::ECurrentMaxChange()
{
    if (const std::optional<QString> cut = cutToFiveDecimals(m_currentMax->text())) {
        const QSignalBlocker blocker(m_currentMax);
        m_currentMax->setText(*cut);
        m_currentMax->setCursorPosition(int(cut->size()));
    }
    m_currentValid = currentRaw(m_currentMax->text(), m_model.maxPeakCurrent()).has_value();
    setEditValid(m_currentMax, m_currentValid);
    m_writeOutputs->setEnabled(m_context.connectedControls().isConnected() && m_currentValid);
}

void TFormRegOption::BWriteOutputsMaxClick()
{
    // Re-checked here: a refused value sends nothing.
    m_model.writeOutputsMax(m_currentMax->text(), m_outVoltageActive->isChecked(),
                            m_outVoltage->value());
}

void TFormRegOption::CBOutVoltageMaxClick(bool checked)
{
    m_outVoltage->setEnabled(m_context.connectedControls().isConnected() && checked);
    emit outputVoltageActiveChanged(checked);
}

void TFormRegOption::setOutputVoltagePosition(int position)
{
    m_outVoltage->setValue(position);
}

void TFormRegOption::setOutputVoltageActive(bool active)
{
    if (m_outVoltageActive->isChecked() == active)
        return;
    m_outVoltageActive->setChecked(active);
    CBOutVoltageMaxClick(active);
}

// --- Input limits and standby ------------------------------------------------------

void TFormRegOption::inputLimitChange(bool minEdited, bool typing)
{
    m_inputEdits.minText = m_inputMin->text();
    m_inputEdits.maxText = m_inputMax->text();
    inputLimitChanged(m_inputEdits, minEdited, typing);
    setEditValid(m_inputMin, !m_inputEdits.minRed);
    setEditValid(m_inputMax, !m_inputEdits.maxRed);
    m_writeInput->setEnabled(m_context.connectedControls().isConnected()
                             && m_inputEdits.writeEnabled());
}

void TFormRegOption::BWriteInputLimitClick()
{
    m_model.writeInputLimits(m_inputMin->text(), m_inputMax->text());
}

void TFormRegOption::EStandbyTimerChange()
{
    m_standbyValid = standbyValue(m_standby->text()).has_value();
    setEditValid(m_standby, m_standbyValid);
    m_writeStandby->setEnabled(m_context.connectedControls().isConnected()
                               && standbyEditable(boxes()) && m_standbyValid);
}

void TFormRegOption::BWriteStandbyTimerClick()
{
    if (!standbyEditable(boxes()))
        return;
    m_model.writeStandby(m_standby->text());
}

// --- Display -----------------------------------------------------------------------

void TFormRegOption::TimerDisplayTimer()
{
    m_timerDisplay.stop();
    displayOptions();
}

void TFormRegOption::displayOptions()
{
    const OptionsModel::Shown shown = m_model.shown();
    // setChecked emits no clicked(): nothing is written by the display.
    const Bits bits = decode(shown.optionBits);
    for (int bit = 0; bit < BitCount; ++bit)
        m_bits[size_t(bit)]->setChecked(bits[size_t(bit)]);
    emit optionBit5Changed(bits[size_t(LimitPullUpBit)]);
    if (hasUnusedBits(shown.optionBits)) {
        m_unusedNote->setText(QStringLiteral("Bits 25..31 read as 0x%1: the next click writes "
                                             "them as 0.")
                                  .arg(QString::number(shown.optionBits >> 25, 16).toUpper()));
        m_unusedNote->show();
    } else {
        m_unusedNote->hide();
    }
    applyEnabledStates();

    m_standby->setText(QString::number(shown.standby));
    m_inputMin->setText(QString::number(shown.inputMin));
    inputLimitChange(true, false);
    m_inputMax->setText(QString::number(shown.inputMax));
    inputLimitChange(false, false);
}

void TFormRegOption::directValueArrived(SessionListener::DirectValue value)
{
    const OptionsModel::Direct direct = m_model.direct();
    switch (value) {
    case SessionListener::DirectValue::CurrentMax: {
        // The whole text, whatever its length; the change check runs.
        const QString text = currentText(direct.currentMax);
        m_currentMax->setText(text);
        emit currentMaxArrived(text);
        break;
    }
    case SessionListener::DirectValue::OutputVoltageMax: {
        const bool active = direct.outputVoltage != VoltageInactive;
        if (active)
            // Beyond the bar's range: at its end.
            m_outVoltage->setValue(
                std::clamp(voltagePosition(direct.outputVoltage), VoltageMinimum, VoltageMaximum));
        m_outVoltageActive->setChecked(active);
        CBOutVoltageMaxClick(active);
        break;
    }
    case SessionListener::DirectValue::DissipationVoltage:
        m_dissipation->setValue(std::clamp(voltagePosition(direct.dissipation), DissipationMinimum,
                                           DissipationMaximum));
        break;
    default:
        break;
    }
}
