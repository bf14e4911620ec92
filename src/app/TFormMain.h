#pragma once

#include "device/ReceivedValues.h"
#include "panel/AxisSetting.h"
#include "ui/widgets/ConnectedControls.h"
#include "ui/widgets/GuiSessionBridge.h"

#include <QMainWindow>
#include <QSize>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class CommandRunner;
class ConsignModel;
class DisplayPanel;
class LiveRecorder;
class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLMCSession;
class QMenu;
class QTabWidget;
class QVBoxLayout;
class RefreshPanel;
struct DisplayUpdate;
struct ModelProfile;
class TThreadInputTimer;

class TFormAbout;
class TFormAutoTuning;
class TFormCalibration;
class TFormChangeIPAdd;
class TFormEnhancedCmd;
class TFormFile;
class TFormInformation;
class TFormIOState;
class TFormKRVRemote;
class TFormLimits;
class TFormParamIP;
class TFormRegOption;
class TFormRegWarning;
class TFormScanUDP;
class TFormTime;

/// The tool windows the main window opens from its menu, known once they exist.
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
};

/// The places of the main window that the groups of the main panel fill. Each
/// holds a placeholder group box (with the group's title and objectName) until
/// its panel is installed.
enum class MainPanelSlot {
    RegulationParameters, ///< "Regulation parameters" (GBRegulationParameters)
    RegulationMode,       ///< "0x20-Regul. mode" (GBRegulationMode)
    Input,                ///< "0x21-Input" (GBInput)
    Eeprom,               ///< "Save and restore (EEprom)" and the two red command panels (GBEeprom)
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

/// The main window "Ethernet Motor Controller": owns the session (RegisterLock,
/// register image, live values), the menu from which every tool window is
/// opened, the status bar, the live read-outs and the display routine.
///
/// How the main panel is put together (for the developers of its groups):
///  - Each group is a panel class in src/ui/main/. TFormMain::buildMainPanels()
///    creates them; a group takes its place with
///    installPanel(MainPanelSlot::X, new XPanel(*this)), which replaces the
///    slot's placeholder. The panel is usually a QGroupBox with the group's
///    title and the placeholder's objectName. reservedSize(X) is the room the
///    window keeps for it at 1008 x 557; a larger panel squeezes the graph pages.
///  - The graph pages: graphPages() is `PageControlGraph`, an empty QTabWidget
///    that takes all free room and grows with the window; add the chart tabs to it.
///    refreshTrackChanged(p) carries the "Interface refresh" position (the
///    micrometre chart's bottom increment becomes p x 100); graphSample()
///    signals of sessionBridge() carry the samples; displayedValues() holds the
///    values of the last display run (for the "Reset scale" buttons).
///  - The display routine (runDisplay) takes the live values and their flags,
///    lets displayUpdate() (src/panel/DisplayText.h) decide what changes,
///    shows the read-outs and status panels itself and runs the steps of
///    other groups through setDisplayHook(DisplayStep, hook), in the order of
///    DisplayStep.
///  - formShown() runs at every show (the acceleration and deceleration titles,
///    the hidden "Position um" tab); autoChangeOffRequested() asks the input
///    group to select auto change "No"; consignStateResetRequested() comes at
///    every connection open; deviceIdentified() after every identification.
///  - The mode and input groups share consignModel() (consignModel().checkedMode()
///    is the checked mode) and tell the other groups through
///    parameterTitlesColoured() (the red parameter titles) and
///    positionAxisAutomatic(), positionAxisRequested() and
///    positionAxisEndRequested() (the position chart's left axis); the
///    wavelength remote drives the micrometre chart through
///    micrometreTabRequested(), micrometreAxisRequested() and micrometreLabelsRequested().
///  - watchSpaceBar(TBCons): the space bar on the input track bar toggles "Refresh".
///  - connectedControls(): register every control that needs a connection.
///  - Panels must not use the session in their destructors: the session is
///    released before the window's child widgets are destroyed.
class TFormMain : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int ClientWidth = 1008;
    static constexpr int ClientHeight = 557; ///< below the menu bar, status bar included
    /// Smallest outer window size; Qt's minimum excludes the frame, so the usual
    /// frame (FrameWidth x FrameHeight: borders and title bar) is taken off it.
    static constexpr QSize MinimumFrameSize{950, 615};
    static constexpr int FrameWidth = 16;
    static constexpr int FrameHeight = 39;
    static constexpr int StatusPanelCount = 10;
    /// Display timer interval; the decoder arms it every DisplayDivider answers.
    static constexpr int DisplayIntervalMs = 50;

    explicit TFormMain(QWidget *parent = nullptr);
    ~TFormMain() override;

    QLMCSession &session() { return *m_session; }
    /// Records the session's polled read cycles into a file while started.
    LiveRecorder &recorder() { return *m_recorder; }
    GuiSessionBridge &sessionBridge() { return m_bridge; }
    ConnectedControls &connectedControls() { return m_connectedControls; }

    void setToolWindows(const ToolWindows &windows);
    const ToolWindows &toolWindows() const { return m_windows; }

    // --- Main panel ------------------------------------------------------------
    /// Puts \a panel in \a slot in place of what is there (TFormMain owns it).
    void installPanel(MainPanelSlot slot, QWidget *panel);
    /// What \a slot holds now: its placeholder or the installed panel.
    QWidget *panelAt(MainPanelSlot slot) const;
    static QSize reservedSize(MainPanelSlot slot);
    QTabWidget *graphPages() const { return m_graphPages; }
    DisplayPanel *displayPanel() const { return m_display; }
    RefreshPanel *refreshPanel() const { return m_refresh; }
    QCheckBox *pollingCheckBox() const;
    QCheckBox *graphicCheckBox() const;
    /// The space bar pressed while \a trackBar has the focus toggles "Refresh".
    void watchSpaceBar(QWidget *trackBar);

