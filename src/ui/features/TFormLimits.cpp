// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/TFormLimits.h"

#include "ui/features/TFormRegOption.h"
#include "ui/widgets/WindowContext.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

using namespace LimitRegisters;

namespace {

const char *const ValueNames[4] = {"LSetupVal", "LCtrlModeVal", "LPositionVal", "LXInputVal"};
const char *const CaptionNames[4] = {"LSetup", "LCtrlMode", "LPosition", "LXInput"};

QSpinBox *spinEdit(const char *name)
{
    auto *spin = new QSpinBox;
    spin->setObjectName(QLatin1String(name));
    // The whole 32-bit range: a read -5000 must not be clamped and written back.
    spin->setRange(INT_MIN, INT_MAX);
    spin->setMinimumWidth(120);
    return spin;
}

void setLamp(QLabel *lamp, bool on)
{
    lamp->setStyleSheet(on ? QStringLiteral("background: #e00000; border: 1px solid #600000;")
                           : QStringLiteral("background: #d8d8d8; border: 1px solid #808080;"));
}

} // namespace

TFormLimits::TFormLimits(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormLimits"),
                 QStringLiteral("Limits switch management"))
    , m_context(context)
    , m_model(context.session())
{
    m_limit1 = new QRadioButton(QStringLiteral("Limit 1 [home]"));
    m_limit1->setObjectName(QStringLiteral("RBLimit1"));
    m_limit1->setChecked(true);
    m_limit2 = new QRadioButton(QStringLiteral("Limit 2"));
    m_limit2->setObjectName(QStringLiteral("RBLimit2"));
    connect(m_limit1, &QRadioButton::clicked, this, [this] { RBLimitClick(0); });
    connect(m_limit2, &QRadioButton::clicked, this, [this] { RBLimitClick(1); });

    m_read = new QPushButton(QStringLiteral("Read"));
    m_read->setObjectName(QStringLiteral("BRead"));
    m_write = new QPushButton(QStringLiteral("Write"));
    m_write->setObjectName(QStringLiteral("BUpdate"));
    connect(m_read, &QPushButton::clicked, this, &TFormLimits::BReadClick);
    connect(m_write, &QPushButton::clicked, this, &TFormLimits::BUpdateClick);

    m_regOptBit5 = new QCheckBox(QStringLiteral("Reg. Option - Bit 5 - Pull up/#down for limits"));
    m_regOptBit5->setObjectName(QStringLiteral("CBRegOptBit5"));
    connect(m_regOptBit5, &QCheckBox::clicked, this, &TFormLimits::CBRegOptBit5Click);

    auto *lamps = new QHBoxLayout;
    for (int i = 0; i < 2; ++i) {
        auto *lamp = new QLabel;
        lamp->setObjectName(QStringLiteral("LLimit%1Lamp").arg(i + 1));
        lamp->setFixedSize(14, 14);
        setLamp(lamp, false);
        lamp->setToolTip(QStringLiteral("Limit %1 active (warning register 0x08)").arg(i + 1));
        m_lamps[size_t(i)] = lamp;
        lamps->addWidget(lamp);
        lamps->addWidget(new QLabel(QStringLiteral("Limit %1 active").arg(i + 1)));
        lamps->addSpacing(12);
    }
    lamps->addStretch(1);

    auto *select = new QHBoxLayout;
    select->addWidget(m_limit1);
    select->addWidget(m_limit2);
    select->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_regOptBit5);
    buttons->addStretch(1);
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(select);
    layout->addWidget(buildLimitGroup());
    layout->addLayout(lamps);
    layout->addLayout(buttons);

    m_lampTimer.setInterval(LampPollMs);
    connect(&m_lampTimer, &QTimer::timeout, this, &TFormLimits::showLamps);
    // The written registers come back: the lines the device took lose their mark.
    m_readBackTimer.setInterval(ReadBackPollMs);
    connect(&m_readBackTimer, &QTimer::timeout, this, [this] {
        if (m_model.readBackArrived(m_readBackLimit, m_readBackNoted)) {
            m_readBackTimer.stop();
            displayLimits();
        } else if (++m_readBackTicks >= ReadBackTicks) {
            m_readBackTimer.stop(); // the marks stay: "Read" tells more
        }
    });
    // limitsArrived also drives the parameter-file save: connected, not consumed.
    connect(&context.sessionBridge(), &GuiSessionBridge::limitsArrived, this,
            &TFormLimits::displayLimits);
    registerControls();
    displayLimits();
    adjustSize();
}

