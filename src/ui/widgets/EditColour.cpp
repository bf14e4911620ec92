// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/EditColour.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>

namespace {
const char *const InvalidProperty = "tarvineInvalid";
const char *const TextBeforeProperty = "tarvineTextBeforeInvalid";
} // namespace

QColor invalidEditBase()
{
    return QColor(255, 160, 160);
}

QColor invalidEditText()
{
    return QColor(0, 0, 0);
}

void setEditValid(QLineEdit *edit, bool valid)
{
    if (!edit || isEditMarkedInvalid(edit) == !valid)
        return;
    edit->setProperty(InvalidProperty, !valid);
    // Only the groups of an enabled edit are coloured (active and inactive
    // window): a disabled edit keeps the style's disabled look, so that it
    // never looks editable. A valid text takes the background the edit
    // inherits and gets back the text colour it had before.
    const QPalette inherited =
        edit->parentWidget() ? edit->parentWidget()->palette() : QApplication::palette(edit);
    QPalette palette = edit->palette();
    const QPalette::ColorGroup groups[] = {QPalette::Active, QPalette::Inactive};
    if (!valid)
        edit->setProperty(TextBeforeProperty,
                          QVariantList{palette.color(groups[0], QPalette::Text),
                                       palette.color(groups[1], QPalette::Text)});
    const QVariantList before = edit->property(TextBeforeProperty).toList();
    for (int i = 0; i < 2; ++i) {
        const QPalette::ColorGroup group = groups[i];
        palette.setColor(group, QPalette::Base,
                         valid ? inherited.color(group, QPalette::Base) : invalidEditBase());
        palette.setColor(group, QPalette::Text,
                         valid ? before.value(i, inherited.color(group, QPalette::Text)).value<QColor>()
                               : invalidEditText());
    }
    edit->setPalette(palette);
}

bool isEditMarkedInvalid(const QLineEdit *edit)
{
    return edit && edit->property(InvalidProperty).toBool();
}
