// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/HomingSetup.h"
#include "ui/widgets/ToolWindow.h"

#include <QTimer>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class WindowContext;
struct ModelProfile;

/// The homing window: the homing options (0x48) and start input (0x47), the
/// position and input set once home is reached (0x4B, 0x4C), and the Start
/// and Stop commands (0x49, 0x4A). Each showing re-reads the registers.
class TFormCalibration : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormCalibration(WindowContext &context);

    void BReadValueSetClick();
    void BReadStartInputClick();
    void BWriteValueSetClick();
    void BWriteStartInputClick();
    void BStartClick();
    void BStopClick();
    /// Shows the last decoded homing values (the display timer's tick).
    void displayHoming();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void applyProfile(const ModelProfile &profile);
    void editChanged(QLineEdit *edit, QPushButton *write);
    void connectionSwitched(bool connected);
    void showOutcome(const HomingSetup::WriteOutcome &outcome);

    WindowContext &m_context;
    QComboBox *m_type;
    QCheckBox *m_autorun;
    QComboBox *m_currentRatio;
    QComboBox *m_speedRatio;
    QComboBox *m_accelerationRatio;
    QComboBox *m_timeMax;
    QLineEdit *m_startInput;
    QLineEdit *m_position;
    QLineEdit *m_input;
    QPushButton *m_readStartInput;
    QPushButton *m_writeStartInput;
    QPushButton *m_readValueSet;
    QPushButton *m_writeValueSet;
    QPushButton *m_start;
    QPushButton *m_stop;
    QLabel *m_refusal;
    bool m_startInputAllowed = false;
    bool m_valueSetValid = true;
    bool m_startInputValid = true;
    QTimer m_timerDisplay;
};
