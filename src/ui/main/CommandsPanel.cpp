// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/CommandsPanel.h"

#include "ui/files/TFormTime.h"
#include "ui/main/MainPanelSlot.h"
#include "ui/widgets/ConnectedControls.h"
#include "ui/widgets/WindowContext.h"

#include <QFrame>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int ButtonHeight = 23;
const QColor PanelRed(0xFF, 0x00, 0x00); // clRed

// A raised red panel that holds one button with a small margin.
QFrame *makeRedPanel(const char *name, QPushButton *button, QWidget *parent)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setAutoFillBackground(true);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, PanelRed);
    panel->setPalette(palette);
    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(button);
    return panel;
}

} // namespace

CommandsPanel::CommandsPanel(WindowContext &context)
    : m_context(context)
{
    setObjectName(QStringLiteral("PanelCommands"));
    setFixedSize(reservedSize(MainPanelSlot::Eeprom));

    auto *group = new QGroupBox(QStringLiteral("Save and restore (EEprom)"), this);
    group->setObjectName(QStringLiteral("GBEeprom"));
    for (const DeviceCommandButton &entry : deviceCommandButtons()) {
        auto *button = new QPushButton(QLatin1String(entry.caption));
        button->setObjectName(QLatin1String(entry.buttonName));
        button->setFixedHeight(ButtonHeight);
        button->setAutoDefault(false);
        const DeviceCommand command = entry.command;
        connect(button, &QPushButton::clicked, this, [this, command] { commandClick(command); });
        context.connectedControls().addWhileConnected(button);
        m_buttons[size_t(command)] = button;
    }

    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(6, 2, 6, 4);
    groupLayout->setSpacing(2);
    groupLayout->addWidget(button(DeviceCommand::SaveUser));
    groupLayout->addWidget(button(DeviceCommand::RestoreUser));
    groupLayout->addWidget(button(DeviceCommand::RestoreFactory));
    groupLayout->addWidget(
        makeRedPanel("PanelSaveFactory", button(DeviceCommand::SaveFactory), group));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(group);
    layout->addWidget(makeRedPanel("PanelReset", button(DeviceCommand::Reset), this));
    layout->addStretch(1);
}

void CommandsPanel::commandClick(DeviceCommand command)
{
    const int savingSeconds = sendDeviceCommand(m_context.session(), command);
    // The controller stores its parameters meanwhile; the sender thread goes on.
    if (savingSeconds > 0 && m_context.toolWindows().time)
        m_context.toolWindows().time->ShowFor(savingSeconds);
}
