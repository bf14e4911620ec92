// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliRunner.h"

#include "device/ChangeHistory.h"
#include "cli/CliCommand.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"

#include <QThread>

using namespace CliExit;

CliRunner::CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err)
    : m_options(options)
    , m_out(out)
    , m_err(err)
    , m_session(std::make_unique<QLMCSession>())
{
    m_connection = std::make_unique<QLMCConnection>(*m_session, this);
    m_connection->setAnswerTimeoutMs(m_options.answerTimeoutMs);
    m_link = std::make_unique<CliLink>(
        *m_session,
        CliLink::Hooks{&cliWaitFor, [this] { return m_connection->isSettled(); },
                       [this] { return linkLost(); },
                       [this] { return m_connection->failure().description(); }},
        m_err, m_options.ip, m_options.timeoutMs);
    // Every decoded answer arms the display, so the runner hears of each one.
    m_session->DisplayDivider = 0;
    connect(m_connection.get(), &QLMCConnection::identified, this,
            [this](const ModelProfile &) { m_identified = true; });
    connect(m_connection.get(), &QLMCConnection::deviceRefused, this,
            [this](const QString &, const QString &text) {
                m_refused = true;
                m_refusal = text;
            });
    connect(m_connection.get(), &QLMCConnection::modelWarning, this,
            [this](const QString &, const QString &text) {
                m_err << "warning: "
                      << QString(text).replace(QLatin1String("\r\n"), QLatin1String(" "))
                      << Qt::endl;
            });
}

CliRunner::~CliRunner()
{
    m_connection.reset();
}

void CliRunner::armMainDisplay()
{
    // Called right after the decoder stored this answer's time.
    m_events.addAnswerTime(m_session->statistics().shown.answerTimeMs.load());
    // May come from the sender thread (UDP): only a flag.
    m_handOver.post([this] { m_events.answered = true; });
}

void CliRunner::limitsReceived()
{
    m_handOver.post([this] {
        if (m_events.limitsArrived)
            m_events.limitsArrived();
    });
}

void CliRunner::startWindowDisplay(Display window)
{
    if (window == Display::AutoTuning)
        m_events.tuningStatuses.fetch_add(1);
}

int CliRunner::fail(int code, const QString &message)
{
    m_err << cliErrorLine(code, message) << Qt::endl;
    return code;
}

bool CliRunner::linkLost() const
{
    // Refused, closed by the controller, reset, overrun: the link is gone. A
    // device that does not answer yet keeps it.
    return m_connection->failure().ended;
}

int CliRunner::run()
{
    const CliCommand *command = m_options.verb ? m_options.verb : findCliCommand(m_options.command);
    if (!command) {
        return fail(Usage, QStringLiteral("unknown command %1").arg(m_options.command));
    }
    const int code = runOn(*command);
    close();
    return code;
}

int CliRunner::runOn(const CliCommand &command)
{
    // Every change a command makes is recorded as that command's.
    const ChangeSource source(QStringLiteral("tarvine-cli ") + QLatin1String(command.name));
    m_session->history().setJournalPath(ChangeHistory::defaultJournalPath());
    CliContext context{m_options, m_out, m_err, *m_session, *m_connection,
                       *m_link, m_events, [this] { return reopen(); }};
    const CliNeeds needs = m_options.verb ? m_options.needs() : command.needs;
    if (needs == CliNeeds::Nothing)
        return command.run(context);
    if (!QLMCConnection::isValidIpText(m_options.ip))
        return context.fail(Usage, QStringLiteral("Wrong IP address: %1").arg(m_options.ip));
    if (m_options.port != 0) {
        const auto port = quint16(m_options.port);
        m_connection->setPorts(port, port);
    }
    if (needs == CliNeeds::Address)
        return command.run(context);
    if (const int opened = openAndIdentify(needs == CliNeeds::LiveDevice); opened != Ok)
        return opened;
    return command.run(context);
}

int CliRunner::openAndIdentify(bool keepPolling)
{
    m_connection->setComMode(m_options.comMode);
    m_connection->setI2CAddress(m_options.i2cAddress);
    m_connection->open(m_options.ip);
    const bool done =
        cliWaitFor([this] { return m_identified || linkLost(); }, m_options.timeoutMs);
    if (m_refused)
        return fail(DeviceRefused, m_refusal);
    if (!done || linkLost())
        return openFailed();
    // Polling reads its live values alongside the full read of the identification.
    if (keepPolling)
        return Ok;
    m_connection->setPollingEnabled(false);
    // The identification asks for every readable register: let that finish.
    if (m_link->settle(m_options.timeoutMs))
        return Ok;
    if (linkLost())
        return m_link->reportLost();
    return fail(Unanswered,
                        QStringLiteral("the device did not answer every request within %1 ms")
                            .arg(m_options.timeoutMs));
}

int CliRunner::openFailed()
{
    // What the connection says happened: refused, no route, closed, reset,
    // overrun (the link is gone: exit 2); a device or gateway module that
    // does not answer (the wait ran out: exit 3).
    const LinkFailure &failure = m_connection->failure();
    QString what = failure ? failure.description() : LinkFailure::notAnswering(false).description();
    if (!failure.ended && failure.kind != LinkFailure::Kind::NoAcknowledge)
        what += QStringLiteral(" (no answer within %1 ms)").arg(m_options.timeoutMs);
    return fail(failure.ended ? LinkLost : Unanswered,
                        QStringLiteral("connection to %1 failed: %2").arg(m_options.ip, what));
}

bool CliRunner::reopen()
{
    m_identified = false;
    QThread::msleep(50);
    m_connection->setComMode(m_options.comMode); // a lost connection left it closed (-1)
    m_connection->open(m_options.ip);
    return cliWaitFor([this] { return m_identified || linkLost(); }, m_options.timeoutMs)
           && m_identified;
}

void CliRunner::close()
{
    if (m_connection->isConnected() || m_connection->isTcpActive()) {
        m_connection->closeFromMenu();
        cliWaitFor([this] { return !m_connection->isTcpActive(); }, 1000);
    }
}
