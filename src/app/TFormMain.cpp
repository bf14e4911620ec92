#include "app/TFormMain.h"

#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "panel/ConsignModel.h"
#include "panel/DisplayText.h"
#include "panel/LoopTimeMenu.h"
#include "panel/TThreadInputTimer.h"
#include "platform/SpawnCommandRunner.h"
#include "record/LiveRecorder.h"
#include "ui/connection/TFormInformation.h"
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
#include "ui/main/RefreshPanel.h"
#include "ui/remote/TFormKRVRemote.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/TFormAbout.h"
#include "ui/widgets/VirtualController.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
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

    // RegisterLock and the first, empty register image.
    m_session = std::make_unique<QLMCSession>(&m_bridge);
    m_recorder = std::make_unique<LiveRecorder>(*m_session);
    // The consign state and its auto-change thread, created suspended.
    m_consign = std::make_unique<ConsignModel>(*m_session);
    m_inputTimer = std::make_unique<TThreadInputTimer>(*m_consign);
    m_commandRunner = &SpawnCommandRunner::instance();
    // The chart history of 200 points per series is set up by the graph pages.

    m_timerDisplayAll.setObjectName(QStringLiteral("TimerDisplayAll"));
    m_timerDisplayAll.setInterval(DisplayIntervalMs);
    m_timerDisplayAll.setSingleShot(true);
    connect(&m_timerDisplayAll, &QTimer::timeout, this, &TFormMain::TimerDisplayAllTimer);
    m_bridge.setMainDisplayTimer(&m_timerDisplayAll);
    connect(&m_bridge, &GuiSessionBridge::directValueArrived, this,
            [this](SessionListener::DirectValue value) {
                if (value == SessionListener::DirectValue::DeviceName)
                    showDeviceName();
            });

    buildMenus();
    buildStatusBar();
    buildCentral();
    buildMainPanels();
    registerConnectedControls();
    connect(this, &TFormMain::consignStateResetRequested, this, &TFormMain::showNothingReceived);

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
    // The consign auto-change thread is ended first (resumed, asked to stop and
    // woken), then the RegisterLock with the session is freed, then the discovery
    // engine; the window itself goes last.
    m_inputTimer.reset();
    m_bridge.setMainDisplayTimer(nullptr);
    m_session->setListener(nullptr);
    m_recorder.reset();
    m_session.reset();
}

