// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/GuiSessionBridge.h"

#include <QTimer>

GuiSessionBridge::GuiSessionBridge(QObject *parent)
    : QObject(parent)
{}

void GuiSessionBridge::setMainDisplayTimer(QTimer *timer)
{
    m_mainTimer = timer;
}

void GuiSessionBridge::setWindowDisplayTimer(Display window, QTimer *timer)
{
    const size_t index = size_t(window);
    if (index < m_windowTimers.size())
        m_windowTimers[index] = timer;
}

void GuiSessionBridge::startIfIdle(QTimer *timer)
{
    if (timer && !timer->isActive())
        timer->start();
}

void GuiSessionBridge::armMainDisplay()
{
    m_handOver.post([this] {
        startIfIdle(m_mainTimer);
        emit mainDisplayArmed();
    });
}

void GuiSessionBridge::startWindowDisplay(Display window)
{
    m_handOver.post([this, window] {
        const size_t index = size_t(window);
        if (index < m_windowTimers.size())
            startIfIdle(m_windowTimers[index]);
        emit windowDisplayRequested(window);
    });
}

void GuiSessionBridge::directValueReceived(DirectValue value)
{
    m_handOver.post([this, value] { emit directValueArrived(value); });
}

void GuiSessionBridge::limitsReceived()
{
    m_handOver.post([this] { emit limitsArrived(); });
}

void GuiSessionBridge::identificationReady()
{
    m_handOver.post([this] { emit identificationArrived(); });
}

void GuiSessionBridge::statusText(int panel, const QString &text)
{
    m_handOver.post([this, panel, text] { emit statusTextArrived(panel, text); });
}

void GuiSessionBridge::graphSample(const ReceivedValues &values, int64_t ticks)
{
    m_handOver.post([this, values, ticks] { emit graphSampleArrived(values, qint64(ticks)); });
}

void GuiSessionBridge::scanResult(const std::vector<uint8_t> &modules)
{
    m_handOver.post([this, modules] { emit scanResultArrived(modules); });
}
