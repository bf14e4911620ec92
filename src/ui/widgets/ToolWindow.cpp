#include "ui/widgets/ToolWindow.h"

#include <QShowEvent>

ToolWindow::ToolWindow(QWidget *mainWindow, const QString &objectName, const QString &caption)
    : QWidget(mainWindow, Qt::Window)
{
    setObjectName(objectName);
    setWindowTitle(caption);
}

void ToolWindow::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        placeOnShow();
    QWidget::showEvent(event);
}

void ToolWindow::placeOnShow()
{
    if (QWidget *main = mainWindow())
        move(main->pos() + Offset);
}
