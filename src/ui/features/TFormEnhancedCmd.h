// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/EnhancedCmdModel.h"
#include "ui/widgets/ToolWindow.h"

#include <QTimer>

class EnhancedCommandGroup;
class EnhancedParamGroup;
class LoopsConfigGroup;
class QGroupBox;
class QLabel;
class WindowContext;
struct ModelProfile;

/// The enhanced-commands window: composes, sends and reads back enhanced motion
/// commands (0x4D), the loops configuration (0x4E) and the peak current (0x4F).
/// The behaviour is EnhancedCmdModel's; the window builds the controls, feeds
/// the model and renders it.
class TFormEnhancedCmd : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormEnhancedCmd(WindowContext &context);
    ~TFormEnhancedCmd() override;

    EnhancedCmdModel &model() { return m_model; }
    QTimer &timerDisplayEnhancedCmd() { return m_timerCommand; }
    QTimer &timerDisplayEnhancedRangeConfig() { return m_timerLoops; }
    QTimer &timerDisplayEnhancedParam() { return m_timerParams; }

    /// Adapts captions and enabled options to an identified controller.
    void applyProfile(const ModelProfile &profile);

signals:
    /// A 0x4D Write sent these six bytes (the live charts mark it).
    void enhancedCommandWritten(const QByteArray &bytes);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void requestRead(int address);
    void TimerDisplayEnhancedCmdTimer();
    void TimerDisplayEnhancedRangeConfigTimer();
    void TimerDisplayEnhancedParamTimer();
    void renderGroups();
    void renderWritten();
    void copyTrace(QGroupBox *group, int address);

    WindowContext &m_context;
    EnhancedCmdModel m_model;
    EnhancedCommandGroup *m_command = nullptr;
    LoopsConfigGroup *m_loops = nullptr;
    EnhancedParamGroup *m_params = nullptr;
    QGroupBox *m_written = nullptr;
    QLabel *m_commandWritten = nullptr;
    QLabel *m_loopsWritten = nullptr;
    QLabel *m_paramsWritten = nullptr;
    QTimer m_timerCommand;
    QTimer m_timerLoops;
    QTimer m_timerParams;
};
