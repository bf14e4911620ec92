// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/TFormIOState.h"

#include "device/QLMCSession.h"
#include "features/IOLines.h"
#include "panel/DisplayText.h"
#include "ui/widgets/WindowContext.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QShowEvent>
#include <QVBoxLayout>

TFormIOState::TFormIOState(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormIOState"), QStringLiteral("I/O State"))
    , m_context(context)
{
    auto *layout = new QVBoxLayout(this);
    auto *configGroup = new QGroupBox(QStringLiteral("0x55-I/O Config"), this);
    configGroup->setObjectName(QStringLiteral("GBIOConfig"));
    auto *configForm = new QFormLayout(configGroup);
    const QStringList items = IOLines::configItems();
    auto makeList = [&](const char *name, int line) {
        auto *list = new QComboBox(configGroup);
        list->setObjectName(QLatin1String(name));
        list->addItems(items);
        list->setCurrentIndex(0);
        // Only a user's choice writes; a selection made by the display does not.
        connect(list, &QComboBox::activated, this,
                [this, line](int item) { lineChosen(line, item); });
        return list;
    };
    m_config1 = makeList("CBIOConfig1", 1);
    m_config2 = makeList("CBIOConfig2", 2);
    configForm->addRow(QStringLiteral("I/O Config 1 :"), m_config1);
    configForm->addRow(QStringLiteral("I/O Config 2 :"), m_config2);
    layout->addWidget(configGroup);
    // The rule book's reason when it refused a choice (nothing was sent).
    m_refusal = new QLabel(this);
    m_refusal->setObjectName(QStringLiteral("LWriteRefused"));
    m_refusal->setStyleSheet(QStringLiteral("color: red"));
    m_refusal->setWordWrap(true);
    layout->addWidget(m_refusal);

    auto *stateGroup = new QGroupBox(QStringLiteral("0x56-I/O State"), this);
    stateGroup->setObjectName(QStringLiteral("GBIOState"));
    auto *stateForm = new QFormLayout(stateGroup);
    const std::array<QString, 4> captions = IOLines::stateCaptions();
    const char *const names[4] = {"LIOState1", "LIOState2", "LIOStateByte2", "LIOStateByte3"};
    for (size_t i = 0; i < 4; ++i) {
        // "-" until 0x56 is received in the connection: no default poses as a state.
        m_state[i] = new QLabel(QStringLiteral("-"), stateGroup);
        m_state[i]->setObjectName(QLatin1String(names[i]));
        stateForm->addRow(captions[i], m_state[i]);
    }
    layout->addWidget(stateGroup);
    layout->addStretch();
    resize(300, 230);

    context.frame().setDisplayHook(DisplayStep::IOState,
                                   [this](const DisplayUpdate &update, const ReceivedValues &) {
                                       if (isVisible())
                                           displayIOState(update.ioConfig);
                                   });
}

void TFormIOState::lineChosen(int line, int item)
{
    QString refusal;
    if (IOLines::choose(m_context.session(), line, item, &refusal)) {
        m_refusal->clear();
        return;
    }
    if (refusal.isEmpty())
        return;
    m_refusal->setText(QStringLiteral("Not sent: ") + refusal);
    // The list goes back to the value in force.
    displayIOState(true);
}

void TFormIOState::displayIOState(bool configUpdated)
{
    uint16_t config;
    std::array<uint8_t, 4> state;
    bool stateReceived;
    {
        RegisterLockGuard guard(m_context.session().lock());
        config = m_context.session().IO.Config;
        state = m_context.session().IO.State;
        stateReceived = m_context.session().motor().registerAt(Reg::IoState)->received();
    }
    for (size_t i = 0; i < 4; ++i)
        m_state[i]->setText(stateReceived ? QString::number(state[i]) : QStringLiteral("-"));
    if (!configUpdated)
        return;
    for (const auto &[list, line] : {std::pair{m_config1, 1}, std::pair{m_config2, 2}}) {
        const int item = IOLines::itemOf(config, line);
        if (item < list->count()) {
            const QSignalBlocker blocker(list);
            list->setCurrentIndex(item);
        }
    }
}

void TFormIOState::showEvent(QShowEvent *event)
{
    m_context.session().IOWindowVisible = true;
    if (!event->spontaneous())
        IOLines::requestConfigRead(m_context.session());
    ToolWindow::showEvent(event);
}

void TFormIOState::hideEvent(QHideEvent *event)
{
    m_context.session().IOWindowVisible = false;
    ToolWindow::hideEvent(event);
}
