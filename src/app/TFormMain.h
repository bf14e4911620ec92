// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/ReceivedValues.h"
#include "ui/main/MainPanelSlot.h"
#include "ui/widgets/WindowContext.h"

#include <QMainWindow>
#include <QSize>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class CommandRunner;
class DisplayPanel;
class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLMCConnection;
class QMenu;
class QPushButton;
class QTabWidget;
class QVBoxLayout;
class RefreshPanel;
struct DisplayUpdate;
struct ModelProfile;

/// The main window "Ethernet Motor Controller": owns the window context (the
/// session and what the windows share), the menu from which every tool window
/// is opened, the status bar, the live read-outs and the display routine.
///
/// How the main panel is put together (for the developers of its groups):
///  - Each group is a panel class in src/ui/main/ that receives the
///    WindowContext, never the main window. TFormMain::buildMainPanels()
///    creates them; a group takes its place with
///    installPanel(MainPanelSlot::X, new XPanel(context())), which replaces the
///    slot's placeholder. The panel is usually a QGroupBox with the group's
///    title and the placeholder's objectName. reservedSize(X) is the room the
///    window keeps for it at 1008 x 557; a larger panel squeezes the graph pages.
///  - The graph pages: graphPages() is `PageControlGraph`, an empty QTabWidget
///    that takes all free room and grows with the window; GraphsPanel adds the
///    chart tabs to it.
///  - The display routine (runDisplay) takes the live values and their flags,
///    lets displayUpdate() (src/panel/DisplayText.h) decide what changes,
///    shows the read-outs and status panels itself and runs the steps of
///    other groups through setDisplayHook(DisplayStep, hook), in the order of
///    DisplayStep. The groups reach it as the context's frame() (MainFrame).
///  - The groups and windows talk to each other through the context's signals
///    and through named calls on the panels the context lists (panels()).
///  - The context is destroyed before the window's child widgets: panels must
///    not use it in their destructors.
class TFormMain : public QMainWindow, public MainFrame
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

    /// What the windows and groups share (session, bridge, registries, signals).
    WindowContext &context() { return *m_context; }

    /// Shows the state of \a connection (the connection window's) in the status
    /// bar and the communication indicator, and adapts to its identifications.
    void followConnection(QLMCConnection &connection);

    // --- Main panel ------------------------------------------------------------
    /// Puts \a panel in \a slot in place of what is there (TFormMain owns it).
    void installPanel(MainPanelSlot slot, QWidget *panel);
    /// What \a slot holds now: its placeholder or the installed panel.
    QWidget *panelAt(MainPanelSlot slot) const;
    QTabWidget *graphPages() const { return m_graphPages; }
    DisplayPanel *displayPanel() const { return m_display; }
    RefreshPanel *refreshPanel() const { return m_refresh; }
    QCheckBox *pollingCheckBox() const;
    QCheckBox *graphicCheckBox() const;
    /// The STOP button `BDriverStop`, at the right end of the menu bar, where
    /// no tool window covers it; it triggers `ActionDriverStop` (Esc).
    QPushButton *driverStopButton() const { return m_driverStopButton; }

    // --- Frame (MainFrame) -------------------------------------------------------
    void setDisplayHook(DisplayStep step, DisplayHook hook) override;
    const ReceivedValues &displayedValues() const override { return m_displayed; }
    QTimer &displayTimer() override { return m_timerDisplayAll; }
    void setStatusText(int panel, const QString &text) override;
    QString statusText(int panel) const;
    void setComIndicator(bool connected) override;
    /// Adapts the window to an identified controller: caption, read-out titles,
    /// stepper units, menus and the texts of status panels 6 to 8.
    void applyIdentification(const ModelProfile &profile) override;
    void runDisplay() override;

    // --- Commands ----------------------------------------------------------------
    /// The Communication / "Close" command: "Refresh" off, then close the connection.
    void closeCommunication();
    /// Shows the loop-time option \a value in the menu (7 or more: no item checked).
    void showLoopTime(int value);
    /// Runs the system commands ("Reset ARP"); tests inject a recorder.
    void setCommandRunner(CommandRunner *runner);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Slot
    {
        QVBoxLayout *layout = nullptr;
        QWidget *content = nullptr;
    };

    void buildMenus();
    void buildStatusBar();
    void buildCentral();
    void buildStopButton();
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
    const ToolWindows &windows() const { return m_context->toolWindows(); }

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

    QTimer m_timerDisplayAll;
    std::unique_ptr<WindowContext> m_context;
    CommandRunner *m_commandRunner = nullptr;
    ReceivedValues m_displayed;

    std::array<Slot, 4> m_slots;
    std::array<DisplayHook, 6> m_displayHooks;
    DisplayPanel *m_display = nullptr;
    RefreshPanel *m_refresh = nullptr;
    QTabWidget *m_graphPages = nullptr;
    std::array<QLabel *, StatusPanelCount> m_statusPanels{};
    QFrame *m_panelCom = nullptr;
    QPushButton *m_driverStopButton = nullptr;

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
