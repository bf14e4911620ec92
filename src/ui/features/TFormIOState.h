// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/ToolWindow.h"

#include <array>

class QComboBox;
class QLabel;
class WindowContext;
struct DisplayUpdate;

/// The I/O window: configuration (0x55) and state (0x56) of the controller's
/// two general-purpose I/O lines. While it is visible the sender polls 0x56;
/// each showing reads 0x55; only a user's choice in a list writes it.
class TFormIOState : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormIOState(WindowContext &context);

    /// Shows the last decoded values; the lists follow 0x55 only when it
    /// arrived in this refresh (\a configUpdated), selected without writing.
    void displayIOState(bool configUpdated);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void lineChosen(int line, int item);

    WindowContext &m_context;
    QComboBox *m_config1;
    QComboBox *m_config2;
    std::array<QLabel *, 4> m_state{};
    QLabel *m_refusal;
};
