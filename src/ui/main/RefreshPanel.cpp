// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/main/RefreshPanel.h"

#include "device/QLMCSession.h"
#include "panel/DisplayText.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QShortcut>
#include <QSlider>

RefreshPanel::RefreshPanel(QLMCSession &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
{
    setObjectName(QStringLiteral("PanelRefresh"));

    m_readData = new QCheckBox(QStringLiteral("Refresh       (or space bar)"), this);
    m_readData->setObjectName(QStringLiteral("CBReadData"));
    connect(m_readData, &QCheckBox::clicked, this, &RefreshPanel::CBReadDataClick);
    m_graphic = new QCheckBox(QStringLiteral("Graphic"), this);
    m_graphic->setObjectName(QStringLiteral("CBGraphic"));
    connect(m_graphic, &QCheckBox::clicked, this, &RefreshPanel::CBGraphicClick);

    m_refreshTitle = new QLabel(QStringLiteral("Interface refresh"), this);
    m_refreshTitle->setObjectName(QStringLiteral("LRefreshTitle"));
    m_refresh = new QSlider(Qt::Horizontal, this);
    m_refresh->setObjectName(QStringLiteral("TBRefresh"));
    m_refresh->setRange(1, 100);
    m_refresh->setValue(10);
    m_refresh->setTickInterval(10);
    m_refresh->setTickPosition(QSlider::TicksBelow);
    m_refreshValue = new QLabel(QStringLiteral("20"), this);
    m_refreshValue->setObjectName(QStringLiteral("LRefresh"));
    m_refreshValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_refreshValue->setMinimumWidth(
        m_refreshValue->fontMetrics().horizontalAdvance(QStringLiteral("200")) + 2);
    m_refreshUnit = new QLabel(QStringLiteral("[ms]"), this);
    m_refreshUnit->setObjectName(QStringLiteral("LRefreshUnit"));
    connect(m_refresh, &QSlider::valueChanged, this, &RefreshPanel::TBRefreshChange);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(4);
    layout->setVerticalSpacing(2);
    layout->addWidget(m_readData, 0, 0, 1, 3);
    layout->addWidget(m_graphic, 1, 0, 1, 3);
    layout->addWidget(m_refreshTitle, 2, 0, 1, 3);
    layout->addWidget(m_refresh, 3, 0);
    layout->addWidget(m_refreshValue, 3, 1);
    layout->addWidget(m_refreshUnit, 3, 2);
    layout->setColumnStretch(0, 1);
}

QList<QWidget *> RefreshPanel::refreshLabels() const
{
    return {m_refreshValue, m_refreshUnit, m_refreshTitle};
}

void RefreshPanel::toggleReadData()
{
    if (m_readData->isEnabled())
        m_readData->click();
}

void RefreshPanel::switchRefreshOn()
{
    if (m_readData->isEnabled() && !m_readData->isChecked())
        m_readData->click();
}

void RefreshPanel::takeSpaceBar(QWidget *window)
{
    auto *space = new QShortcut(QKeySequence(Qt::Key_Space), window);
    space->setObjectName(QStringLiteral("ShortcutRefresh"));
    space->setContext(Qt::WindowShortcut);
    connect(space, &QShortcut::activated, this, &RefreshPanel::toggleReadData);
}

void RefreshPanel::CBReadDataClick(bool checked)
{
    m_session.PollingEnabled = checked;
}

void RefreshPanel::CBGraphicClick(bool checked)
{
    m_session.GraphicEnabled = checked;
}

void RefreshPanel::TBRefreshChange(int position)
{
    const RefreshSetting setting = refreshSetting(position);
    m_refreshValue->setText(setting.label);
    applyRefreshSetting(m_session, setting);
    emit refreshTrackChanged(position);
}
