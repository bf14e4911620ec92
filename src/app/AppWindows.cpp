// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

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
    m_tools.regOption = own(std::make_unique<TFormRegOption>(context));
    m_tools.regWarning = own(std::make_unique<TFormRegWarning>(context));
    m_tools.about = own(std::make_unique<TFormAbout>(context));
    m_tools.autoTuning = own(std::make_unique<TFormAutoTuning>(context));
    m_tools.autoTuning->attachOptions(*m_tools.regOption);
    m_tools.calibration = own(std::make_unique<TFormCalibration>(context));
    m_tools.changeIPAdd = own(std::make_unique<TFormChangeIPAdd>(context));
    m_tools.file = own(std::make_unique<TFormFile>(context));
    m_tools.information = own(std::make_unique<TFormInformation>(context));
    m_tools.limits = own(std::make_unique<TFormLimits>(context));
    m_tools.limits->attachOptions(*m_tools.regOption);
    m_tools.enhancedCmd = own(std::make_unique<TFormEnhancedCmd>(context));
    m_tools.paramIP = own(std::make_unique<TFormParamIP>(context));
    main.followConnection(m_tools.paramIP->connection());
    m_tools.scanUDP = own(std::make_unique<TFormScanUDP>(context));
    m_tools.ioState = own(std::make_unique<TFormIOState>(context));
    m_tools.krvRemote = own(std::make_unique<TFormKRVRemote>(context));
    m_tools.time = own(std::make_unique<TFormTime>(context));
    m_tools.fleet = own(std::make_unique<TFormFleet>(context));

    context.setToolWindows(m_tools);

    // Every window has registered its controls: they start in the closed state.
    context.connectedControls().setConnected(false);
}

AppWindows::~AppWindows()
{
    // The last created first (a vector's own destruction order is not the reverse).
    while (!m_owned.empty())
        m_owned.pop_back();
    m_main.reset();
}

QList<QWidget *> AppWindows::all() const
{
    QList<QWidget *> windows{m_main.get()};
    for (const std::unique_ptr<QWidget> &window : m_owned)
        windows.append(window.get());
    return windows;
}
