// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/EnhancedCommandGroup.h"

#include "features/EnhancedCmdModel.h"
#include "ui/features/EnhancedCmdWidgets.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Codec = EnhancedCommandCodec;
using namespace EnhancedCmdWidgets;

namespace {

QRadioButton *makeRadio(QWidget *parent, const QString &name, const QString &text = {})
{
    auto *radio = new QRadioButton(text, parent);
    radio->setObjectName(name);
    return radio;
}

void setCheckedQuietly(QAbstractButton *button, bool checked)
{
    const QSignalBlocker blocker(button);
    button->setChecked(checked);
}

} // namespace

EnhancedCommandGroup::EnhancedCommandGroup(EnhancedCmdModel &model, QWidget *parent)
    : QGroupBox(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("GBEnhancedCmd"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(buildOptions());
    layout->addWidget(buildGoal());
    layout->addWidget(buildFunction(), 1);
    auto *buttons = new QHBoxLayout;
    m_read = makeButton(this, "BReadEnhancedCmd", QStringLiteral("Read"));
    m_write = makeButton(this, "BWriteEnhancedCmd", QStringLiteral("Write"));
    m_copy = makeButton(this, "BCopyEnhancedCmd", QStringLiteral("Copy"));
    m_copy->setToolTip(QStringLiteral("Copies the tarvine-cli line that writes these bytes"));
    buttons->addWidget(m_copy);
    buttons->addStretch(1);
    buttons->addWidget(m_read);
    buttons->addWidget(m_write);
    layout->addLayout(buttons);

    connect(m_read, &QPushButton::clicked, this, &EnhancedCommandGroup::readRequested);
    connect(m_copy, &QPushButton::clicked, this, &EnhancedCommandGroup::copyRequested);
    connect(m_write, &QPushButton::clicked, this, [this] {
        const EnhancedWriteResult result = m_model.writeCommand();
        after();
        emit written(result);
    });
    render();
}

QWidget *EnhancedCommandGroup::buildOptions()
{
    auto *box = new QGroupBox(QStringLiteral("Enhanced options [B5]"), this);
    box->setObjectName(QStringLiteral("GBECOptions"));
    m_percent = makeRadio(box, QStringLiteral("RBECOptionEnGoalInPercent"),
                          QStringLiteral("EnGoal in percent [B3 sign] + [B0 to B2 value]"));
    m_pulses = makeRadio(box, QStringLiteral("RBECOptionEnGoalInPulses"),
                         QStringLiteral("EnGoal in pulses [B0 to B3]"));
    m_peakCurrent = new QCheckBox(QStringLiteral("Peak current enable"), box);
    m_peakCurrent->setObjectName(QStringLiteral("CBECOptionPeakCurrent"));
    m_absolute = new QCheckBox(QStringLiteral("Absolute value"), box);
    m_absolute->setObjectName(QStringLiteral("CBECOptionNoLoopsMode"));
    auto *grid = new QGridLayout(box);
    grid->addWidget(m_pulses, 0, 0);
    grid->addWidget(m_peakCurrent, 0, 1);
    grid->addWidget(m_percent, 1, 0);
    grid->addWidget(m_absolute, 1, 1);
    grid->setColumnStretch(0, 1);

    connect(m_pulses, &QRadioButton::clicked, this, [this] {
        m_model.goalInPulsesClicked();
        after();
    });
    connect(m_percent, &QRadioButton::clicked, this, [this] {
        m_model.goalInPercentClicked();
        after();
    });
    connect(m_peakCurrent, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.peakCurrentClicked(checked);
        after();
    });
    connect(m_absolute, &QCheckBox::clicked, this, [this](bool checked) {
        m_model.absoluteClicked(checked);
        after();
    });
    return box;
}

QWidget *EnhancedCommandGroup::buildGoal()
{
    auto *box = new QGroupBox(QStringLiteral("Enhanced goal [B0 to B3]"), this);
    box->setObjectName(QStringLiteral("GBECEnhancedGoal"));
    m_goalCaption = makeLabel(box, "LECEnhancedGoal", QStringLiteral("EnGoal :"));
    m_goal = makeEdit(box, "EECEnhancedGoal", 11);
    m_goal->setMaximumWidth(120);
    auto *row = new QHBoxLayout(box);
    row->addWidget(m_goalCaption);
    row->addWidget(m_goal);
    row->addStretch(1);
    connect(m_goal, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.goalTextChanged(text);
        after();
    });
    return box;
}

