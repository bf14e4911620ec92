#include "app/AppWindows.h"

#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
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
#include "ui/fleet/TFormFleet.h"
#include "ui/remote/TFormKRVRemote.h"
#include "ui/widgets/TFormAbout.h"

AppWindows::AppWindows()
{
    m_main = std::make_unique<TFormMain>();
    TFormMain &main = *m_main;
    WindowContext &context = main.context();
    m_regOption = std::make_unique<TFormRegOption>(context);
    m_regWarning = std::make_unique<TFormRegWarning>(context);
    m_about = std::make_unique<TFormAbout>(context);
    m_autoTuning = std::make_unique<TFormAutoTuning>(context);
    m_autoTuning->attachOptions(*m_regOption);
    m_calibration = std::make_unique<TFormCalibration>(context);
    m_changeIPAdd = std::make_unique<TFormChangeIPAdd>(context);
    m_file = std::make_unique<TFormFile>(context);
    m_information = std::make_unique<TFormInformation>(context);
    m_limits = std::make_unique<TFormLimits>(context);
    m_limits->attachOptions(*m_regOption);
    m_enhancedCmd = std::make_unique<TFormEnhancedCmd>(context);
    m_paramIP = std::make_unique<TFormParamIP>(context);
    main.followConnection(m_paramIP->connection());
    m_scanUDP = std::make_unique<TFormScanUDP>(context);
    m_ioState = std::make_unique<TFormIOState>(context);
    m_krvRemote = std::make_unique<TFormKRVRemote>(context);
    m_time = std::make_unique<TFormTime>(context);
    m_fleet = std::make_unique<TFormFleet>(context);

    ToolWindows windows;
    windows.regOption = m_regOption.get();
    windows.regWarning = m_regWarning.get();
    windows.about = m_about.get();
    windows.autoTuning = m_autoTuning.get();
    windows.calibration = m_calibration.get();
    windows.changeIPAdd = m_changeIPAdd.get();
    windows.file = m_file.get();
    windows.information = m_information.get();
    windows.limits = m_limits.get();
    windows.enhancedCmd = m_enhancedCmd.get();
    windows.paramIP = m_paramIP.get();
    windows.scanUDP = m_scanUDP.get();
    windows.ioState = m_ioState.get();
    windows.krvRemote = m_krvRemote.get();
    windows.time = m_time.get();
    windows.fleet = m_fleet.get();
    context.setToolWindows(windows);

    // Every window has registered its controls: they start in the closed state.
    context.connectedControls().setConnected(false);
}

AppWindows::~AppWindows()
{
    m_fleet.reset();
    m_time.reset();
    m_krvRemote.reset();
    m_ioState.reset();
    m_scanUDP.reset();
    m_paramIP.reset();
    m_enhancedCmd.reset();
    m_limits.reset();
    m_information.reset();
    m_file.reset();
    m_changeIPAdd.reset();
    m_calibration.reset();
    m_autoTuning.reset();
    m_about.reset();
    m_regWarning.reset();
    m_regOption.reset();
    m_main.reset();
}

QList<QWidget *> AppWindows::all() const
{
    return {m_main.get(),        m_regOption.get(),   m_regWarning.get(),  m_about.get(),
            m_autoTuning.get(),  m_calibration.get(), m_changeIPAdd.get(), m_file.get(),
            m_information.get(), m_limits.get(),      m_enhancedCmd.get(), m_paramIP.get(),
            m_scanUDP.get(),     m_ioState.get(),     m_krvRemote.get(),   m_time.get(),
            m_fleet.get()};
}
