// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/TFormMain.h"

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "panel/DisplayText.h"
#include "panel/LoopTimeMenu.h"
#include "platform/SpawnCommandRunner.h"
#include "ui/connection/LinkCloseQuestion.h"
#include "ui/connection/TFormInformation.h"
#include "ui/fleet/TFormFleet.h"
#include "ui/history/TFormHistory.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/discovery/TFormChangeIPAdd.h"
#include "ui/discovery/TFormScanUDP.h"
#include "ui/features/TFormAutoTuning.h"
#include "ui/features/TFormCalibration.h"
#include "ui/features/TFormEnhancedCmd.h"
#include "ui/features/TFormIOState.h"
#include "ui/features/TFormLimits.h"
#include "ui/features/TFormRegOption.h"
#include "ui/features/TFormRegWarning.h"
#include "ui/files/TFormFile.h"
#include "ui/files/TFormTime.h"
#include "ui/main/DisplayPanel.h"
#include "ui/main/RecordingControl.h"
#include "ui/tuning/TFormStepResponses.h"
#include "ui/main/RefreshPanel.h"
#include "ui/remote/TFormKRVRemote.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/TFormAbout.h"
#include "ui/widgets/VirtualController.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>

namespace {

// Status bar panels: initial text and width in pixels.
struct StatusPanel
{
    const char *text;
    int width;
};
constexpr StatusPanel StatusPanels[TFormMain::StatusPanelCount] = {
    {"Com. closed", 80},  {"IP Address", 100},     {"I2C Add", 70},   {"Com error : 0", 125},
    {"Version", 110},     {"-- [V]", 55},          {"-- [Sec]", 100}, {"#PUp : -", 90},
    {"-- [\u00B0C]", 55}, {"0x15-Name : ---", 50},
};

const QColor NavyIndicator(0x00, 0x00, 0x80); // clNavy

constexpr int StatusFontPixels = 11;

} // namespace

TFormMain::TFormMain(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Ethernet Motor Controller"));

    // The session (RegisterLock, the first, empty register image), the consign
    // state and its auto-change thread, created suspended.
    m_context = std::make_unique<WindowContext>(*this, *this);
    m_commandRunner = &SpawnCommandRunner::instance();
    // The chart history of 200 points per series is set up by the graph pages.

    m_timerDisplayAll.setObjectName(QStringLiteral("TimerDisplayAll"));
    m_timerDisplayAll.setInterval(DisplayIntervalMs);
    m_timerDisplayAll.setSingleShot(true);
    connect(&m_timerDisplayAll, &QTimer::timeout, this, &TFormMain::TimerDisplayAllTimer);
    m_context->sessionBridge().setMainDisplayTimer(&m_timerDisplayAll);
    connect(&m_context->sessionBridge(), &GuiSessionBridge::directValueArrived, this,
            [this](SessionListener::DirectValue value) {
                if (value == SessionListener::DirectValue::DeviceName)
                    showDeviceName();
            });

    buildMenus();
    buildStatusBar();
    buildCentral();
    buildStopButton();
    buildMainPanels();
    registerConnectedControls();
    connect(m_context.get(), &WindowContext::consignStateResetRequested, this,
            &TFormMain::showNothingReceived);

    // The discovery engine is created here, after the lock, by its subsystem.

    // Never smaller than the layout can hold: the fixed groups side by side.
    ensurePolished();
    setMinimumSize(
        QSize(MinimumFrameSize.width() - FrameWidth, MinimumFrameSize.height() - FrameHeight)
            .expandedTo(minimumSizeHint()));
    resize(ClientWidth, ClientHeight + menuBar()->sizeHint().height());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        const QPoint topLeft = available.center() - QPoint(width() / 2, height() / 2);
        move(std::max(topLeft.x(), available.left()), std::max(topLeft.y(), available.top()));
    }
}

TFormMain::~TFormMain()
{
    // The context ends the consign auto-change thread first, then frees the
    // RegisterLock with the session; the window's child widgets go last.
    m_context->sessionBridge().setMainDisplayTimer(nullptr);
    m_context.reset();
}

void TFormMain::followConnection(QLMCConnection &connection)
{
    connect(&connection, &QLMCConnection::statusChanged, this, &TFormMain::setStatusText);
    // Panel 0 keeps its short text ("TCP Error"); its tool tip says what happened.
    connect(&connection, &QLMCConnection::failureChanged, this,
            [this](const LinkFailure &failure) {
                m_statusPanels[0]->setToolTip(failure.description());
            });
    connect(&connection, &QLMCConnection::indicatorChanged, this, &TFormMain::setComIndicator);
    connect(&connection, &QLMCConnection::identified, this, &TFormMain::applyIdentification);
}

