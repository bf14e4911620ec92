#include "ui/widgets/GuiSessionBridge.h"

#include <QMetaObject>
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
    QMetaObject::invokeMethod(
        this,
        [this] {
            startIfIdle(m_mainTimer);
            emit mainDisplayArmed();
        },
        Qt::QueuedConnection);
}

void GuiSessionBridge::startWindowDisplay(Display window)
{
    QMetaObject::invokeMethod(
        this,
        [this, window] {
            const size_t index = size_t(window);
            if (index < m_windowTimers.size())
                startIfIdle(m_windowTimers[index]);
            emit windowDisplayRequested(window);
        },
        Qt::QueuedConnection);
}

void GuiSessionBridge::directValueReceived(DirectValue value)
{
    QMetaObject::invokeMethod(
        this, [this, value] { emit directValueArrived(value); }, Qt::QueuedConnection);
}

void GuiSessionBridge::limitsReceived()
{
    QMetaObject::invokeMethod(
        this, [this] { emit limitsArrived(); }, Qt::QueuedConnection);
}

void GuiSessionBridge::identificationReady()
{
    QMetaObject::invokeMethod(
        this, [this] { emit identificationArrived(); }, Qt::QueuedConnection);
}

void GuiSessionBridge::statusText(int panel, const QString &text)
{
    QMetaObject::invokeMethod(
        this, [this, panel, text] { emit statusTextArrived(panel, text); }, Qt::QueuedConnection);
}

void GuiSessionBridge::graphSample(const ReceivedValues &values)
{
    QMetaObject::invokeMethod(
        this, [this, values] { emit graphSampleArrived(values); }, Qt::QueuedConnection);
}

void GuiSessionBridge::scanResult(const std::vector<uint8_t> &modules)
{
    QMetaObject::invokeMethod(
        this, [this, modules] { emit scanResultArrived(modules); }, Qt::QueuedConnection);
}
