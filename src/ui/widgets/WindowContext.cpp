// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/WindowContext.h"

#include "device/QLMCSession.h"
#include "panel/ConsignModel.h"
#include "panel/DriverStop.h"
#include "panel/TThreadInputTimer.h"
#include "record/LiveRecorder.h"

#include <QAction>

WindowContext::WindowContext(QWidget &mainWindow, MainFrame &frame)
    : m_mainWindow(mainWindow)
    , m_frame(frame)
{
    // RegisterLock and the first, empty register image.
    m_session = std::make_unique<QLMCSession>(&m_bridge);
    m_session->history().setJournalPath(ChangeHistory::defaultJournalPath());
    m_recorder = std::make_unique<LiveRecorder>(*m_session);
    // The consign state and its auto-change thread, created suspended. The
    // thread's updates pass to the user-interface thread through the hand-over.
    m_consign = std::make_unique<ConsignModel>(*m_session);
    m_inputTimer = std::make_unique<TThreadInputTimer>(*m_consign);
    m_inputTimer->setUpdateHandler([this](const AutoChangeUpdate &update) {
        m_autoChangeHandOver.post([this, update] { emit autoChangeUpdated(update); });
    });

    m_driverStop = new QAction(QStringLiteral("STOP"), this);
    m_driverStop->setObjectName(QLatin1String(DriverStopActionName));
    m_driverStop->setShortcut(QKeySequence(Qt::Key_Escape));
    m_driverStop->setShortcutContext(Qt::WindowShortcut);
    m_driverStop->setToolTip(QStringLiteral("Driver Stop (Esc)"));
    connect(m_driverStop, &QAction::triggered, this, [this] { stopMotor(); });
    m_connectedControls.addWhileConnected(m_driverStop);
}

bool WindowContext::stopMotor()
{
    const bool sent = driverStop(*m_session, *m_consign, *m_inputTimer);
    emit driverStopped(sent);
    return sent;
}

WindowContext::~WindowContext()
{
    // The consign auto-change thread is ended first (resumed, asked to stop and
    // woken), then the RegisterLock with the session is freed.
    m_inputTimer.reset();
    m_session->setListener(nullptr);
    m_recorder.reset();
    m_session.reset();
}