// --- Menus -------------------------------------------------------------------------

QAction *TFormMain::addItem(QMenu *menu, const char *name, const QString &text,
                            void (TFormMain::*handler)())
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

QAction *TFormMain::addBarItem(const char *name, const QString &text, void (TFormMain::*handler)())
{
    auto *action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, this, handler);
    menuBar()->addAction(action);
    return action;
}

void TFormMain::buildMenus()
{
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("MenuFile"));
    file->menuAction()->setObjectName(QStringLiteral("MenuFile"));
    m_menuFileSave =
        addItem(file, "MenuFileSave", QStringLiteral("Save..."), &TFormMain::MenuFileSaveClick);
    m_menuFileOpen =
        addItem(file, "MenuFileOpen", QStringLiteral("View..."), &TFormMain::MenuFileOpenClick);
    new RecordingControl(*m_context, statusBar(), file->addAction(QString()));
    TFormStepResponses::install(*m_context, file->addAction(QString()));

    QMenu *com = menuBar()->addMenu(QStringLiteral("&Communication"));
    com->setObjectName(QStringLiteral("MenuCom"));
    com->menuAction()->setObjectName(QStringLiteral("MenuCom"));
    addItem(com, "MenuComParam", QStringLiteral("Parameters..."), &TFormMain::MenuComParamClick);
    // A virtual controller run by the tool itself, to try it without hardware.
    new VirtualController(*m_context, com->addAction(QString()));
    addItem(com, "MenuComStatistics", QStringLiteral("Statistics..."),
            &TFormMain::MenuComStatisticsClick);
    com->addSeparator();
    addItem(com, "MenuComScan", QStringLiteral("Scan network..."), &TFormMain::MenuComScanClick);
    addItem(com, "MenuComIPConfig", QStringLiteral("IP Adress easy config..."),
            &TFormMain::MenuComIPConfigClick);
    com->addAction(QStringLiteral("Fleet..."), this, [this] { showTool(windows().fleet); })
        ->setObjectName(QStringLiteral("MenuComFleet"));
    com->addSeparator();
    m_menuComOpen =
        addItem(com, "MenuComOpen", QStringLiteral("Open"), &TFormMain::MenuComOpenClick);
    m_menuComClose =
        addItem(com, "MenuComClose", QStringLiteral("Close"), &TFormMain::MenuComCloseClick);
    com->addSeparator();
    addItem(com, "MenuComResetARP", QStringLiteral("Reset ARP"), &TFormMain::MenuComResetARPClick);

    m_loopTimeMenu = menuBar()->addMenu(QStringLiteral("&Loop Time"));
    m_loopTimeMenu->setObjectName(QStringLiteral("MenuLoopTime"));
    m_loopTimeMenu->menuAction()->setObjectName(QStringLiteral("MenuLoopTime"));
    // Opening the menu is the click on its title: it asks for the present loop time.
    connect(m_loopTimeMenu, &QMenu::aboutToShow, this, &TFormMain::MenuLoopTimeClick);
    for (const LoopTimeItem &entry : LoopTimeMenu::items()) {
        QAction *item = m_loopTimeMenu->addAction(QLatin1String(entry.caption));
        item->setObjectName(QLatin1String(entry.name));
        item->setCheckable(true);
        const int value = entry.value;
        connect(item, &QAction::triggered, this, [this, value] { MenuLoopTimeItemClick(value); });
        m_loopTimeItems[size_t(value)] = item;
    }

    addBarItem("MenuOptions", QStringLiteral("&Options"), &TFormMain::MenuOptionsClick);
    addBarItem("MenuWarning", QStringLiteral("&Warning"), &TFormMain::MenuWarningClick);
    addBarItem("MenuLimits", QStringLiteral("&Limits"), &TFormMain::MenuLimitsClick);
    addBarItem("MenuHoming", QStringLiteral("&Homing"), &TFormMain::MenuHomingClick);
    m_menuAutotuning = addBarItem("MenuAutotuning", QStringLiteral("Auto-tuning"),
                                  &TFormMain::MenuAutotuningClick);
    m_menuLoopsInput = addBarItem("MenuLoopsInput", QStringLiteral("Enhanced/Loops"),
                                  &TFormMain::MenuLoopsInputClick);
    m_menuIOstate =
        addBarItem("MenuIOstate", QStringLiteral("I/O state"), &TFormMain::MenuIOstateClick);
    new TFormHistory(*m_context, menuBar()->addAction(QString())); // the change history
    addBarItem("MenuAbout", QStringLiteral("&About"), &TFormMain::MenuAboutClick);
    m_menuRemote = addBarItem("MenuRemote", QStringLiteral("Remote"), &TFormMain::MenuRemoteClick);
    // The wavelength remote is not offered: nothing makes this item visible.
    m_menuRemote->setVisible(false);
}

