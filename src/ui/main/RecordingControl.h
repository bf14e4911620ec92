// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "record/LiveRecord.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class QAction;
class QLabel;
class QStatusBar;
class WindowContext;

/// The File menu's "Record live values..." item and the status-bar label of a
/// running recording. The item asks for a CSV file and starts the session's
/// recorder; while it runs the item reads "Stop recording" and the label
/// (`StatusRecording`) shows the lines written and the file size. Stopping,
/// closing the connection or quitting ends the file; a write error (a full
/// disk) stops the recording with a message and keeps what was written.
class RecordingControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int ProgressIntervalMs = 500;

    /// Takes \a menuItem (titled, named and wired here); it is enabled only
    /// while connected. The label goes to \a statusBar.
    RecordingControl(WindowContext &context, QStatusBar *statusBar, QAction *menuItem);

    /// Asks for the file name: the file dialog, or a test's stand-in.
    using Chooser = std::function<QString(QWidget *parent)>;
    static Chooser setChooser(Chooser chooser);

    /// The item's click: asks for a file and starts, or stops the recording.
    void MenuFileRecordClick();
    /// Starts recording into \a path; a message tells why when it cannot.
    bool start(const QString &path);
    void stop();
    bool isRecording() const;
    QLabel *statusLabel() const { return m_label; }

private:
    void showProgress();
    void connectionChanged(bool connected);

    WindowContext &m_context;
    QAction *m_menuItem;
    QLabel *m_label;
    QTimer m_progressTimer;
    RecordUnits m_units;
};
