// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The main window's panel layout: the places of the fixed groups and the graph
// pages, the only part that grows and shrinks with the window.
#include "app/TFormMain.h"

#include "ui/main/CommandsPanel.h"
#include "ui/main/DisplayPanel.h"
#include "ui/main/GraphsPanel.h"
#include "ui/main/InputPanel.h"
#include "ui/main/RefreshPanel.h"
#include "ui/main/RegulationModePanel.h"
#include "ui/main/RegulationParametersPanel.h"

#include <QAction>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int Margin = 4;
constexpr int Spacing = 6;
constexpr int TopRowHeight = 112;
// The read-outs are as wide as three columns of "-2147483648" under their
// titles; the polling controls take the rest of the right column.
constexpr int DisplayWidth = 436;

} // namespace

QWidget *TFormMain::makeSlot(MainPanelSlot slot, const char *name, const QString &title)
{
    auto *holder = new QWidget;
    holder->setObjectName(QLatin1String(name) + QLatin1String("Slot"));
    auto *layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);

    // Placeholder: the group's frame and title until its panel is installed.
    auto *placeholder = new QGroupBox(title, holder);
    placeholder->setObjectName(QLatin1String(name));
    placeholder->setFixedSize(reservedSize(slot));
    new QVBoxLayout(placeholder);
    layout->addWidget(placeholder);

    m_slots[size_t(slot)] = {layout, placeholder};
    return holder;
}

void TFormMain::installPanel(MainPanelSlot slot, QWidget *panel)
{
    Slot &place = m_slots[size_t(slot)];
    if (!panel || panel == place.content)
        return;
    if (place.content) {
        place.layout->removeWidget(place.content);
        delete place.content;
    }
    place.layout->addWidget(panel);
    place.content = panel;
}

QWidget *TFormMain::panelAt(MainPanelSlot slot) const
{
    return m_slots[size_t(slot)].content;
}

void TFormMain::buildCentral()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("PanelMain"));
    setCentralWidget(central);

    auto *columns = new QHBoxLayout(central);
    columns->setContentsMargins(Margin, Margin, Margin, Margin);
    columns->setSpacing(Spacing);
    columns->addWidget(makeSlot(MainPanelSlot::RegulationParameters, "GBRegulationParameters",
                                QStringLiteral("Regulation parameters")),
                       0, Qt::AlignTop);

    auto *right = new QVBoxLayout;
    right->setSpacing(Spacing);
    columns->addLayout(right, 1);

    // Live read-outs and the polling controls.
    auto *top = new QHBoxLayout;
    top->setSpacing(Spacing);
    m_display = new DisplayPanel(m_context->session(), central);
    m_display->setFixedSize(DisplayWidth, TopRowHeight);
    top->addWidget(m_display);
    auto *refreshBox = new QGroupBox(central);
    refreshBox->setObjectName(QStringLiteral("GBRefresh"));
    // The right column is as wide as the modes, input and EEPROM groups side by side.
    const int rightWidth = reservedSize(MainPanelSlot::RegulationMode).width()
                           + reservedSize(MainPanelSlot::Input).width()
                           + reservedSize(MainPanelSlot::Eeprom).width() + 2 * Spacing;
    refreshBox->setFixedSize(rightWidth - DisplayWidth - Spacing, TopRowHeight);
    auto *refreshLayout = new QVBoxLayout(refreshBox);
    refreshLayout->setContentsMargins(8, 4, 8, 4);
    m_refresh = new RefreshPanel(m_context->session(), refreshBox);
    m_refresh->takeSpaceBar(this);
    refreshLayout->addWidget(m_refresh);
    top->addWidget(refreshBox);
    top->addStretch(1);
    connect(m_refresh, &RefreshPanel::refreshTrackChanged, m_context.get(),
            &WindowContext::refreshTrackChanged);
    right->addLayout(top);

    // Modes, consign input and the device commands.
    auto *middle = new QHBoxLayout;
    middle->setSpacing(Spacing);
    middle->addWidget(makeSlot(MainPanelSlot::RegulationMode, "GBRegulationMode",
                               QStringLiteral("0x20-Regul. mode")));
    middle->addWidget(makeSlot(MainPanelSlot::Input, "GBInput", QStringLiteral("0x21-Input")));
    middle->addWidget(
        makeSlot(MainPanelSlot::Eeprom, "GBEeprom", QStringLiteral("Save and restore (EEprom)")));
    middle->addStretch(1);
    right->addLayout(middle);

    // The graph pages take the rest and grow with the window.
    m_graphPages = new QTabWidget(central);
    m_graphPages->setObjectName(QStringLiteral("PageControlGraph"));
    m_graphPages->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    right->addWidget(m_graphPages, 1);
}

void TFormMain::buildStopButton()
{
    // The STOP is always at hand: at the right end of the menu bar, beyond the
    // corner where the tool windows open, and as Esc in every window.
    QAction *stop = m_context->driverStopAction();
    addAction(stop);
    m_driverStopButton = new QPushButton(QStringLiteral("STOP"), menuBar());
    m_driverStopButton->setObjectName(QStringLiteral("BDriverStop"));
    m_driverStopButton->setToolTip(stop->toolTip());
    // A click leaves the keyboard focus where it was (an edit being typed in).
    m_driverStopButton->setFocusPolicy(Qt::NoFocus);
    m_driverStopButton->setAutoDefault(false);
    m_driverStopButton->setStyleSheet(QStringLiteral(
        "QPushButton { background: #c81e1e; color: white; font-weight: bold;"
        " border: 1px solid #7a0f0f; border-radius: 3px; padding: 1px 18px; margin: 1px 4px; }"
        "QPushButton:pressed { background: #8f1111; }"
        "QPushButton:disabled { background: #dcb4b4; color: #f6eaea; border-color: #c09a9a; }"));
    connect(m_driverStopButton, &QPushButton::clicked, stop, &QAction::trigger);
    m_context->connectedControls().addWhileConnected(m_driverStopButton);
    menuBar()->setCornerWidget(m_driverStopButton, Qt::TopRightCorner);
}

void TFormMain::buildMainPanels()
{
    // The main-panel groups take their slots here, in this form:
    //   installPanel(MainPanelSlot::RegulationParameters, new RegulationPanel(context));
    WindowContext &context = *m_context;
    MainPanels panels;
    panels.refresh = m_refresh;
    context.setPanels(panels);
    // The graph pages first: the other groups set the position chart's axis.
    panels.graphs = new GraphsPanel(context, m_graphPages);
    panels.regulationParameters = new RegulationParametersPanel(context);
    installPanel(MainPanelSlot::RegulationParameters, panels.regulationParameters);
    panels.regulationMode = new RegulationModePanel(context);
    auto *input = new InputPanel(context);
    connect(panels.regulationMode, &RegulationModePanel::modeClicked, input, &InputPanel::showMode);
    installPanel(MainPanelSlot::RegulationMode, panels.regulationMode);
    installPanel(MainPanelSlot::Input, input);
    installPanel(MainPanelSlot::Eeprom, new CommandsPanel(context));
    context.setPanels(panels);
}
