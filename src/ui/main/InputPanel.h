// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/AutoChangeTick.h"

#include <QGroupBox>

#include <array>

class ConsignModel;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class WindowContext;
struct ModeClickResult;

/// The input group "0x21-Input" of the main window: the three consign edits
/// with their "GO" buttons and "Read", the input track bar with its range
/// edits, and the auto-change choice, step and timer. It wires the controls
/// to the window's ConsignModel and applies the ticks of the auto-change
/// thread, which the window context hands over to the user-interface thread.
class InputPanel : public QGroupBox
{
    Q_OBJECT

public:
    explicit InputPanel(WindowContext &context);

    QLineEdit *consEdit() const { return m_cons[0]; }
    QSlider *trackBar() const { return m_track; }

    /// A mode button was clicked: the group caption and, when the mode has a
    /// range, the "Min" and "Max" texts follow it.
    void showMode(const ModeClickResult &result);

    /// Selects auto change "No": focus when enabled, then checked (which
    /// suspends the auto-change thread).
    void selectAutoChangeOff();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildLayout();
    void wireControls();
    void registerConnectedControls();

    /// One tick of the auto-change thread, on the user-interface thread.
    void applyAutoChange(const AutoChangeUpdate &update);

    void EConsChange(int index);
    void EConsEnter(int index);
    void BReadInputClick();
    void TBConsChange(int position);
    void CBActiveTBConsClick(bool checked);
    void ETBConsMinChange();
    void ETBConsMaxChange();
    void ETBConsMinEnter();
    void ETBConsMaxEnter();
    void autoChangeClicked(AutoChange choice);
    void EAutoChangeStepChange();
    void EAutoChangeStepEnter();
    void ETimerAutoChangeChange();
    void ETimerAutoChangeEnter();
    void connectionOpened();
    void updateGoButtons();

    WindowContext &m_context;
    ConsignModel &m_model;

    std::array<QLineEdit *, 3> m_cons{};
    std::array<QPushButton *, 3> m_go{};
    QPushButton *m_readInput = nullptr;
    QSlider *m_track = nullptr;
    QCheckBox *m_activeTrack = nullptr;
    QLineEdit *m_min = nullptr;
    QLineEdit *m_max = nullptr;
    QGroupBox *m_autoGroup = nullptr;
    QRadioButton *m_autoNo = nullptr;
    QRadioButton *m_autoMinMax = nullptr;
    QRadioButton *m_autoStep = nullptr;
    QLineEdit *m_stepEdit = nullptr;
    QLineEdit *m_timerEdit = nullptr;
};
