#include "ui/widgets/EditColour.h"

#include <QLineEdit>
#include <QPalette>
#include <QStyle>

namespace {
const char *const InvalidProperty = "tarvineInvalid";
}

void setEditValid(QLineEdit *edit, bool valid)
{
    if (!edit || isEditMarkedInvalid(edit) == !valid)
        return;
    edit->setProperty(InvalidProperty, !valid);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, valid ? edit->style()->standardPalette().color(QPalette::Base)
                                           : QColor(Qt::red));
    edit->setPalette(palette);
}

bool isEditMarkedInvalid(const QLineEdit *edit)
{
    return edit && edit->property(InvalidProperty).toBool();
}
