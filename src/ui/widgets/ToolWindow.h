// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QPoint>
#include <QWidget>

/// Base of the tool windows: a window of its own, owned by the main window
/// (so it stays above it and has no task-bar button of its own), that opens
/// 10 pixels right of and 50 pixels below the main window's top-left corner
/// every time it is shown. Esc in a tool window is the main window's STOP
/// (its `ActionDriverStop`), as in the main window itself.
class ToolWindow : public QWidget
{
    Q_OBJECT

public:
    /// Offset of a tool window from the main window's top-left corner.
    static constexpr QPoint Offset{10, 50};

    /// \a mainWindow may be null (a window tested on its own).
    ToolWindow(QWidget *mainWindow, const QString &objectName, const QString &caption);

protected:
    void showEvent(QShowEvent *event) override;
    /// Moves the window to its place when it is shown; override for another place.
    virtual void placeOnShow();

    QWidget *mainWindow() const { return parentWidget(); }
};
