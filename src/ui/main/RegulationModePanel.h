// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/ConsignModel.h"
#include "panel/ModeTable.h"

#include <QGroupBox>

#include <array>

class QRadioButton;
class WindowContext;
struct ModelProfile;

/// The group "0x20-Regul. mode" of the main window: the seven mode buttons.
/// A click writes the mode and adapts the input group, the parameter titles
/// and the position chart; the display routine shows received modes on them.
class RegulationModePanel : public QGroupBox
{
    Q_OBJECT

public:
    explicit RegulationModePanel(WindowContext &context);

    QRadioButton *button(RegulationMode mode) const { return m_buttons[size_t(mode)]; }

    /// Selects \a mode as an enabled click of its button: ticking it runs the
    /// mode change, which writes the mode. A disabled or ticked button: nothing.
    void selectMode(RegulationMode mode);

    /// Shows a received mode (display routine): the button of \a value is
    /// checked without writing; 7 and above change nothing.
    void showMode(int32_t value);

signals:
    /// A mode button's click behaviour ran (user click or display).
    void modeClicked(const ModeClickResult &result);

private:
    void modeButtonClick(RegulationMode mode);
    void applyProfile(const ModelProfile &profile);
    void updateEnabled();

    WindowContext &m_context;
    ConsignModel &m_model;
    std::array<QRadioButton *, RegulationModeCount> m_buttons{};
    /// The buttons the identified model offers (enabled while connected).
    std::array<bool, RegulationModeCount> m_offered{true, true, true, true, true, true, false};
    /// The position chart's left-axis minimum as last set from here (its start value).
    double m_positionAxisMinimum = -200;
};
