// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class WindowContext;

/// The saving indicator: a small borderless red window saying that parameters
/// are being saved, centred on the main window whenever it is shown. Shown
/// modally for a few seconds after a save command (ShowFor), or plainly with
/// show() and close() while a parameter file is written.
class TFormTime : public QDialog
{
    Q_OBJECT

public:
    static constexpr int WindowWidth = 180;
    static constexpr int WindowHeight = 110;
    static constexpr int TickMs = 250;
    static constexpr int TicksPerSecond = 1000 / TickMs;

    explicit TFormTime(WindowContext &context);

    QLabel *label() const { return m_label; }
    QTimer &timer() { return m_timerSave; }
    int ticksLeft() const { return m_ticks; }

    /// Shows the window modally for \a seconds (closing at the first tick for
    /// 0 or less) with the label cycling through "Saving parameters" and one
    /// to three dots; returns when it has closed.
    void ShowFor(int seconds);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void TimerSaveTimer();

    QLabel *m_label;
    QTimer m_timerSave;
    int m_ticks = 0; ///< 250 ms ticks left
};