QGroupBox *TFormLimits::buildLimitGroup()
{
    m_group = new QGroupBox(QStringLiteral("Limit 1"));
    m_group->setObjectName(QStringLiteral("GBLimit"));
    auto makeBox = [this](const char *name, const QString &text, uint32_t mask) {
        auto *box = new QCheckBox(text);
        box->setObjectName(QLatin1String(name));
        connect(box, &QCheckBox::clicked, this, [this, mask](bool checked) {
            m_model.setSetupBit(mask, checked);
            showLimitRegisters();
        });
        return box;
    };
    m_used = makeBox("CBUsed", QStringLiteral("Used"), UsedBit);
    m_activeOn1 = makeBox("CBActiveOn1", QStringLiteral("Active on 1"), ActiveOn1Bit);
    m_controlMode = makeBox("CBControlMode", QStringLiteral("Change control mode"), ControlModeBit);
    m_position = makeBox("CBPosition", QStringLiteral("Set new position"), PositionBit);

    m_xInput = new QComboBox;
    m_xInput->setObjectName(QStringLiteral("ComboBXInput"));
    for (int item = 0; item < 4; ++item)
        m_xInput->addItem(xInputCaption(item));
    connect(m_xInput, &QComboBox::activated, this, [this](int item) {
        m_model.setXInputItem(item);
        showLimitRegisters();
    });
    m_spinPosition = spinEdit("SpinEPosition");
    m_spinInput = spinEdit("SpinEInput");
    connect(m_spinPosition, &QSpinBox::valueChanged, this, [this](int value) {
        m_model.setPosition(value);
        showLimitRegisters();
    });
    connect(m_spinInput, &QSpinBox::valueChanged, this, [this](int value) {
        m_model.setXInput(value);
        showLimitRegisters();
    });

    auto *modes = new QGroupBox(QStringLiteral("Control mode"));
    modes->setObjectName(QStringLiteral("GBCtrlMode"));
    auto *modeLayout = new QVBoxLayout(modes);
    modeLayout->setSpacing(2);
    auto *exclusive = new QButtonGroup(this);
    for (int mode = 0; mode < ControlModeCount; ++mode) {
        auto *radio = new QRadioButton(controlModeCaption(mode));
        radio->setObjectName(QStringLiteral("RBCtrlMode%1").arg(mode + 1));
        exclusive->addButton(radio);
        connect(radio, &QRadioButton::clicked, this, [this, mode] {
            m_model.setControlMode(mode);
            showLimitRegisters();
        });
        modeLayout->addWidget(radio);
        m_modes[size_t(mode)] = radio;
    }
    m_modes[0]->setChecked(true);

    auto *left = new QGridLayout;
    left->addWidget(m_used, 0, 0, 1, 2);
    left->addWidget(m_activeOn1, 1, 0, 1, 2);
    left->addWidget(m_controlMode, 2, 0, 1, 2);
    left->addWidget(m_position, 3, 0);
    left->addWidget(m_spinPosition, 3, 1);
    left->addWidget(new QLabel(QStringLiteral("X input")), 4, 0);
    left->addWidget(m_xInput, 4, 1);
    left->addWidget(new QLabel(QStringLiteral("X input value")), 5, 0);
    left->addWidget(m_spinInput, 5, 1);
    left->setRowStretch(6, 1);

    auto *hex = new QGridLayout;
    hex->setVerticalSpacing(2);
    for (int i = 0; i < 4; ++i) {
        m_captions[size_t(i)] = new QLabel;
        m_captions[size_t(i)]->setObjectName(QLatin1String(CaptionNames[i]));
        m_values[size_t(i)] = new QLabel;
        m_values[size_t(i)]->setObjectName(QLatin1String(ValueNames[i]));
        m_values[size_t(i)]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        hex->addWidget(m_captions[size_t(i)], i, 0);
        hex->addWidget(m_values[size_t(i)], i, 1);
    }
    hex->setColumnStretch(2, 1);

    auto *top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addWidget(modes);
    auto *layout = new QVBoxLayout(m_group);
    layout->addLayout(top);
    layout->addLayout(hex);
    return m_group;
}