    /// A display step: \a update is what this run shows, \a values the
    /// displayed copy of the live values.
    using DisplayHook =
        std::function<void(const DisplayUpdate &update, const ReceivedValues &values)>;
    void setDisplayHook(DisplayStep step, DisplayHook hook);
    /// The values of the last display run (DisplayedValues).
    const ReceivedValues &displayedValues() const { return m_displayed; }
    QTimer &displayTimer() { return m_timerDisplayAll; }

    /// The consign state of the mode buttons and the input group (ConsignValue,
    /// the ranges, the auto-change choice ...).
    ConsignModel &consignModel() { return *m_consign; }
    /// The consign auto-change thread (created suspended).
    TThreadInputTimer &inputTimer() { return *m_inputTimer; }
    /// The shared PulsesPerMicrometre factor (1.0 until the wavelength remote sets it).
    float pulsesPerMicrometre() const { return m_pulsesPerMicrometre; }
    void setPulsesPerMicrometre(float factor) { m_pulsesPerMicrometre = factor; }

    /// The controller is a stepper working in micro-steps (set by the identification).
    bool stepperUnits() const { return m_stepperUnits; }
    void setStepperUnits(bool on) { m_stepperUnits = on; }

    // --- Status bar ------------------------------------------------------------
    void setStatusText(int panel, const QString &text);
    /// The tool tip of a status panel (panel 0: why the link failed).
    void setStatusToolTip(int panel, const QString &text);
    QString statusText(int panel) const;
    /// The communication indicator `PanelCom`: navy while connected.
    void setComIndicator(bool connected);

    /// Adapts the window to an identified controller: caption, read-out titles,
    /// stepper units, menus and the texts of status panels 6 to 8.
    void applyIdentification(const ModelProfile &profile);

    // --- Commands ----------------------------------------------------------------
    /// The Communication / "Close" command: "Refresh" off, then close the connection.
    void closeCommunication();
    /// The display routine (TimerDisplayAll's tick runs it once).
    void runDisplay();
    /// Shows the loop-time option \a value in the menu (7 or more: no item checked).
    void showLoopTime(int value);
    /// Runs the system commands ("Reset ARP"); tests inject a recorder.
    void setCommandRunner(CommandRunner *runner);

signals:
    void formShown();
    void refreshTrackChanged(int position);
    void autoChangeOffRequested();
    void consignStateResetRequested();
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

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Slot
    {
        QVBoxLayout *layout = nullptr;
        QWidget *content = nullptr;
    };

    void buildMenus();
    void buildStatusBar();
    void buildCentral();
    void buildMainPanels();
    void registerConnectedControls();
    void showDeviceName();
    /// Every connection open: the read-outs and status panels 4 to 9 show that
    /// nothing was received yet ("-"), until the new device's answers arrive.
    void showNothingReceived();
    QWidget *makeSlot(MainPanelSlot slot, const char *name, const QString &title);
    QAction *addItem(QMenu *menu, const char *name, const QString &text,
                     void (TFormMain::*handler)());
    QAction *addBarItem(const char *name, const QString &text, void (TFormMain::*handler)());
    void runHook(DisplayStep step, bool due, const DisplayUpdate &update);
    static void showTool(QWidget *window);

    // Menu handlers.
    void MenuFileSaveClick();
    void MenuFileOpenClick();
    void MenuComParamClick();
    void MenuComStatisticsClick();
    void MenuComScanClick();
    void MenuComIPConfigClick();
    void MenuComOpenClick();
    void MenuComCloseClick();
    void MenuComResetARPClick();
    void MenuLoopTimeClick();
    void MenuLoopTimeItemClick(int value);
    void MenuOptionsClick();
    void MenuWarningClick();
    void MenuLimitsClick();
    void MenuHomingClick();
    void MenuAutotuningClick();
    void MenuLoopsInputClick();
    void MenuIOstateClick();
    void MenuAboutClick();
    void MenuRemoteClick();
    void TimerDisplayAllTimer();

    GuiSessionBridge m_bridge;
    std::unique_ptr<QLMCSession> m_session;
    std::unique_ptr<LiveRecorder> m_recorder;
    std::unique_ptr<ConsignModel> m_consign;
    std::unique_ptr<TThreadInputTimer> m_inputTimer;
    float m_pulsesPerMicrometre = 1.0f;
    CommandRunner *m_commandRunner = nullptr;
    ConnectedControls m_connectedControls;
    ToolWindows m_windows;
    QTimer m_timerDisplayAll;
    ReceivedValues m_displayed;
    bool m_stepperUnits = false;

    std::array<Slot, 4> m_slots;
    std::array<DisplayHook, 6> m_displayHooks;
    DisplayPanel *m_display = nullptr;
    RefreshPanel *m_refresh = nullptr;
    QTabWidget *m_graphPages = nullptr;
    std::array<QLabel *, StatusPanelCount> m_statusPanels{};
    QFrame *m_panelCom = nullptr;

    QMenu *m_loopTimeMenu = nullptr;
    std::array<QAction *, 7> m_loopTimeItems{}; // index = value of 0x2D
    QAction *m_menuFileSave = nullptr;
    QAction *m_menuFileOpen = nullptr;
    QAction *m_menuComOpen = nullptr;
    QAction *m_menuComClose = nullptr;
    QAction *m_menuRemote = nullptr;
    QAction *m_menuAutotuning = nullptr;
    QAction *m_menuLoopsInput = nullptr;
    QAction *m_menuIOstate = nullptr;
};
