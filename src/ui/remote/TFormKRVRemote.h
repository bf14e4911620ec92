// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "panel/ModeTable.h"
#include "remote/RemoteLog.h"
#include "remote/RemoteSettings.h"
#include "ui/widgets/ToolWindow.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class WindowContext;
struct ReceivedValues;

/// The wavelength remote: sends the axis to the presets of "KRVRemote.ini",
/// trims it in micrometres, switches the main window's modes, scales the
/// main window's "Position um" chart and captures and exports a motion log.
/// The settings, conversions and log are core code (RemoteSettings, RemoteLog);
/// this window builds the controls and wires them.
class TFormKRVRemote : public ToolWindow
{
    Q_OBJECT

public:
    explicit TFormKRVRemote(WindowContext &context);

    /// The settings file read at every show (remoteSettingsPath() unless set).
    void setSettingsPath(const QString &path) { m_settingsPath = path; }
    /// Asks for the export file name (a save dialog unless set); empty: cancelled.
    using NameChooser = std::function<QString(QWidget *parent, const QString &filter)>;
    void setExportNameChooser(NameChooser chooser) { m_chooser = std::move(chooser); }

    const RemoteSettings &settings() const { return m_settings; }
    const RemoteLog &log() const { return m_log; }
    int zoomMicrometres() const { return m_zoomMicrometres; }
    QString currentWaveLength() const { return m_currentWaveLength; }

    void CBKRVRemoteWavelengthChange();
    void BKRVRemoteWaveLengthGoClick();
    /// Picks the wavelength preset at \a index (the last one when there are
    /// fewer), as choosing it in the list does.
    void selectWavelength(int index);
    void BKRVRemoteWaveLengthGoHomeClick();
    void BKRVRemoteAdjustPlusClick();
    void BKRVRemoteAdjustMinusClick();
    void BKRVRemoteStopClick();
    void BKRVRemoteManualClick();
    void BKRVRemoteDriveClick();
    void BKRVZoomUpClick();
    void BKRVZoomDownClick();
    void BKRVStartLogFileClick();
    void BKRVStopLogFileClick();
    void BKRVExportLogFileClick();
    /// Sets the bounds of the micrometre chart's left axis (zoomed or over the presets).
    void UpdatePositionAxis();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildControls();
    void EKRVRemoteAdjustChange();
    void sendAdjustment(bool plus);
    void showRefusal(const std::optional<QString> &refusal);
    void selectMode(RegulationMode mode);
    void logSample(const ReceivedValues &values);
    void displayPosition();
    void setZoom(int micrometres);

    WindowContext &m_context;
    QString m_settingsPath;
    NameChooser m_chooser;
    RemoteSettings m_settings;
    RemoteLog m_log;
    QElapsedTimer m_logStart;
    int m_zoomMicrometres = 1;
    QString m_currentWaveLength;
    int64_t m_adjustHundredths = -1; ///< the valid adjustment in force, -1 when invalid

    QLabel *m_factorValue = nullptr;
    QComboBox *m_wavelength = nullptr;
    QPushButton *m_goHome = nullptr;
    QPushButton *m_go = nullptr;
    QCheckBox *m_homeGoActive = nullptr;
    QLineEdit *m_adjust = nullptr;
    QPushButton *m_adjustPlus = nullptr;
    QPushButton *m_adjustMinus = nullptr;
    QLabel *m_position = nullptr;
    QCheckBox *m_zoom = nullptr;
    QLabel *m_zoomOffset = nullptr;
    QPushButton *m_startLog = nullptr;
    QPushButton *m_stopLog = nullptr;
    QPushButton *m_exportLog = nullptr;
    QLabel *m_logCount = nullptr;
    QLabel *m_version = nullptr;
    QLabel *m_refusal = nullptr;
};
