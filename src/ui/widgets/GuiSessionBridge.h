// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "device/SessionListener.h"
#include "platform/ThreadHandOver.h"

#include <QObject>
#include <QPointer>

#include <array>
#include <vector>

class QTimer;

/// The windows' side of the session's notifications. Every call may arrive on
/// the sender thread (UDP answers); each is handed to the user-interface thread
/// through the bridge's hand-over queue (one wake-up for every batch) and only
/// there starts a display timer or emits a signal.
///
/// Display timers: the main window registers TimerDisplayAll with
/// setMainDisplayTimer(), each feature window its one-shot display timer with
/// setWindowDisplayTimer(). Arming a timer that already runs leaves it running
/// (it is not restarted). The signals carry the other notifications to the
/// windows that handle them.
class GuiSessionBridge : public QObject, public SessionListener
{
    Q_OBJECT

public:
    explicit GuiSessionBridge(QObject *parent = nullptr);

    void setMainDisplayTimer(QTimer *timer);
    void setWindowDisplayTimer(Display window, QTimer *timer);

    // SessionListener (any thread).
    void armMainDisplay() override;
    void startWindowDisplay(Display window) override;
    void directValueReceived(DirectValue value) override;
    void limitsReceived() override;
    void identificationReady() override;
    void statusText(int panel, const QString &text) override;
    void graphSample(const ReceivedValues &values, int64_t ticks) override;
    void scanResult(const std::vector<uint8_t> &modules) override;

signals:
    // Emitted on the user-interface thread.
    void mainDisplayArmed();
    void windowDisplayRequested(SessionListener::Display window);
    /// A value that goes straight into window controls arrived (read it from the
    /// session's records).
    void directValueArrived(SessionListener::DirectValue value);
    /// 0x5B arrived: the limits window refreshes; a waiting parameter-file save
    /// may write its file.
    void limitsArrived();
    void identificationArrived();
    void statusTextArrived(int panel, const QString &text);
    /// One chart sample (the "Graphic" check box is on), decoded at \a ticks
    /// (HighResCounter::now()).
    void graphSampleArrived(const ReceivedValues &values, qint64 ticks);
    void scanResultArrived(const std::vector<uint8_t> &modules);

private:
    static void startIfIdle(QTimer *timer);

    QPointer<QTimer> m_mainTimer;
    static constexpr size_t DisplayCount = size_t(Display::EnhancedParam) + 1;
    std::array<QPointer<QTimer>, DisplayCount> m_windowTimers;
    ThreadHandOver m_handOver;
};
