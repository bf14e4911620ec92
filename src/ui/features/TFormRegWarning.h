// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "features/WarningRegister.h"
#include "ui/widgets/ToolWindow.h"

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class WindowContext;
struct ModelProfile;

/// The warning window: the controller's warning register bit by bit, a
/// present ("ACTUAL") and a latched ("BEFORE") box per warning, and "Clear".
/// While it is shown the sender polls 0x08; the main window's display routine
/// runs displayWarnings when a new value arrived.
class TFormRegWarning : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormRegWarning(WindowContext &context);

    /// Shows the last decoded value (boxes, group caption, tool tips).
    void displayWarnings();
    void ClearBClick();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void applyProfile(const ModelProfile &profile);

    WindowContext &m_context;
    QGroupBox *m_group;
    std::array<QLabel *, WarningRegister::WarningCount> m_captions{};
    std::array<QCheckBox *, 32> m_boxes{};
    QPushButton *m_clear;
    WarningRegister::LatchHistory m_history;
};