// --- Status bar --------------------------------------------------------------------

void TFormMain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBarMain"));
    bar->setSizeGripEnabled(true);
    // The panel widths are made for a narrow 11-pixel font.
    QFont font = bar->font();
    font.setPixelSize(StatusFontPixels);
    font.setStretch(QFont::SemiCondensed);
    bar->setFont(font);

    m_panelCom = new QFrame(bar);
    m_panelCom->setObjectName(QStringLiteral("PanelCom"));
    m_panelCom->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_panelCom->setFixedSize(16, 16);
    m_panelCom->setAutoFillBackground(true);
    bar->addWidget(m_panelCom);
    setComIndicator(false);

    for (int panel = 0; panel < StatusPanelCount; ++panel) {
        auto *label = new QLabel(QString::fromUtf8(StatusPanels[panel].text), bar);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(panel));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setAlignment((panel == 0 ? Qt::AlignLeft : Qt::AlignHCenter) | Qt::AlignVCenter);
        if (panel == StatusPanelCount - 1) {
            // The last panel reaches to the right edge of the bar.
            label->setMinimumWidth(StatusPanels[panel].width);
            bar->addWidget(label, 1);
        } else {
            label->setFixedWidth(StatusPanels[panel].width);
            bar->addWidget(label);
        }
        m_statusPanels[size_t(panel)] = label;
    }
}

void TFormMain::showDeviceName()
{
    // Status panel 9 shows the 16 name characters of 0x15, without the padding.
    QString name;
    {
        QLMCSession &session = m_context->session();
        RegisterLockGuard guard(session.lock());
        name = session.Device.DeviceName;
    }
    const qsizetype zero = name.indexOf(QChar(0));
    if (zero >= 0)
        name.truncate(zero);
    setStatusText(9, name.trimmed());
}

void TFormMain::showNothingReceived()
{
    m_display->showNotReceived();
    for (int panel = 4; panel < StatusPanelCount; ++panel)
        setStatusText(panel, QString::fromUtf8(StatusPanels[panel].text));
}

void TFormMain::setStatusText(int panel, const QString &text)
{
    if (panel >= 0 && panel < StatusPanelCount)
        m_statusPanels[size_t(panel)]->setText(text);
}

QString TFormMain::statusText(int panel) const
{
    if (panel < 0 || panel >= StatusPanelCount)
        return QString();
    return m_statusPanels[size_t(panel)]->text();
}

void TFormMain::setComIndicator(bool connected)
{
    QPalette palette = m_panelCom->palette();
    palette.setColor(QPalette::Window, connected
                                           ? NavyIndicator
                                           : QGuiApplication::palette().color(QPalette::Button));
    m_panelCom->setPalette(palette);
}

// --- Main panel --------------------------------------------------------------------

QCheckBox *TFormMain::pollingCheckBox() const
{
    return m_refresh->readData();
}

QCheckBox *TFormMain::graphicCheckBox() const
{
    return m_refresh->graphic();
}

void TFormMain::registerConnectedControls()
{
    ConnectedControls &controls = m_context->connectedControls();
    controls.addWhileClosed(m_menuComOpen);
    controls.addWhileConnected(m_menuComClose);
    controls.addWhileConnected(m_menuFileSave);
    controls.addWhileConnected(m_display->resetPositionButton());
    controls.addWhileConnected(m_refresh->readData());
    controls.addWhileConnected(m_refresh->refreshTrack());
    for (QWidget *label : m_refresh->refreshLabels())
        controls.addWhileConnected(label);
    controls.addWhileConnected(m_refresh->graphic());
    controls.addWhileConnected(m_graphPages);
    // With the connection closed a parameter file can only be viewed.
    controls.addHook(this, [this](bool connected) {
        const bool closed = m_context->session().connection().ComMode.load() == ComModes::Closed;
        m_menuFileOpen->setText(closed ? QStringLiteral("View...") : QStringLiteral("Open..."));
        // A closed connection's values are not shown as if live: read-outs
        // and status panels 4..9 go back to their placeholders, as at an open.
        if (!connected)
            showNothingReceived();
    });
}

