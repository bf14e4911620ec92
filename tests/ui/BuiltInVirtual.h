// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The main window's own virtual controller (Communication > "Virtual
// controller..."), started and connected as a user would, for window tests.
#include "UiTestSupport.h"
#include "integration/SimFixture.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/ModelProfile.h"
#include "link/QLMCConnection.h"
#include "sim/SimModel.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/widgets/VirtualController.h"
#include "ui/widgets/WindowContext.h"

#include <QObject>
#include <QTest>

namespace uitest {

class BuiltInVirtual
{
public:
    explicit BuiltInVirtual(AppWindows &windows)
        : m_windows(windows), m_launcher(windows.main().findChild<VirtualController *>())
    {
    }

    /// Shows the main window, starts a NETEC-A with \a autoTuning as its
    /// tuning outcome, records its wire into \a wire when given, and waits
    /// for the identification and its read-out. False when it did not come.
    bool connect(testsupport::WireRecorder *wire = nullptr,
                 SimAutoTuneOutcome autoTuning = SimAutoTuneOutcome::Success)
    {
        TFormMain &main = m_windows.main();
        main.show();
        bool identified = false;
        QObject scope;
        QObject::connect(&main.context(), &WindowContext::deviceIdentified, &scope,
                         [&identified](const ModelProfile &) { identified = true; });
        VirtualControllerChoice choice;
        for (const SimModel &model : simModelPresets())
            if (model.name == "NETEC-A")
                choice.model = model;
        choice.autoTuning = autoTuning;
        if (!m_launcher->startAndConnect(choice))
            return false;
        if (wire)
            m_launcher->server()->setLog(wire->log);
        if (!waitFor([&] { return identified; }, 5000))
            return false;
        QTest::qWait(300); // the identification's read-out
        return true;
    }

    /// Closes the connection, if open, and waits for the controller to stop.
    void close()
    {
        QLMCConnection &connection = m_windows.paramIP().connection();
        if (connection.isConnected() || connection.isTcpActive()) {
            m_windows.main().closeCommunication();
            waitFor([&] { return !m_launcher->isRunning(); }, 3000);
        }
    }

    VirtualController &launcher() { return *m_launcher; }
    SimController &sim() { return *m_launcher->server()->controller(); }

private:
    AppWindows &m_windows;
    VirtualController *m_launcher;
};

} // namespace uitest
