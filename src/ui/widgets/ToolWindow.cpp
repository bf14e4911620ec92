// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/ToolWindow.h"

#include "ui/widgets/WindowContext.h"

#include <QAction>
#include <QShowEvent>

ToolWindow::ToolWindow(QWidget *mainWindow, const QString &objectName, const QString &caption)
    : QWidget(mainWindow, Qt::Window)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    // The main window's STOP: Esc here stops the motor as it does there.
    if (mainWindow)
        for (QAction *action : mainWindow->actions())
            if (action->objectName() == QLatin1String(WindowContext::DriverStopActionName))
                addAction(action);
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
