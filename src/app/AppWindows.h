// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "ui/widgets/WindowContext.h"

#include <QList>

#include <memory>
#include <vector>

class QWidget;
class TFormMain;

/// The windows of the program (the sixteen, then the Fleet window): created
/// once, hidden, in their fixed order (the main window first), and destroyed
/// in the reverse order, so the connection window and its sender thread are
/// gone before the main window releases the session they use.
class AppWindows
{
public:
    AppWindows();
    ~AppWindows();
    AppWindows(const AppWindows &) = delete;
    AppWindows &operator=(const AppWindows &) = delete;

    TFormMain &main() const { return *m_main; }
    TFormRegOption &regOption() const { return *m_tools.regOption; }
    TFormRegWarning &regWarning() const { return *m_tools.regWarning; }
    TFormAbout &about() const { return *m_tools.about; }
    TFormAutoTuning &autoTuning() const { return *m_tools.autoTuning; }
    TFormCalibration &calibration() const { return *m_tools.calibration; }
    TFormChangeIPAdd &changeIPAdd() const { return *m_tools.changeIPAdd; }
    TFormFile &file() const { return *m_tools.file; }
    TFormInformation &information() const { return *m_tools.information; }
    TFormLimits &limits() const { return *m_tools.limits; }
    TFormEnhancedCmd &enhancedCmd() const { return *m_tools.enhancedCmd; }
    TFormParamIP &paramIP() const { return *m_tools.paramIP; }
    TFormScanUDP &scanUDP() const { return *m_tools.scanUDP; }
    TFormIOState &ioState() const { return *m_tools.ioState; }
    TFormKRVRemote &krvRemote() const { return *m_tools.krvRemote; }
    TFormTime &time() const { return *m_tools.time; }
    TFormFleet &fleet() const { return *m_tools.fleet; }

    /// All of them, in creation order.
    QList<QWidget *> all() const;

private:
    /// Takes \a window into the windows destroyed in the reverse order of creation.
    template<typename Window>
    Window *own(std::unique_ptr<Window> window)
    {
        Window *raw = window.get();
        m_owned.push_back(std::move(window));
        return raw;
    }

    std::unique_ptr<TFormMain> m_main;
    ToolWindows m_tools;                           ///< the tool windows, as the context knows them
    std::vector<std::unique_ptr<QWidget>> m_owned; ///< the same, owned, in creation order
};
