// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"
#include "panel/AutoChangeTick.h"
#include "panel/AxisSetting.h"
#include "platform/ThreadHandOver.h"
#include "ui/widgets/ConnectedControls.h"
#include "ui/widgets/GuiSessionBridge.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class ConsignModel;
class LiveRecorder;
class QAction;
class QLMCSession;
class QTimer;
class QWidget;
class TThreadInputTimer;
struct DisplayUpdate;
struct ModelProfile;

class GraphsPanel;
class RefreshPanel;
class RegulationModePanel;
class RegulationParametersPanel;

class TFormAbout;
class TFormAutoTuning;
class TFormCalibration;
class TFormChangeIPAdd;
class TFormEnhancedCmd;
class TFormFile;
class TFormFleet;
class TFormInformation;
class TFormIOState;
class TFormKRVRemote;
class TFormLimits;
class TFormParamIP;
class TFormRegOption;
class TFormRegWarning;
class TFormScanUDP;
class TFormTime;

/// The tool windows, known once they exist (null before, and in a window tested alone).
struct ToolWindows
{
    TFormRegOption *regOption = nullptr;
    TFormRegWarning *regWarning = nullptr;
    TFormAbout *about = nullptr;
    TFormAutoTuning *autoTuning = nullptr;
    TFormCalibration *calibration = nullptr;
    TFormChangeIPAdd *changeIPAdd = nullptr;
    TFormFile *file = nullptr;
    TFormInformation *information = nullptr;
    TFormLimits *limits = nullptr;
    TFormEnhancedCmd *enhancedCmd = nullptr;
    TFormParamIP *paramIP = nullptr;
    TFormScanUDP *scanUDP = nullptr;
    TFormIOState *ioState = nullptr;
    TFormKRVRemote *krvRemote = nullptr;
    TFormTime *time = nullptr;
    TFormFleet *fleet = nullptr;
};

/// The groups of the main panel that other windows ask something of, filled
/// by the main window as it builds them (they live as long as it does).
struct MainPanels
{
    RefreshPanel *refresh = nullptr;                           ///< "Refresh", "Graphic"
    RegulationParametersPanel *regulationParameters = nullptr; ///< PID and feed-forward switches
    RegulationModePanel *regulationMode = nullptr;             ///< the mode buttons
    GraphsPanel *graphs = nullptr;                             ///< the chart pages
};

/// Steps of the display routine that belong to other groups and windows, in
/// the order the routine runs them. A step's hook runs only when the display
/// update has something for it (the field named here is set or not empty).
enum class DisplayStep {
    ConsignEdit,          ///< consText: ECons shows Input (after the input "Read")
    LoopTime,             ///< loopTimeOption (the loop-time menu shows it without a hook)
    RegulationMode,       ///< regulationMode: the mode buttons
    RegulationParameters, ///< parameters: the edits and track bars of these parameters
    Warning,              ///< warning: the warning window refreshes when shown
    IOState,              ///< io: the I/O window refreshes when visible
};

/// What the main window's frame does for the other windows: its status bar,
/// the identification it adapts to, and the display routine (TFormMain).
class MainFrame
{
public:
    /// A display step: \a update is what this run shows, \a values the
    /// displayed copy of the live values.
    using DisplayHook =
        std::function<void(const DisplayUpdate &update, const ReceivedValues &values)>;

    /// Status panel \a panel (0..9) shows \a text.
    virtual void setStatusText(int panel, const QString &text) = 0;
    /// The communication indicator `PanelCom`: navy while connected.
    virtual void setComIndicator(bool connected) = 0;
    /// Adapts the window to an identified controller; then
    /// WindowContext::deviceIdentified tells the others.
    virtual void applyIdentification(const ModelProfile &profile) = 0;

    /// The display routine (TimerDisplayAll's tick runs it once).
    virtual void runDisplay() = 0;
    /// Runs \a hook as the display routine's \a step (one hook per step).
    virtual void setDisplayHook(DisplayStep step, DisplayHook hook) = 0;
    /// The values of the last display run (DisplayedValues).
    virtual const ReceivedValues &displayedValues() const = 0;
    /// TimerDisplayAll: its timeout runs the display routine.
    virtual QTimer &displayTimer() = 0;

protected:
    ~MainFrame() = default;
};

/// What the windows and the main window's groups share, handed to each of them
/// instead of the main window: the session with the objects built on it (live
/// recorder, consign model and its auto-change thread), the session bridge,
/// the connected-controls registry, the tool windows and main-panel groups
/// that others ask something of, the main window's frame, and the signals
/// that pass between the groups and windows.
///
/// The main window creates it first and destroys it before its child widgets:
/// no group may use it in its destructor.
class WindowContext : public QObject
{
    Q_OBJECT

public:
    /// \a mainWindow parents the tool windows; \a frame is its status bar and
    /// display routine.
    WindowContext(QWidget &mainWindow, MainFrame &frame);
    /// Ends the auto-change thread first, then the recorder and the session.
    ~WindowContext() override;

    QWidget *mainWindow() const { return &m_mainWindow; }
    MainFrame &frame() const { return m_frame; }

