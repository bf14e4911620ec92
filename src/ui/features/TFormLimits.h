// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/LimitsModel.h"
#include "ui/widgets/ToolWindow.h"

#include <QTimer>

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class WindowContext;
class TFormRegOption;

/// The limits window: what the controller does when a limit input becomes
/// active. Shows one limit at a time with its registers in hexadecimal, and
/// writes the four registers of the shown limit in one go.
class TFormLimits : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormLimits(WindowContext &context);

    /// The options window whose bit 5 "Reg. Option - Bit 5" mirrors.
    void attachOptions(TFormRegOption &options);
    LimitsModel &model() { return m_model; }

    /// Interval of the limit lamps' warning poll while the window is visible.
    static constexpr int LampPollMs = 250;
    /// After "Write", the read-back is awaited this often, at most ReadBackTicks times.
    static constexpr int ReadBackPollMs = 100;
    static constexpr int ReadBackTicks = 50;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    QGroupBox *buildLimitGroup();
    void registerControls();

    void RBLimitClick(int limit);
    void BReadClick();
    void BUpdateClick();
    void CBRegOptBit5Click(bool checked);
    void displayLimits();
    void showLimitRegisters();
    void showLamps();

    WindowContext &m_context;
    LimitsModel m_model;
    TFormRegOption *m_options = nullptr;
    QTimer m_lampTimer;
    QTimer m_readBackTimer;
    int m_readBackLimit = 0;
    uint64_t m_readBackNoted = 0;
    int m_readBackTicks = 0;

    QRadioButton *m_limit1 = nullptr;
    QRadioButton *m_limit2 = nullptr;
    QGroupBox *m_group = nullptr;
    QCheckBox *m_used = nullptr;
    QCheckBox *m_activeOn1 = nullptr;
    QCheckBox *m_controlMode = nullptr;
    QCheckBox *m_position = nullptr;
    QComboBox *m_xInput = nullptr;
    QSpinBox *m_spinPosition = nullptr;
    QSpinBox *m_spinInput = nullptr;
    std::array<QRadioButton *, LimitRegisters::ControlModeCount> m_modes{};
    std::array<QLabel *, 4> m_captions{};
    std::array<QLabel *, 4> m_values{};
    std::array<QLabel *, 2> m_lamps{};
    QCheckBox *m_regOptBit5 = nullptr;
    QPushButton *m_read = nullptr;
    QPushButton *m_write = nullptr;
};
