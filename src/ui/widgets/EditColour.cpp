#include "ui/widgets/EditColour.h"

#include <QApplication>
#include <QLineEdit>
#include <QPalette>

namespace {
const char *const InvalidProperty = "tarvineInvalid";
}

void setEditValid(QLineEdit *edit, bool valid)
{
    if (!edit || isEditMarkedInvalid(edit) == !valid)
        return;
    edit->setProperty(InvalidProperty, !valid);
    // Only the groups of an enabled edit are coloured (active and inactive
    // window): a disabled edit keeps the style's disabled look, so that it
    // never looks editable. A valid text takes the colour the edit inherits.
    const QPalette inherited =
        edit->parentWidget() ? edit->parentWidget()->palette() : QApplication::palette(edit);
    QPalette palette = edit->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::Base,
                         valid ? inherited.color(group, QPalette::Base) : QColor(Qt::red));
    edit->setPalette(palette);
}

bool isEditMarkedInvalid(const QLineEdit *edit)
{
    return edit && edit->property(InvalidProperty).toBool();
}
