// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fleet/FleetDevice.h"

#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "protocol/ConnectionState.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <algorithm>

FleetDevice::FleetDevice(const FleetTarget &target, const FleetSettings &settings,
                         Clock::time_point deadline)
    : m_target(target)
    , m_settings(settings)
    , m_deadline(deadline)
    , m_session(std::make_unique<QLMCSession>())
{
    m_session->history().setJournalPath(m_settings.journalPath);
    m_connection = std::make_unique<QLMCConnection>(*m_session);
    m_connection->setAnswerTimeoutMs(m_settings.answerTimeoutMs);
    m_connection->setPorts(m_settings.tcpPort, m_settings.tcpPort);
    connect(m_connection.get(), &QLMCConnection::identified, this,
            [this](const ModelProfile &profile) {
                m_profile = profile;
                m_identified = true;
            });
    connect(m_connection.get(), &QLMCConnection::deviceRefused, this,
            [this](const QString &, const QString &text) {
                m_refused = true;
                m_why = QString(text).replace(QLatin1String("\r\n"), QLatin1String(" "));
            });
}

FleetDevice::~FleetDevice()
{
    close();
    m_connection.reset();
}

bool FleetDevice::lost() const
{
    return m_connection->failure().ended;
}

bool FleetDevice::waitFor(const std::function<bool()> &done)
{
    while (!done()) {
        if (Clock::now() >= m_deadline || (m_settings.abort && m_settings.abort()))
            return false;
        // Socket and timer events of this controller run on this thread.
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done())
            QThread::msleep(1);
    }
    return true;
}

bool FleetDevice::settle()
{
    return waitFor([this] { return lost() || m_connection->isSettled(); }) && !lost();
}

void FleetDevice::extendDeadline(int ms)
{
    m_deadline = Clock::now() + std::chrono::milliseconds(ms);
}

void FleetDevice::failed(const QString &what)
{
    if (lost()) {
        m_status = FleetStatus::Unreachable;
        m_why = QStringLiteral("connection lost: ") + m_connection->failure().description();
    } else {
        m_status = FleetStatus::Unanswered;
        m_why = what;
    }
}

bool FleetDevice::open()
{
    if (!QLMCConnection::isValidIpText(m_target.ip)) {
        m_status = FleetStatus::Unreachable;
        m_why = QStringLiteral("not an address: ") + m_target.ip;
        return false;
    }
    m_connection->setComMode(m_target.module > 0 ? ComModes::TcpGateway : ComModes::TcpDirect);
    if (m_target.module > 0)
        m_connection->setI2CAddress(m_target.module);
    m_connection->open(m_target.ip);
    waitFor([this] { return m_identified || m_refused || lost(); });
    if (m_refused) {
        m_status = FleetStatus::Refused;
        return false;
    }
    if (!m_identified) {
        const LinkFailure &failure = m_connection->failure();
        m_status = failure.ended ? FleetStatus::Unreachable : FleetStatus::Unanswered;
        m_why = failure ? failure.description() : LinkFailure::notAnswering(false).description();
        if (!failure.ended)
            m_why += QStringLiteral(" (no identification within the limit)");
        return false;
    }
    m_connection->setPollingEnabled(false);
    if (!settle()) {
        std::vector<int> missing;
        {
            RegisterLockGuard guard(m_session->lock());
            for (const QLMCRegister &reg : m_session->motor().registers())
                if (reg.Readable && reg.Size > 0 && !reg.received())
                    missing.push_back(reg.Address);
        }
        failed(QStringLiteral("no answer for ") + addressList(missing)
               + QStringLiteral(" (the identification's read did not end within the limit)"));
        return false;
    }
    return true;
}

QString FleetDevice::addressList(const std::vector<int> &addresses)
{
    constexpr size_t Shown = 8;
    QStringList texts;
    for (size_t i = 0; i < std::min(addresses.size(), Shown); ++i)
        texts << QStringLiteral("0x")
                     + QStringLiteral("%1").arg(addresses[i], 2, 16, QLatin1Char('0')).toUpper();
    QString text = texts.join(QLatin1Char(','));
    if (addresses.size() > Shown)
        text += QStringLiteral(" and %1 more").arg(addresses.size() - Shown);
    return text;
}

std::vector<int> FleetDevice::read(const std::vector<int> &addresses)
{
    const uint64_t mark = m_session->answerSequence();
    std::vector<int> readable;
    std::vector<int> unreadable; // never asked: reported missing
    {
        RegisterLockGuard guard(m_session->lock());
        for (int address : addresses) {
            const QLMCRegister *reg = m_session->motor().registerAt(address);
            (reg && reg->Readable && reg->Size > 0 ? readable : unreadable).push_back(address);
        }
    }
    auto missing = [&] {
        std::vector<int> left;
        RegisterLockGuard guard(m_session->lock());
        for (int address : readable)
            if (!m_session->motor().registerAt(address)->receivedAfter(mark))
                left.push_back(address);
        return left;
    };
    // A read changes nothing: what did not come is asked again, a few times.
    std::vector<int> left = readable;
    for (int round = 0; round < ReadRounds && !left.empty(); ++round) {
        for (int address : left)
            m_session->motor().RequestRead(address);
        const bool settled = settle();
        left = missing();
        if (!settled)
            break;
    }
    left.insert(left.end(), unreadable.begin(), unreadable.end());
    std::sort(left.begin(), left.end());
    return left;
}

void FleetDevice::close()
{
    if (!m_connection)
        return;
    if (m_connection->isConnected() || m_connection->isTcpActive()) {
        m_connection->close();
        const auto until = Clock::now() + std::chrono::milliseconds(500);
        while (m_connection->isTcpActive() && Clock::now() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}