QWidget *EnhancedCommandGroup::buildFunction()
{
    auto *box = new QGroupBox(QStringLiteral("Enhanced function [B4]"), this);
    box->setObjectName(QStringLiteral("GBECEnhancedFunction"));
    auto *grid = new QGridLayout(box);
    grid->setVerticalSpacing(2);

    m_counterLoops = makeRadio(box, QStringLiteral("RBECCounterLoops"));
    m_counterLabel1 = makeLabel(box, "LECCounterLoops1", QStringLiteral("[P] EnGoal"));
    m_counter = makeEdit(box, "EECCounterLoops", 4);
    // The edit sits in the blank of its caption "+               loops [-99 ; 99]".
    m_counterLabel2 = makeLabel(box, "LECCounterLoops2", QStringLiteral("+               loops [-99 ; 99]"));
    m_counterLabel2->setMinimumHeight(m_counter->sizeHint().height());
    m_counterLabel2->installEventFilter(this);
    auto *counterRow = new QHBoxLayout;
    counterRow->addWidget(m_counterLabel1);
    counterRow->addSpacing(4);
    counterRow->addWidget(m_counterLabel2);
    counterRow->addStretch(1);
    grid->addWidget(m_counterLoops, 0, 0);
    grid->addLayout(counterRow, 0, 1);
    m_counterLabel1->installEventFilter(this);
    m_counter->installEventFilter(this);

    for (int i = 0; i < 17; ++i) {
        const int code = Codec::FirstCommand + i;
        m_commands[size_t(i)] = makeRadio(box, QStringLiteral("RBEC%1").arg(code));
        m_commandLabels[size_t(i)] = makeLabel(box, "", Codec::commandCaption(code, false));
        m_commandLabels[size_t(i)]->setObjectName(QStringLiteral("LEC%1").arg(code));
        m_commandLabels[size_t(i)]->installEventFilter(this);
        grid->addWidget(m_commands[size_t(i)], i + 1, 0);
        grid->addWidget(m_commandLabels[size_t(i)], i + 1, 1);
        connect(m_commands[size_t(i)], &QRadioButton::clicked, this, [this, code] {
            m_model.commandClicked(code);
            after();
        });
    }
    grid->setColumnStretch(1, 1);
    connect(m_counterLoops, &QRadioButton::clicked, this, [this] {
        m_model.counterLoopsClicked();
        after();
    });
    connect(m_counter, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_model.counterTextChanged(text);
        after();
    });
    return box;
}

bool EnhancedCommandGroup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_counterLabel2
        && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        const QFontMetrics metrics(m_counterLabel2->font());
        const int left = metrics.horizontalAdvance(QStringLiteral("+ "));
        const int width = metrics.horizontalAdvance(QStringLiteral("+               ")) - left
                          - metrics.horizontalAdvance(QLatin1Char(' '));
        const QRect label = m_counterLabel2->geometry();
        const int height = m_counter->sizeHint().height();
        m_counter->setGeometry(label.x() + left, label.y() + (label.height() - height) / 2,
                               std::max(width, 36), height);
        m_counter->raise();
    }
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        // A caption label checks its radio button, which runs the button's click.
        if (watched == m_counterLabel1 || watched == m_counterLabel2 || watched == m_counter) {
            m_model.counterLoopsClicked();
            after();
        }
        for (size_t i = 0; i < m_commandLabels.size(); ++i) {
            if (watched == m_commandLabels[i]) {
                m_model.commandClicked(Codec::FirstCommand + int(i));
                after();
            }
        }
    }
    return QGroupBox::eventFilter(watched, event);
}

void EnhancedCommandGroup::after()
{
    render();
}

void EnhancedCommandGroup::render()
{
    const EnhancedCmdControls &c = m_model.controls();
    setTitle(c.commandTrace);
    setCheckedQuietly(m_pulses, c.goalInPulses);
    setCheckedQuietly(m_percent, c.goalInPercent);
    setCheckedQuietly(m_peakCurrent, c.peakCurrent);
    setCheckedQuietly(m_absolute, c.absolute);
    m_peakCurrent->setEnabled(c.peakCurrentOffered);
    m_absolute->setEnabled(c.absoluteOffered);
    renderEdit(m_goal, c.goalText, c.goalRed);
    m_goal->setEnabled(c.goalEnabled);
    m_goalCaption->setEnabled(c.goalEnabled);
    renderEdit(m_counter, c.counterText, c.counterRed);
    m_counter->setEnabled(c.counterEnabled);
    setCheckedQuietly(m_counterLoops, c.selection == 0);
    for (size_t i = 0; i < m_commands.size(); ++i) {
        const int code = Codec::FirstCommand + int(i);
        setCheckedQuietly(m_commands[i], c.selection == code);
        m_commandLabels[i]->setText(Codec::commandCaption(code, c.greyed));
        setTextGreyed(m_commandLabels[i], c.greyed && Codec::commandGreyedWhenAbsolute(code));
    }
    setTextGreyed(m_counterLabel1, c.greyed);
    setTextGreyed(m_counterLabel2, c.greyed);
    setTextGreyed(m_counter, c.greyed);
    m_read->setEnabled(c.readCommandEnabled);
    m_write->setEnabled(c.writeCommandEnabled);
    m_copy->setEnabled(c.copyCommandEnabled);
}

void EnhancedCommandGroup::setGoalInPulsesText(const QString &text)
{
    m_pulses->setText(text);
}
