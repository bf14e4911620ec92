// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/TFormRegWarning.h"

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "ui/widgets/WindowContext.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace {

const QColor PresentColour(176, 0, 0);   ///< a warning present now
const QColor LatchedColour(150, 75, 0);  ///< seen since the last clear only
const QColor PresentTint(255, 170, 170); ///< the box of a set "ACTUAL" bit
const QColor LatchedTint(255, 214, 150); ///< the box of a set "BEFORE" bit

/// The boxes are read-only (disabled), whose tick the style draws faint: a set
/// box gets a tinted background and a dark tick.
void showBox(QCheckBox *box, bool set, const QColor &tint)
{
    const QPalette normal = box->parentWidget()->palette();
    QPalette palette = box->palette();
    palette.setColor(QPalette::Disabled, QPalette::Base,
                     set ? tint : normal.color(QPalette::Disabled, QPalette::Base));
    palette.setColor(QPalette::Disabled, QPalette::Text,
                     set ? QColor(Qt::black) : normal.color(QPalette::Disabled, QPalette::Text));
    box->setPalette(palette);
}

/// A warning's caption in bold colour while its present or latched bit is set.
void showCaption(QLabel *caption, bool present, bool latched)
{
    const QPalette normal = caption->parentWidget()->palette();
    QPalette palette = caption->palette();
    const QColor colour = present   ? PresentColour
                          : latched ? LatchedColour
                                    : normal.color(QPalette::Active, QPalette::WindowText);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::WindowText, colour);
    caption->setPalette(palette);
    QFont font = caption->font();
    font.setBold(present || latched);
    caption->setFont(font);
}

} // namespace

TFormRegWarning::TFormRegWarning(WindowContext &context)
    : ToolWindow(context.mainWindow(), QStringLiteral("FormRegWarning"), QStringLiteral("Warning"))
    , m_context(context)
{
    auto *layout = new QVBoxLayout(this);
    m_group = new QGroupBox(WarningRegister::initialGroupTitle(), this);
    m_group->setObjectName(QStringLiteral("GBWarning"));
    auto *grid = new QGridLayout(m_group);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(2);
    auto *actual = new QLabel(QStringLiteral("ACTUAL"), m_group);
    auto *before = new QLabel(QStringLiteral("BEFORE"), m_group);
    grid->addWidget(actual, 0, 1, Qt::AlignHCenter);
    grid->addWidget(before, 0, 2, Qt::AlignHCenter);
    for (int k = 0; k < WarningRegister::WarningCount; ++k) {
        QString text = WarningRegister::caption(k);
        if (k == 6)
            text = QStringLiteral("Over current\nstop integrator");
        auto *label = new QLabel(text, m_group);
        label->setObjectName(QStringLiteral("LBit%1").arg(2 * k));
        m_captions[size_t(k)] = label;
        grid->addWidget(label, k + 1, 0);
        for (int latched = 0; latched < 2; ++latched) {
            const int bit = 2 * k + latched;
            auto *box = new QCheckBox(m_group);
            box->setObjectName(QStringLiteral("CBBit%1").arg(bit));
            box->setEnabled(false);
            m_boxes[size_t(bit)] = box;
            grid->addWidget(box, k + 1, 1 + latched, Qt::AlignHCenter);
        }
        m_boxes[size_t(2 * k + 1)]->setToolTip(m_history.toolTip(k));
    }
    grid->setColumnStretch(0, 1);
    layout->addWidget(m_group);

    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    m_clear->setObjectName(QStringLiteral("ClearB"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_clear);
    layout->addLayout(buttons);
    connect(m_clear, &QPushButton::clicked, this, &TFormRegWarning::ClearBClick);
    context.connectedControls().addWhileConnected(m_clear);

    applyProfile(ModelProfile());
    connect(&context, &WindowContext::deviceIdentified, this, &TFormRegWarning::applyProfile);
    context.frame().setDisplayHook(DisplayStep::Warning,
                                   [this](const DisplayUpdate &, const ReceivedValues &) {
                                       if (isVisible())
                                           displayWarnings();
                                   });
}

void TFormRegWarning::applyProfile(const ModelProfile &profile)
{
    for (int k = 0; k < WarningRegister::WarningCount; ++k)
        m_captions[size_t(k)]->setEnabled(profile.warningCaptions.test(size_t(2 * k)));
}

void TFormRegWarning::displayWarnings()
{
    uint32_t bits;
    {
        RegisterLockGuard guard(m_context.session().lock());
        bits = m_context.session().Warning.Bits;
    }
    m_history.observe(bits, QDateTime::currentDateTime());
    for (int bit = 0; bit < 32; ++bit) {
        QCheckBox *box = m_boxes[size_t(bit)];
        const QSignalBlocker blocker(box);
        const bool set = WarningRegister::bitSet(bits, bit);
        box->setChecked(set);
        showBox(box, set, bit % 2 == 0 ? PresentTint : LatchedTint);
    }
    for (int k = 0; k < WarningRegister::WarningCount; ++k)
        showCaption(m_captions[size_t(k)], WarningRegister::bitSet(bits, 2 * k),
                    WarningRegister::bitSet(bits, 2 * k + 1));
    for (int k = 0; k < WarningRegister::WarningCount; ++k)
        m_boxes[size_t(2 * k + 1)]->setToolTip(m_history.toolTip(k));
    m_group->setTitle(WarningRegister::groupTitle(bits));
}

void TFormRegWarning::ClearBClick()
{
    WarningRegister::requestClear(m_context.session()); // a refusal is logged
    m_history.clear();
}

void TFormRegWarning::showEvent(QShowEvent *event)
{
    m_context.session().WarningWindowVisible = true;
    ToolWindow::showEvent(event);
}

void TFormRegWarning::hideEvent(QHideEvent *event)
{
    m_context.session().WarningWindowVisible = false;
    ToolWindow::hideEvent(event);
}
