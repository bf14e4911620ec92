// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/LoopsConfigGroup.h"

#include "features/EnhancedCmdModel.h"
#include "ui/features/EnhancedCmdWidgets.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace EnhancedCmdWidgets;

LoopsConfigGroup::LoopsConfigGroup(EnhancedCmdModel &model, QWidget *parent)
    : QGroupBox(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("GBLoopsConfig"));
    m_pulses = makeEdit(this, "ELCPulses", 10);
    m_numerator = makeEdit(this, "ELCNumerator", 10);
    m_denominator = makeEdit(this, "ELCDenominator", 10);
    m_pulsesCaption = makeLabel(this, "LLCPulses", QStringLiteral("Pulses :"));
    m_totalCaption = makeLabel(this, "LLCTotal", QStringLiteral("Total pulses per loop :"));
    m_total = makeLabel(this, "LLCPlusesFloat", QStringLiteral("0.000"));
    QFont bold = m_total->font();
    bold.setBold(true);
    m_total->setFont(bold);

    m_pulses->setMaximumWidth(110);
    m_numerator->setMaximumWidth(110);
    m_denominator->setMaximumWidth(110);
    auto *grid = new QGridLayout(this);
    grid->addWidget(makeLabel(this, "LLCIntegerPart", QStringLiteral("Integer part")), 0, 0, 1, 2);
    grid->addWidget(m_pulsesCaption, 1, 0);
    grid->addWidget(m_pulses, 1, 1);
    grid->addWidget(makeLabel(this, "LLCDecimalPart", QStringLiteral("Decimal part")), 2, 0, 1, 2);
    grid->addWidget(makeLabel(this, "LLCNumerator", QStringLiteral("Numerator :")), 3, 0);
    grid->addWidget(m_numerator, 3, 1);
    grid->addWidget(makeLabel(this, "LLCDenominator", QStringLiteral("Denominator :")), 4, 0);
    grid->addWidget(m_denominator, 4, 1);
    grid->addWidget(m_totalCaption, 5, 0);
    grid->addWidget(m_total, 5, 1);
    auto *buttons = new QHBoxLayout;
    m_read = makeButton(this, "BReadLoopsConfig", QStringLiteral("Read"));
    m_write = makeButton(this, "BWriteLoopsConfig", QStringLiteral("Write"));
    m_copy = makeButton(this, "BCopyLoopsConfig", QStringLiteral("Copy"));
    m_copy->setToolTip(QStringLiteral("Copies the tarvine-cli line that writes these bytes"));
    buttons->addWidget(m_copy);
    buttons->addStretch(1);
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    grid->addLayout(buttons, 6, 0, 1, 4);
    grid->setColumnStretch(3, 1);

    connect(m_pulses, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.pulsesTextChanged(text);
        render();
    });
    connect(m_numerator, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.numeratorTextChanged(text);
        render();
    });
    connect(m_denominator, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.denominatorTextChanged(text);
        render();
    });
    connect(m_read, &QPushButton::clicked, this, &LoopsConfigGroup::readRequested);
    connect(m_copy, &QPushButton::clicked, this, &LoopsConfigGroup::copyRequested);
    connect(m_write, &QPushButton::clicked, this, [this] {
        const EnhancedWriteResult result = m_model.writeLoops();
        render();
        emit written(result);
    });
    render();
}

void LoopsConfigGroup::render()
{
    const EnhancedCmdControls &c = m_model.controls();
    setTitle(c.loopsTrace);
    renderEdit(m_pulses, c.pulsesText, c.pulsesRed);
    renderEdit(m_numerator, c.numeratorText, c.numeratorRed);
    renderEdit(m_denominator, c.denominatorText, c.denominatorRed);
    m_total->setText(c.totalText);
    m_write->setEnabled(c.writeLoopsEnabled);
    m_read->setEnabled(c.readLoopsEnabled);
    m_copy->setEnabled(c.copyLoopsEnabled);
}

void LoopsConfigGroup::applyProfile(const QString &pulsesLabel, const QString &totalLabel)
{
    m_pulsesCaption->setText(pulsesLabel);
    m_totalCaption->setText(totalLabel);
}