// --- Identification ----------------------------------------------------------------

void TFormMain::applyIdentification(const ModelProfile &profile)
{
    setWindowTitle(profile.caption);
    m_context->setStepperUnits(profile.stepperUnits);
    m_display->setTitles(profile.titles.position, profile.titles.speed, profile.titles.desired);
    setStatusText(6, profile.statusTexts.timeInService);
    setStatusText(7, profile.statusTexts.powerUps);
    setStatusText(8, profile.statusTexts.temperature);
    m_loopTimeMenu->menuAction()->setEnabled(profile.menus.loopTime);
    m_menuAutotuning->setEnabled(profile.menus.autoTuning);
    m_menuLoopsInput->setEnabled(profile.menus.loopsInput);
    m_menuIOstate->setEnabled(profile.menus.ioState);
    emit m_context->deviceIdentified(profile);
}

// --- Display -----------------------------------------------------------------------

void TFormMain::setDisplayHook(DisplayStep step, DisplayHook hook)
{
    m_displayHooks[size_t(step)] = std::move(hook);
}

void TFormMain::runHook(DisplayStep step, bool due, const DisplayUpdate &update)
{
    if (!due)
        return;
    if (const DisplayHook &hook = m_displayHooks[size_t(step)])
        hook(update, m_displayed);
}

void TFormMain::TimerDisplayAllTimer()
{
    m_timerDisplayAll.stop();
    runDisplay();
}

void TFormMain::runDisplay()
{
    if (windows().information)
        windows().information->Refresh();

    // The copy and the taking of the flags happen in one hold of the lock, so a
    // decoder running on the sender thread loses no flag and tears no value.
    NewValueFlags flags;
    QLMCSession &session = m_context->session();
    session.takeDisplayValues(m_displayed, flags);
    const DisplayUpdate update =
        displayUpdate(m_displayed, flags, m_context->stepperUnits(), session.ModeSync.load());

    if (update.positionBig)
        m_display->positionBig()->setText(*update.positionBig);
    if (update.speedBig)
        m_display->speedBig()->setText(*update.speedBig);
    if (update.desiredBig)
        m_display->desiredBig()->setText(*update.desiredBig);
    runHook(DisplayStep::ConsignEdit, update.consText.has_value(), update);
    if (update.version)
        setStatusText(4, *update.version);
    if (update.voltage)
        setStatusText(5, *update.voltage);
    if (update.timeInService)
        setStatusText(6, *update.timeInService);
    if (update.powerUps)
        setStatusText(7, *update.powerUps);
    if (update.temperature)
        setStatusText(8, *update.temperature);
    if (update.loopTimeOption && !m_displayHooks[size_t(DisplayStep::LoopTime)])
        showLoopTime(*update.loopTimeOption);
    runHook(DisplayStep::LoopTime, update.loopTimeOption.has_value(), update);
    runHook(DisplayStep::RegulationMode, update.regulationMode.has_value(), update);
    runHook(DisplayStep::RegulationParameters, !update.parameters.empty(), update);
    runHook(DisplayStep::Warning, update.warning, update);
    runHook(DisplayStep::IOState, update.io, update);
}

void TFormMain::showLoopTime(int value)
{
    const std::optional<int> checked = LoopTimeMenu::itemForValue(value);
    for (int item = 0; item < LoopTimeItemCount; ++item)
        m_loopTimeItems[size_t(item)]->setChecked(checked == item);
}

// --- Commands ----------------------------------------------------------------------

void TFormMain::closeCommunication()
{
    if (windows().paramIP) {
        windows().paramIP->connection().closeFromMenu();
        return;
    }
    m_context->session().PollingEnabled = false;
    pollingCheckBox()->setChecked(false);
}

void TFormMain::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        m_menuRemote->setVisible(false);
        emit m_context->formShown();
    }
    QMainWindow::showEvent(event);
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    closeCommunication();
    QMainWindow::closeEvent(event);
}