void TFormLimits::registerControls()
{
    ConnectedControls &controls = m_context.connectedControls();
    controls.addWhileConnected(m_read);
    controls.addWhileConnected(m_write);
    controls.addWhileConnected(m_regOptBit5);
    controls.addHook(this, [this](bool connected) {
        if (connected && isVisible())
            m_lampTimer.start();
        else
            m_lampTimer.stop();
        if (!connected)
            for (QLabel *lamp : m_lamps)
                setLamp(lamp, false);
    });
}

void TFormLimits::attachOptions(TFormRegOption &options)
{
    m_options = &options;
    connect(&options, &TFormRegOption::optionBit5Changed, this, [this](bool checked) {
        const QSignalBlocker blocker(m_regOptBit5);
        m_regOptBit5->setChecked(checked);
    });
}

// --- Handlers ----------------------------------------------------------------------

void TFormLimits::RBLimitClick(int limit)
{
    m_model.showLimit(limit);
    displayLimits();
}

void TFormLimits::BReadClick()
{
    m_model.requestRead();
}

void TFormLimits::BUpdateClick()
{
    m_readBackLimit = m_model.shownLimit();
    m_readBackNoted = m_model.write();
    m_readBackTicks = 0;
    m_readBackTimer.start();
}

void TFormLimits::CBRegOptBit5Click(bool checked)
{
    // The options window's box takes the state; its click writes 0x2C.
    if (m_options)
        m_options->clickBit(OptionRegisters::LimitPullUpBit, checked);
}

// --- Display -----------------------------------------------------------------------

void TFormLimits::displayLimits()
{
    const int limit = m_model.shownLimit();
    const LimitSettings s = m_model.settings(limit);
    const LimitSetupBits bits = decodeSetup(s.Setup);
    m_group->setTitle(limit == 1 ? QStringLiteral("Limit 2") : QStringLiteral("Limit 1"));
    {
        // Rendering only: the controls' own handlers would write the values back.
        const QSignalBlocker b1(m_spinPosition), b2(m_spinInput), b3(m_xInput);
        m_used->setChecked(bits.used);
        m_activeOn1->setChecked(bits.activeOn1);
        m_controlMode->setChecked(bits.controlMode);
        m_position->setChecked(bits.position);
        m_xInput->setCurrentIndex(bits.xInputItem);
        m_spinPosition->setValue(s.Position);
        m_spinInput->setValue(s.XInput);
        // A mode above 5 shows in hexadecimal only; the radios stay as they were.
        if (const std::optional<int> radio = controlModeRadio(s.ControlMode))
            m_modes[size_t(*radio)]->setChecked(true);
    }
    (limit == 1 ? m_limit2 : m_limit1)->setChecked(true);
    showLimitRegisters();
}

void TFormLimits::showLimitRegisters()
{
    const int limit = m_model.shownLimit();
    const std::array<LimitLine, 4> lines = LimitRegisters::lines(limit, m_model.settings(limit));
    const std::array<bool, 4> changed = m_model.changedLines();
    for (size_t i = 0; i < 4; ++i) {
        m_captions[i]->setText(lines[i].caption);
        m_values[i]->setText(lines[i].hex);
        // What "Write" will change differs from the last value received.
        m_values[i]->setStyleSheet(changed[i] ? QStringLiteral("color: #0000c0; font-weight: bold")
                                              : QString());
        m_values[i]->setToolTip(changed[i] ? QStringLiteral("Differs from the value last read")
                                           : QString());
    }
}

void TFormLimits::showLamps()
{
    const std::array<bool, 2> active = m_model.limitWarnings();
    for (size_t i = 0; i < 2; ++i)
        setLamp(m_lamps[i], active[i]);
    m_model.requestWarnings();
}

void TFormLimits::showEvent(QShowEvent *event)
{
    ToolWindow::showEvent(event);
    if (m_context.connectedControls().isConnected())
        m_lampTimer.start();
}

void TFormLimits::hideEvent(QHideEvent *event)
{
    m_lampTimer.stop();
    ToolWindow::hideEvent(event);
}