    /// RegisterLock, register image, live values.
    QLMCSession &session() const { return *m_session; }
    GuiSessionBridge &sessionBridge() { return m_bridge; }
    ConnectedControls &connectedControls() { return m_connectedControls; }
    /// Records the session's polled read cycles into a file while started.
    LiveRecorder &recorder() const { return *m_recorder; }
    /// The consign state of the mode buttons and the input group.
    ConsignModel &consignModel() const { return *m_consign; }
    /// The consign auto-change thread (created suspended); its updates arrive
    /// as autoChangeUpdated().
    TThreadInputTimer &inputTimer() const { return *m_inputTimer; }

    void setToolWindows(const ToolWindows &windows) { m_windows = windows; }
    const ToolWindows &toolWindows() const { return m_windows; }
    void setPanels(const MainPanels &panels) { m_panels = panels; }
    const MainPanels &panels() const { return m_panels; }

    // --- STOP -------------------------------------------------------------------
    /// objectName of the STOP action.
    static constexpr const char *DriverStopActionName = "ActionDriverStop";
    /// The one STOP of every window, `ActionDriverStop` (shortcut Esc, in the
    /// window it is added to): the main window carries it with its STOP button
    /// `BDriverStop`, and every tool window adds it (ToolWindow), so Esc stops
    /// the motor wherever the keyboard focus is, except in a modal dialog
    /// (Esc closes it as usual). Enabled while connected.
    QAction *driverStopAction() const { return m_driverStop; }
    /// "Driver Stop" now (driverStop() in src/panel: the write goes out as
    /// the sender's next packet, the auto change is switched to "No"), then
    /// driverStopped() lets the mode group and the input group show it.
    /// Returns false when no connection is open (nothing was sent).
    bool stopMotor();

    /// The shared PulsesPerMicrometre factor (1.0 until the wavelength remote sets it).
    float pulsesPerMicrometre() const { return m_pulsesPerMicrometre; }
    void setPulsesPerMicrometre(float factor) { m_pulsesPerMicrometre = factor; }
    /// The controller is a stepper working in micro-steps (set by the identification).
    bool stepperUnits() const { return m_stepperUnits; }
    void setStepperUnits(bool on) { m_stepperUnits = on; }

signals:
    /// The main window was shown (the acceleration and deceleration titles,
    /// the hidden "Position um" tab).
    void formShown();
    /// The "Interface refresh" position (the micrometre chart's bottom
    /// increment becomes \a position x 100).
    void refreshTrackChanged(int position);
    /// The input group selects auto change "No".
    void autoChangeOffRequested();
    /// A STOP was made (stopMotor()): the auto change is "No" in the model;
    /// with \a sent the "Driver Stop" write is on its way and the mode group
    /// shows it.
    void driverStopped(bool sent);
    /// A connection opened: the input track bar takes its start position.
    void consignStateResetRequested();
    /// After every identification (the main window has adapted itself).
    void deviceIdentified(const ModelProfile &profile);
    /// A mode was clicked: the regulation-parameter titles at these indexes
    /// (panel order, indexOf(RegulationParameterId)) turn red, all others take
    /// the normal window-text colour.
    void parameterTitlesColoured(const QList<int> &redTitles);
    /// The position chart's left axis returns to automatic scaling.
    void positionAxisAutomatic();
    /// The position chart's left axis is fixed: manual scaling over \a setting,
    /// its ends set in the order the setting gives.
    void positionAxisRequested(const AxisSetting &setting);
    /// A range edit was confirmed in "Wait mode" or "Position traj.": the
    /// left-axis minimum (\a minimum true) or maximum of the position chart
    /// becomes \a value and that of the position-in-micrometres chart
    /// \a micrometres (NaN: left as it is).
    void positionAxisEndRequested(bool minimum, double value, double micrometres);
    /// The wavelength remote shows (or hides) the "Position um" tab.
    void micrometreTabRequested(bool visible);
    /// The micrometre chart's left axis becomes manual over \a minimum ..
    /// \a maximum, both ends in one step (the minimum never passes the maximum).
    void micrometreAxisRequested(double minimum, double maximum);
    /// The micrometre chart's value labels: thousands grouped, at most \a decimals decimals.
    void micrometreLabelsRequested(int decimals);
    /// One tick of the auto-change thread, on the user-interface thread, in
    /// the order of the ticks.
    void autoChangeUpdated(const AutoChangeUpdate &update);

private:
    QWidget &m_mainWindow;
    MainFrame &m_frame;
    GuiSessionBridge m_bridge;
    std::unique_ptr<QLMCSession> m_session;
    std::unique_ptr<LiveRecorder> m_recorder;
    std::unique_ptr<ConsignModel> m_consign;
    /// Carries the auto-change thread's updates; outlives the thread.
    ThreadHandOver m_autoChangeHandOver;
    std::unique_ptr<TThreadInputTimer> m_inputTimer;
    ConnectedControls m_connectedControls;
    QAction *m_driverStop = nullptr;
    ToolWindows m_windows;
    MainPanels m_panels;
    float m_pulsesPerMicrometre = 1.0f;
    bool m_stepperUnits = false;
};
