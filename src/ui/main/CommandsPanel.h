// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/DeviceCommand.h"

#include <QWidget>

#include <array>

class QPushButton;
class WindowContext;

/// The device commands of the main window: the group "Save and restore
/// (EEprom)" with the save and restore buttons (the factory save on its own red
/// panel) and the reset button on its own red panel. A save is followed by the
/// modal saving window; a restore makes the decoder read the regulation
/// parameters back.
class CommandsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit CommandsPanel(WindowContext &context);

    QPushButton *button(DeviceCommand command) const { return m_buttons[size_t(command)]; }

private:
    void commandClick(DeviceCommand command);

    WindowContext &m_context;
    std::array<QPushButton *, 5> m_buttons{};
};
