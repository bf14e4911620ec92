// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QGroupBox>

#include <array>

class EnhancedCmdModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct EnhancedWriteResult;

/// The 0x4D group of the enhanced-command window (GBEnhancedCmd, its caption
/// the trace): options [B5], EnGoal [B0 to B3], function [B4] with the counter
/// loops and the seventeen numbered commands, "Read" and "Write". Every user
/// action goes to the model; the group then renders the model's controls.
class EnhancedCommandGroup : public QGroupBox
{
    Q_OBJECT

public:
    EnhancedCommandGroup(EnhancedCmdModel &model, QWidget *parent);

    /// Shows the model's state (signals blocked, focus untouched), the
    /// options the model offers and the buttons' enabled states included.
    void render();
    /// The model profile's caption of RBECOptionEnGoalInPulses.
    void setGoalInPulsesText(const QString &text);

signals:
    void readRequested();
    /// "Copy": the tarvine-cli line that writes the caption's bytes.
    void copyRequested();
    /// "Write" sent \a result.bytes (or refused it).
    void written(const EnhancedWriteResult &result);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildOptions();
    QWidget *buildGoal();
    QWidget *buildFunction();
    void after();

    EnhancedCmdModel &m_model;
    QRadioButton *m_percent = nullptr;
    QRadioButton *m_pulses = nullptr;
    QCheckBox *m_peakCurrent = nullptr;
    QCheckBox *m_absolute = nullptr;
    QLabel *m_goalCaption = nullptr;
    QLineEdit *m_goal = nullptr;
    QRadioButton *m_counterLoops = nullptr;
    QLabel *m_counterLabel1 = nullptr;
    QLabel *m_counterLabel2 = nullptr;
    QLineEdit *m_counter = nullptr;
    std::array<QRadioButton *, 17> m_commands{};
    std::array<QLabel *, 17> m_commandLabels{};
    QPushButton *m_read = nullptr;
    QPushButton *m_write = nullptr;
    QPushButton *m_copy = nullptr;
};
