// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ModelProfile.h"
#include "panel/RegulationPanelModel.h"

#include <QGroupBox>
#include <QTimer>

#include <array>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class WindowContext;
struct DisplayUpdate;

/// The "Regulation parameters" group of the main window: title, track bar and
/// edit of the thirteen regulation parameters, "Read", "Write", "Calc 40%" and
/// the check boxes that switch the PID gains and the feed-forward terms off and on.
///
/// A control is enabled when three things allow it: the connection (the
/// connected-controls registry), the identified model (its profile) and, for
/// the gain and feed-forward track bars and edits, their check box. The
/// registry enables every registered control at the connection's switch; the
/// panel's hook then applies the model's and the check boxes' part.
class RegulationParametersPanel : public QGroupBox
{
    Q_OBJECT

public:
    /// Builds the group, registers its controls with the connection and hooks
    /// it to the window's display routine, show and identification.
    explicit RegulationParametersPanel(WindowContext &context);

    QLabel *titleLabel(RegulationParameterId id) const { return row(id).title; }
    QSlider *trackBar(RegulationParameterId id) const { return row(id).trackBar; }
    QLineEdit *edit(RegulationParameterId id) const { return row(id).edit; }
    QPushButton *readButton() const { return m_read; }
    QPushButton *writeButton() const { return m_write; }
    QPushButton *calculateButton() const { return m_calculate; }
    QCheckBox *pidActive() const { return m_pidActive; }
    QCheckBox *predictiveActive() const { return m_predictiveActive; }
    QTimer &timerReadPID() { return m_timerReadPID; }
    QTimer &timerReadPIDPredictive() { return m_timerReadPIDPredictive; }
    RegulationPanelModel &model() { return m_model; }

    /// Switches the PID gains and the feed-forward terms on, as a click on
    /// each of their check boxes that is enabled and unticked (the switch-on
    /// writes run); the others are left as they are.
    void switchPidAndFeedForwardOn();

    /// Paints the thirteen titles (panel order) red where \a red is set and in
    /// the normal window-text colour elsewhere (the regulation mode decides).
    void setTitlesRed(const std::array<bool, RegulationParameterCount> &red);
    bool isTitleRed(RegulationParameterId id) const;

    /// Shows the received values of the parameters the display run names
    /// (display routine); never writes.
    void showReceived(const DisplayUpdate &update, const ReceivedValues &values);
    /// Adapts titles and enabled states to an identified controller.
    void applyProfile(const ModelProfile &profile);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Row
    {
        QLabel *title = nullptr;
        QSlider *trackBar = nullptr;
        QLineEdit *edit = nullptr;
    };

    const Row &row(RegulationParameterId id) const { return m_rows[size_t(indexOf(id))]; }
    void buildRows();
    void buildLayout();
    void registerControls();

    /// Whether the identified model offers \a id (true before any identification).
    bool profileAllows(RegulationParameterId id) const;
    /// Whether its check box leaves the track bar and edit of \a id enabled.
    bool switchAllows(RegulationParameterId id) const;
    /// Gives every control its enabled state from connection, model and switches.
    void applyEnabledStates();
    void setWriteEnabled(bool valid);
    void applyEnter(RegulationParameterId id, const ParameterEnterResult &result);
    void showReceivedValue(RegulationParameterId id, const ReceivedValues &values);
    void switchControls(std::initializer_list<RegulationParameterId> ids);
    /// Keeps the user-interface thread while the device takes a switch (the
    /// sender thread sends meanwhile).
    static void waitForDevice();

    void EditChange(RegulationParameterId id);
    void EditEnter(RegulationParameterId id);
    void TrackBarChange(RegulationParameterId id, int position);
    void formShown();
    void BReadParamClick();
    void BWriteParamClick();
    void BCalculAntiRWClick();
    void CBPIDActiveClick(bool checked);
    void TimerReadPIDTimer();
    void CBPredictiveActiveClick(bool checked);
    void TimerReadPIDPredictiveTimer();

    WindowContext &m_context;
    RegulationPanelModel m_model;
    std::array<Row, RegulationParameterCount> m_rows;
    std::array<bool, RegulationParameterCount> m_red{};
    QCheckBox *m_pidActive = nullptr;
    QCheckBox *m_predictiveActive = nullptr;
    QPushButton *m_read = nullptr;
    QPushButton *m_write = nullptr;
    QPushButton *m_calculate = nullptr;
    QTimer m_timerReadPID;
    QTimer m_timerReadPIDPredictive;

    std::optional<ModelProfile::RegulationControls> m_profile; ///< none before identification
    bool m_writeValid = true;      ///< the last edit that changed holds a valid text
    bool m_gainsOff = false;       ///< the PID gains were switched to zero
    bool m_feedForwardOff = false; ///< the feed-forward terms were switched to zero
};
