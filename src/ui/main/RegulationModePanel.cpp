// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/RegulationModePanel.h"

#include "device/ModelProfile.h"
#include "panel/DisplayText.h"
#include "ui/main/MainPanelSlot.h"
#include "ui/widgets/ConnectedControls.h"
#include "ui/widgets/WindowContext.h"

#include <QPointer>
#include <QRadioButton>
#include <QVBoxLayout>

RegulationModePanel::RegulationModePanel(WindowContext &context)
    : QGroupBox(QStringLiteral("0x20-Regul. mode"))
    , m_context(context)
    , m_model(context.consignModel())
{
    setObjectName(QStringLiteral("GBRegulationMode"));
    setFixedSize(reservedSize(MainPanelSlot::RegulationMode));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 2, 4, 4);
    layout->setSpacing(0);
    for (const ModeInfo &info : modeTable()) {
        auto *button = new QRadioButton(QLatin1String(info.caption), this);
        button->setObjectName(QLatin1String(info.buttonName));
        const RegulationMode mode = info.mode;
        // Checking a button from the code runs its click behaviour as well; the
        // display marks itself (beginModeDisplay), so that no mode is written.
        connect(button, &QRadioButton::toggled, this, [this, mode](bool on) {
            if (on)
                modeButtonClick(mode);
        });
        layout->addWidget(button);
        m_buttons[size_t(info.mode)] = button;
    }

    // The hook stays with the window; it does nothing once the panel is replaced.
    context.frame().setDisplayHook(DisplayStep::RegulationMode,
                                   [panel = QPointer<RegulationModePanel>(this)](
                                       const DisplayUpdate &update, const ReceivedValues &) {
                                       if (panel && update.regulationMode)
                                           panel->showMode(*update.regulationMode);
                                   });
    connect(&context, &WindowContext::deviceIdentified, this, &RegulationModePanel::applyProfile);
    // A STOP that went out shows as the display of a received "Driver Stop".
    connect(&context, &WindowContext::driverStopped, this, [this](bool sent) {
        if (sent)
            showMode(int32_t(RegulationMode::DriverStop));
    });
    // Enabled while connected, and only the buttons the model offers.
    context.connectedControls().addHook(this, [this](bool) { updateEnabled(); });
}

void RegulationModePanel::modeButtonClick(RegulationMode mode)
{
    QRadioButton *clicked = button(mode);
    const ModeClickResult result = m_model.modeClicked(
        mode, clicked->isEnabled(), m_context.stepperUnits(), m_positionAxisMinimum);
    emit modeClicked(result);

    QList<int> redTitles;
    for (int index = 0; index < RegulationParameterCount; ++index)
        if (result.redTitles[size_t(index)])
            redTitles.append(index);
    emit m_context.parameterTitlesColoured(redTitles);

    switch (result.positionAxis) {
    case PositionAxisRule::Automatic:
        emit m_context.positionAxisAutomatic();
        break;
    case PositionAxisRule::FixedToRange:
        m_positionAxisMinimum = result.positionAxisRange.minimum;
        emit m_context.positionAxisRequested(result.positionAxisRange);
        break;
    case PositionAxisRule::Unchanged:
        break;
    }
}

void RegulationModePanel::selectMode(RegulationMode mode)
{
    QRadioButton *selected = button(mode);
    if (!selected->isEnabled() || selected->isChecked())
        return;
    selected->setChecked(true);
}

void RegulationModePanel::showMode(int32_t value)
{
    // The button is checked as it is: its click behaviour runs and, with the
    // display marked, writes nothing. Neither focused nor disabled on the way,
    // so the keyboard focus stays where the user left it (disabling a focused
    // button would hand the focus on, to the consign edit).
    m_model.beginModeDisplay();
    if (const std::optional<RegulationMode> mode = ConsignModel::modeToShow(value)) {
        QRadioButton *shown = button(*mode);
        if (!shown->isChecked())
            shown->setChecked(true);
    }
    m_model.endModeDisplay();
}

void RegulationModePanel::applyProfile(const ModelProfile &profile)
{
    for (size_t i = 0; i < m_offered.size(); ++i)
        m_offered[i] = profile.modeButtons[i];
    updateEnabled();
}

void RegulationModePanel::updateEnabled()
{
    const bool connected = m_context.connectedControls().isConnected();
    for (size_t i = 0; i < m_buttons.size(); ++i)
        m_buttons[i]->setEnabled(connected && m_offered[i]);
}
