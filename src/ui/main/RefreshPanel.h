// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLMCSession;
class QSlider;

/// The polling controls of the main window: the "Refresh" check box that
/// switches the live reads on and off, the "Graphic" check box that switches
/// the chart samples on and off, and the "Interface refresh" track bar that
/// sets the length of a send cycle and how often the display runs.
class RefreshPanel : public QWidget
{
    Q_OBJECT

public:
    explicit RefreshPanel(QLMCSession &session, QWidget *parent = nullptr);

    QCheckBox *readData() const { return m_readData; }
    QCheckBox *graphic() const { return m_graphic; }
    QSlider *refreshTrack() const { return m_refresh; }
    /// The labels of the track bar (value, unit, title).
    QList<QWidget *> refreshLabels() const;

    /// Toggles "Refresh" as a click on it does, when it is enabled (the space bar).
    void toggleReadData();
    /// Switches "Refresh" on as a click on it does, when it is enabled and unticked.
    void switchRefreshOn();
    /// The space bar in \a window toggles "Refresh" wherever the keyboard
    /// focus is, except in a text edit (it types a space there): a focused
    /// button ("GO", "Read", the EEPROM and reset buttons, a mode) is never
    /// pressed by it. A window shortcut, `ShortcutRefresh`: it is seen before
    /// the focused control gets the key, and text edits claim their keys.
    void takeSpaceBar(QWidget *window);

signals:
    /// The track bar moved to \a position (1..100).
    void refreshTrackChanged(int position);

private:
    void CBReadDataClick(bool checked);
    void CBGraphicClick(bool checked);
    void TBRefreshChange(int position);

    QLMCSession &m_session;
    QCheckBox *m_readData;
    QCheckBox *m_graphic;
    QSlider *m_refresh;
    QLabel *m_refreshValue;
    QLabel *m_refreshUnit;
    QLabel *m_refreshTitle;
};
