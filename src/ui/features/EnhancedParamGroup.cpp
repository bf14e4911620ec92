// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/EnhancedParamGroup.h"

#include "features/EnhancedCmdModel.h"
#include "ui/features/EnhancedCmdWidgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace EnhancedCmdWidgets;

EnhancedParamGroup::EnhancedParamGroup(EnhancedCmdModel &model, QWidget *parent)
    : QGroupBox(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("GBEnhancedParam"));
    m_peak = makeEdit(this, "EECPeakCurrent", 7);
    m_duration = makeEdit(this, "EECTimePeakCurrent", 5);
    m_peak->setMaximumWidth(110);
    m_duration->setMaximumWidth(110);
    auto *grid = new QGridLayout(this);
    grid->addWidget(makeLabel(this, "LECPeakCurrent", QStringLiteral("Peak current :")), 0, 0);
    grid->addWidget(m_peak, 0, 1);
    grid->addWidget(makeLabel(this, "LECPeakCurrentUnit", QStringLiteral("A")), 0, 2);
    grid->addWidget(makeLabel(this, "LECTimePeakCurrent", QStringLiteral("Duration :")), 1, 0);
    grid->addWidget(m_duration, 1, 1);
    grid->addWidget(makeLabel(this, "LECTimePeakCurrentUnit", QStringLiteral("ms")), 1, 2);
    auto *buttons = new QHBoxLayout;
    m_read = makeButton(this, "BReadEnhancedParam", QStringLiteral("Read"));
    m_write = makeButton(this, "BWriteEnhancedParam", QStringLiteral("Write"));
    m_copy = makeButton(this, "BCopyEnhancedParam", QStringLiteral("Copy"));
    m_copy->setToolTip(QStringLiteral("Copies the tarvine-cli line that writes these bytes"));
    buttons->addWidget(m_copy);
    buttons->addStretch(1);
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    grid->addLayout(buttons, 2, 0, 1, 4);
    grid->setColumnStretch(3, 1);

    connect(m_peak, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.peakTextChanged(text);
        render();
    });
    connect(m_duration, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.durationTextChanged(text);
        render();
    });
    connect(m_read, &QPushButton::clicked, this, &EnhancedParamGroup::readRequested);
    connect(m_copy, &QPushButton::clicked, this, &EnhancedParamGroup::copyRequested);
    connect(m_write, &QPushButton::clicked, this, [this] {
        const EnhancedWriteResult result = m_model.writeParams();
        render();
        emit written(result);
    });
    render();
}

void EnhancedParamGroup::render()
{
    const EnhancedCmdControls &c = m_model.controls();
    setTitle(c.paramsTrace);
    setEnabled(c.paramsGroupEnabled);
    renderEdit(m_peak, c.peakText, c.peakRed);
    renderEdit(m_duration, c.durationText, c.durationRed);
    m_write->setEnabled(c.writeParamsEnabled);
    m_read->setEnabled(c.readParamsEnabled);
    m_copy->setEnabled(c.copyParamsEnabled);
}