void TFormMain::setToolWindows(const ToolWindows &windows)
{
    m_windows = windows;
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
    new RecordingControl(*this, file->addAction(QString()));

    QMenu *com = menuBar()->addMenu(QStringLiteral("&Communication"));
    com->setObjectName(QStringLiteral("MenuCom"));
    com->menuAction()->setObjectName(QStringLiteral("MenuCom"));
    addItem(com, "MenuComParam", QStringLiteral("Parameters..."), &TFormMain::MenuComParamClick);
    // A virtual controller run by the tool itself, to try it without hardware.
    new VirtualController(*this, com->addAction(QString()));
    addItem(com, "MenuComStatistics", QStringLiteral("Statistics..."),
            &TFormMain::MenuComStatisticsClick);
    com->addSeparator();
    addItem(com, "MenuComScan", QStringLiteral("Scan network..."), &TFormMain::MenuComScanClick);
    addItem(com, "MenuComIPConfig", QStringLiteral("IP Adress easy config..."),
            &TFormMain::MenuComIPConfigClick);
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
        RegisterLockGuard guard(m_session->lock());
        name = m_session->Device.DeviceName;
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

void TFormMain::setStatusToolTip(int panel, const QString &text)
{
    if (panel >= 0 && panel < StatusPanelCount)
        m_statusPanels[size_t(panel)]->setToolTip(text);
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
    ConnectedControls &controls = m_connectedControls;
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
    controls.addHook(this, [this](bool) {
        const bool closed = m_session->connection().ComMode.load() == ComModes::Closed;
        m_menuFileOpen->setText(closed ? QStringLiteral("View...") : QStringLiteral("Open..."));
    });
}

void TFormMain::watchSpaceBar(QWidget *trackBar)
{
    if (trackBar)
        trackBar->installEventFilter(this);
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->text() == QLatin1String(" ")) {
            m_refresh->toggleReadData();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Identification ----------------------------------------------------------------

void TFormMain::applyIdentification(const ModelProfile &profile)
{
    setWindowTitle(profile.caption);
    m_stepperUnits = profile.stepperUnits;
    m_display->setTitles(profile.titles.position, profile.titles.speed, profile.titles.desired);
    setStatusText(6, profile.statusTexts.timeInService);
    setStatusText(7, profile.statusTexts.powerUps);
    setStatusText(8, profile.statusTexts.temperature);
    m_loopTimeMenu->menuAction()->setEnabled(profile.menus.loopTime);
    m_menuAutotuning->setEnabled(profile.menus.autoTuning);
    m_menuLoopsInput->setEnabled(profile.menus.loopsInput);
    m_menuIOstate->setEnabled(profile.menus.ioState);
    emit deviceIdentified(profile);
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
    if (m_windows.information)
        m_windows.information->Refresh();

    // The copy and the taking of the flags happen in one hold of the lock, so a
    // decoder running on the sender thread loses no flag and tears no value.
    NewValueFlags flags;
    m_session->takeDisplayValues(m_displayed, flags);
    const DisplayUpdate update =
        displayUpdate(m_displayed, flags, m_stepperUnits, m_session->ModeSync.load());

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
    if (m_windows.paramIP) {
        m_windows.paramIP->connection().closeFromMenu();
        return;
    }
    m_session->PollingEnabled = false;
    pollingCheckBox()->setChecked(false);
}

void TFormMain::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        m_menuRemote->setVisible(false);
        emit formShown();
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
    if (!m_windows.file)
        return;
    // TCP: the client socket is connected; UDP: the UDP client is open.
    const bool open = m_windows.paramIP && m_windows.paramIP->connection().isConnected();
    m_windows.file->showSaveGroup(open);
    showTool(m_windows.file);
}

void TFormMain::MenuFileOpenClick()
{
    if (!m_windows.file)
        return;
    m_windows.file->showOpenGroup();
    showTool(m_windows.file);
}

void TFormMain::MenuComParamClick()
{
    showTool(m_windows.paramIP);
}

void TFormMain::MenuComStatisticsClick()
{
    showTool(m_windows.information);
}

void TFormMain::MenuComScanClick()
{
    if (m_windows.paramIP)
        m_windows.paramIP->connection().close();
    showTool(m_windows.scanUDP);
}

void TFormMain::MenuComIPConfigClick()
{
    showTool(m_windows.changeIPAdd);
}

void TFormMain::MenuComOpenClick()
{
    if (m_windows.paramIP)
        m_windows.paramIP->BOpenClick();
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
    if (!m_windows.paramIP)
        return;
    // The neighbour entry of the address opened last is dropped, hidden and
    // without waiting ("ip neigh del" would also need the interface).
    m_windows.paramIP->resetArp(*m_commandRunner);
}

void TFormMain::MenuLoopTimeClick()
{
    LoopTimeMenu::requestValue(*m_session);
}

void TFormMain::MenuLoopTimeItemClick(int value)
{
    const bool tcpConnected = m_windows.paramIP && m_windows.paramIP->connection().isTcpConnected();
    if (const std::optional<int> item = LoopTimeMenu::select(*m_session, value, tcpConnected)) {
        showLoopTime(*item);
        return;
    }
    // Nothing happens; the item toggled its own check mark, which is undone.
    QAction *item = m_loopTimeItems[size_t(value)];
    item->setChecked(!item->isChecked());
}

void TFormMain::MenuOptionsClick()
{
    showTool(m_windows.regOption);
    // The five Read buttons of the options window, in their order: option
    // register; input limits; output maxima; dissipation voltage; standby timer.
    RegisterLockGuard guard(m_session->lock());
    QLMCIPMotor &motor = m_session->motor();
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
    showTool(m_windows.regWarning);
}

void TFormMain::MenuLimitsClick()
{
    showTool(m_windows.limits);
    // All eight limit registers in one hold of the lock.
    RegisterLockGuard guard(m_session->lock());
    m_session->motor().RequestLimitsRead();
}

void TFormMain::MenuHomingClick()
{
    emit autoChangeOffRequested();
    showTool(m_windows.calibration);
    // The two Read buttons of the homing window: value set, then start input.
    RegisterLockGuard guard(m_session->lock());
    QLMCIPMotor &motor = m_session->motor();
    motor.RequestRead(Reg::HomingOption);
    motor.RequestRead(Reg::HomingPosition);
    motor.RequestRead(Reg::HomingInput);
    motor.RequestRead(Reg::HomingStartInput);
}

void TFormMain::MenuAutotuningClick()
{
    emit autoChangeOffRequested();
    showTool(m_windows.autoTuning);
    // The options window's read of the output maxima.
    RegisterLockGuard guard(m_session->lock());
    m_session->motor().RequestRead(Reg::CurrentMax);
    m_session->motor().RequestRead(Reg::MaxOutputVoltage);
}

void TFormMain::MenuLoopsInputClick()
{
    emit autoChangeOffRequested();
    showTool(m_windows.enhancedCmd);
}

void TFormMain::MenuIOstateClick()
{
    showTool(m_windows.ioState);
}

void TFormMain::MenuAboutClick()
{
    showTool(m_windows.about);
}

void TFormMain::MenuRemoteClick()
{
    showTool(m_windows.krvRemote);
}
