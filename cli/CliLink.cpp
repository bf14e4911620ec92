// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliLink.h"

#include "device/QLMCSession.h"

#include <QElapsedTimer>
#include <QStringList>

CliLink::CliLink(QLMCSession &session, Hooks hooks, QTextStream &err, QString ipText,
                 int timeoutMs)
    : m_session(session)
    , m_hooks(std::move(hooks))
    , m_err(err)
    , m_ipText(std::move(ipText))
    , m_timeoutMs(timeoutMs)
{}

QString CliLink::addressText(int address)
{
    return QStringLiteral("0x") + QString::number(address, 16).toUpper().rightJustified(2, '0');
}

bool CliLink::lost() const
{
    return m_hooks.lost();
}

bool CliLink::settle(int timeoutMs)
{
    // A lost link ends the wait at once, and is never taken for "settled": the
    // requests it leaves pending were not answered.
    const bool ended = m_hooks.waitFor([this] { return m_hooks.lost() || m_hooks.settled(); },
                                       std::max(0, timeoutMs));
    return ended && !m_hooks.lost();
}

int CliLink::reportLost()
{
    m_err << "tarvine-cli: connection to " << m_ipText << " lost: " << m_hooks.lostText()
          << Qt::endl;
    return CliExit::LinkLost;
}

int CliLink::reportMissing(const std::vector<int> &missing, bool lostLink)
{
    QStringList names;
    for (int address : missing)
        names << addressText(address);
    m_err << "tarvine-cli: " << names.join(QStringLiteral(", ")) << " not received";
    if (lostLink)
        m_err << ": connection to " << m_ipText << " lost: " << m_hooks.lostText();
    else
        m_err << " within " << m_timeoutMs << " ms";
    m_err << Qt::endl;
    return lostLink ? CliExit::LinkLost : CliExit::Unanswered;
}

std::vector<int> CliLink::missing(const std::vector<int> &addresses)
{
    std::vector<int> result;
    RegisterLockGuard guard(m_session.lock());
    for (int address : addresses) {
        const QLMCRegister *reg = m_session.motor().registerAt(address);
        if (reg && !reg->receivedAfter(m_readMark))
            result.push_back(address);
    }
    return result;
}

bool CliLink::received(int address)
{
    RegisterLockGuard guard(m_session.lock());
    const QLMCRegister *reg = m_session.motor().registerAt(address);
    return reg && reg->receivedAfter(m_readMark);
}

int CliLink::read(const std::vector<int> &addresses)
{
    m_readMark = m_session.answerSequence();
    std::vector<int> wanted;
    {
        RegisterLockGuard guard(m_session.lock());
        for (int address : addresses) {
            const QLMCRegister *reg = m_session.motor().registerAt(address);
            if (reg && reg->Readable)
                wanted.push_back(address);
        }
    }
    QElapsedTimer clock;
    clock.start();
    std::vector<int> ask = wanted;
    for (;;) {
        {
            RegisterLockGuard guard(m_session.lock());
            for (int address : ask)
                m_session.motor().RequestRead(address);
        }
        const bool settled = settle(m_timeoutMs - int(clock.elapsed()));
        ask = missing(wanted);
        if (ask.empty())
            return CliExit::Ok;
        if (lost())
            return reportMissing(ask, true);
        if (!settled)
            return reportMissing(ask, false);
        // Settled without them: given up after one re-ask, or (polling on)
        // still waiting for the poll. Ask again after a short pause.
        m_hooks.waitFor([] { return false; }, 2);
    }
}

void CliLink::beginWrite()
{
    m_writeMark = m_session.answerSequence();
}

int CliLink::awaitWrite(const QString &what)
{
    if (settle(m_timeoutMs))
        return CliExit::Ok;
    if (lost()) {
        m_err << "tarvine-cli: no answer to " << what << ": connection to " << m_ipText
              << " lost: " << m_hooks.lostText() << Qt::endl;
        return CliExit::LinkLost;
    }
    m_err << "tarvine-cli: no answer to " << what << " within " << m_timeoutMs << " ms"
          << Qt::endl;
    return CliExit::Unanswered;
}

bool CliLink::writeAnswered(int address)
{
    RegisterLockGuard guard(m_session.lock());
    const QLMCRegister *reg = m_session.motor().registerAt(address);
    return reg && reg->WriteAnsweredSequence > m_writeMark;
}