void TFormMain::showTool(QWidget *window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

void TFormMain::MenuFileSaveClick()
{
    if (!windows().file)
        return;
    // TCP: the client socket is connected; UDP: the UDP client is open.
    const bool open = windows().paramIP && windows().paramIP->connection().isConnected();
    windows().file->showSaveGroup(open);
    showTool(windows().file);
}

void TFormMain::MenuFileOpenClick()
{
    if (!windows().file)
        return;
    windows().file->showOpenGroup();
    showTool(windows().file);
}

void TFormMain::MenuComParamClick()
{
    showTool(windows().paramIP);
}

void TFormMain::MenuComStatisticsClick()
{
    showTool(windows().information);
}

void TFormMain::MenuComScanClick()
{
    // The discovery engine has sockets of its own: a TCP link stays open while
    // the scan window is shown, and closes only when another device is picked
    // there. A UDP connection holds the discovery port: it closes first, if
    // the user agrees.
    if (TFormParamIP *paramIP = windows().paramIP) {
        QLMCConnection &link = paramIP->connection();
        if (link.comMode() == ComModes::Udp) {
            if (!LinkCloseQuestion::mayClose(this, m_context->session(), link))
                return;
            link.close();
        }
    }
    showTool(windows().scanUDP);
}

void TFormMain::MenuComIPConfigClick()
{
    showTool(windows().changeIPAdd);
}

void TFormMain::MenuComOpenClick()
{
    if (windows().paramIP)
        windows().paramIP->BOpenClick();
}

void TFormMain::MenuComCloseClick()
{
    closeCommunication();
}

void TFormMain::setCommandRunner(CommandRunner *runner)
{
    m_commandRunner = runner ? runner : &SpawnCommandRunner::instance();
}

void TFormMain::MenuComResetARPClick()
{
    MessageBoxes::show(this, QStringLiteral("Warning"),
                       QStringLiteral("Reset ARP only works if application runs as administrator"),
                       MessageIcon::None);
    if (!windows().paramIP)
        return;
    // The neighbour entry of the address opened last is dropped, hidden and
    // without waiting ("ip neigh del" would also need the interface).
    windows().paramIP->resetArp(*m_commandRunner);
}

void TFormMain::MenuLoopTimeClick()
{
    LoopTimeMenu::requestValue(m_context->session());
}

void TFormMain::MenuLoopTimeItemClick(int value)
{
    const bool tcpConnected = windows().paramIP && windows().paramIP->connection().isTcpConnected();
    if (const std::optional<int> item =
            LoopTimeMenu::select(m_context->session(), value, tcpConnected)) {
        showLoopTime(*item);
        return;
    }
    // Nothing happens; the item toggled its own check mark, which is undone.
    QAction *item = m_loopTimeItems[size_t(value)];
    item->setChecked(!item->isChecked());
}

void TFormMain::MenuOptionsClick()
{
    showTool(windows().regOption);
    // The five Read buttons of the options window, in their order: option
    // register; input limits; output maxima; dissipation voltage; standby timer.
    RegisterLockGuard guard(m_context->session().lock());
    QLMCIPMotor &motor = m_context->session().motor();
    motor.RequestOptionsRead();
    motor.RequestRead(Reg::InputMax);
    motor.RequestRead(Reg::InputMin);
    motor.RequestRead(Reg::CurrentMax);
    motor.RequestRead(Reg::MaxOutputVoltage);
    motor.RequestRead(Reg::DissipationVoltage);
    motor.RequestRead(Reg::StandbyTimer);
}

void TFormMain::MenuWarningClick()
{
    showTool(windows().regWarning);
}

void TFormMain::MenuLimitsClick()
{
    showTool(windows().limits);
    // All eight limit registers in one hold of the lock.
    RegisterLockGuard guard(m_context->session().lock());
    m_context->session().motor().RequestLimitsRead();
}

void TFormMain::MenuHomingClick()
{
    emit m_context->autoChangeOffRequested();
    showTool(windows().calibration);
    // The two Read buttons of the homing window: value set, then start input.
    RegisterLockGuard guard(m_context->session().lock());
    QLMCIPMotor &motor = m_context->session().motor();
    motor.RequestRead(Reg::HomingOption);
    motor.RequestRead(Reg::HomingPosition);
    motor.RequestRead(Reg::HomingInput);
    motor.RequestRead(Reg::HomingStartInput);
}

void TFormMain::MenuAutotuningClick()
{
    emit m_context->autoChangeOffRequested();
    showTool(windows().autoTuning);
    // The options window's read of the output maxima.
    RegisterLockGuard guard(m_context->session().lock());
    m_context->session().motor().RequestRead(Reg::CurrentMax);
    m_context->session().motor().RequestRead(Reg::MaxOutputVoltage);
}

void TFormMain::MenuLoopsInputClick()
{
    emit m_context->autoChangeOffRequested();
    showTool(windows().enhancedCmd);
}

void TFormMain::MenuIOstateClick()
{
    showTool(windows().ioState);
}

void TFormMain::MenuAboutClick()
{
    showTool(windows().about);
}

void TFormMain::MenuRemoteClick()
{
    showTool(windows().krvRemote);
}
