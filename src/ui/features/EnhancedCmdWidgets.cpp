// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/features/EnhancedCmdWidgets.h"

#include "ui/widgets/EditColour.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>

namespace EnhancedCmdWidgets {

namespace {
const char *const GreyedProperty = "tarvineGreyed";
const char *const RedProperty = "tarvineTraceRed";
const QColor Grey(160, 160, 164);
} // namespace

void setTextGreyed(QWidget *widget, bool greyed)
{
    if (!widget || isTextGreyed(widget) == greyed)
        return;
    widget->setProperty(GreyedProperty, greyed);
    QPalette palette = widget->palette();
    const QPalette normal = widget->style()->standardPalette();
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Active, role, greyed ? Grey : normal.color(QPalette::Active, role));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Inactive, role,
                         greyed ? Grey : normal.color(QPalette::Inactive, role));
    widget->setPalette(palette);
}

bool isTextGreyed(const QWidget *widget)
{
    return widget && widget->property(GreyedProperty).toBool();
}

void setTraceRed(QGroupBox *group, QLabel *label, bool red)
{
    if (group && group->property(RedProperty).toBool() != red) {
        group->setProperty(RedProperty, red);
        // Only the title: a palette would colour every control of the group.
        group->setStyleSheet(red ? QStringLiteral("QGroupBox#%1::title { color: red; }")
                                       .arg(group->objectName())
                                 : QString());
    }
    if (label && label->property(RedProperty).toBool() != red) {
        label->setProperty(RedProperty, red);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText,
                         red ? QColor(Qt::red)
                             : label->style()->standardPalette().color(QPalette::WindowText));
        label->setPalette(palette);
    }
}

bool isTraceRed(const QWidget *widget)
{
    return widget && widget->property(RedProperty).toBool();
}

void renderEdit(QLineEdit *edit, const QString &text, bool red)
{
    if (edit->text() != text) {
        const QSignalBlocker blocker(edit);
        edit->setText(text);
        edit->setCursorPosition(int(text.size()));
    }
    setEditValid(edit, !red);
}

QLineEdit *makeEdit(QWidget *parent, const char *name, int maxLength)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(maxLength);
    return edit;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

} // namespace EnhancedCmdWidgets
