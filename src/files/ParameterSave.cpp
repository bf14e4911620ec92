// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "files/ParameterSave.h"

#include "device/QLMCSession.h"
#include "files/TThreadSaveFile.h"

#include <algorithm>

namespace {
QString addressText(int address)
{
    return QStringLiteral("0x") + QString::number(address, 16).toUpper().rightJustified(2, '0');
}
} // namespace

ParameterSave::ParameterSave(QLMCSession &session, ParameterSaveListener &listener,
                             QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_listener(listener)
    , m_groups([] { return SaveGroups::all(); })
{
    m_timerSave.setObjectName(QStringLiteral("TimerSave"));
    m_timerSave.setSingleShot(true);
    m_timerSave.setInterval(SaveDelayMs);
    connect(&m_timerSave, &QTimer::timeout, this, &ParameterSave::TimerSaveTimer);
    m_timerAfterWrite.setSingleShot(true);
    m_timerAfterWrite.setInterval(AfterWriteMs);
    connect(&m_timerAfterWrite, &QTimer::timeout, this,
            [this] { finish(m_writeOk, m_writeOk ? QString()
                                                 : QStringLiteral("Save file failed: ")
                                                       + m_fileName + QStringLiteral("\r\n")
                                                       + m_writeError); });
    m_timeout.setTimerType(Qt::PreciseTimer); // a coarse timer may end the wait 5 % early
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(TimeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &ParameterSave::timedOut);
    m_retry.setInterval(RetryMs);
    connect(&m_retry, &QTimer::timeout, this, &ParameterSave::retry);
}

ParameterSave::~ParameterSave()
{
    if (m_writer)
        m_writer->join();
}

void ParameterSave::setGroupsProvider(std::function<SaveGroups()> provider)
{
    m_groups = std::move(provider);
}

bool ParameterSave::start(const QString &fileName, bool connectionOpen)
{
    if (m_pending)
        return false;
    m_fileName = ParameterFile::withExtension(fileName);
    if (!connectionOpen) {
        m_listener.saveStatus(QStringLiteral("Open communication first !"));
        return false;
    }
    m_pending = true;
    m_writerStarted = false;
    m_missing.clear();
    m_listener.saveStatus(QStringLiteral("Ask registers from module"));
    m_listener.savingIndicator(true);
    {
        // Answers counted from here on are answers to this save's request.
        RegisterLockGuard guard(m_session.lock());
        const auto &registers = m_session.motor().registers();
        for (size_t a = 0; a < registers.size(); ++a)
            m_stamps[a] = registers[a].AnswerCount;
        m_markerStamp = m_stamps[size_t(Reg::Limit2XInput)];
        m_markerReadable = registers[size_t(Reg::Limit2XInput)].Readable;
    }
    m_timeout.start();
    m_retry.start();
    m_session.AskRegistersFromModule();
    {
        RegisterLockGuard guard(m_session.lock());
        m_session.motor().RequestRead(Reg::Kdff); // the read-back above leaves 0x64 out
    }
    // Without 0x5B on the model there is no end marker: check after the delay.
    if (!m_markerReadable)
        m_timerSave.start();
    return true;
}

void ParameterSave::limitsReceived()
{
    if (!m_pending || m_writerStarted || m_timerSave.isActive())
        return;
    {
        // An answer of 0x5B asked before this save (or before the last re-ask) is not the end.
        RegisterLockGuard guard(m_session.lock());
        if (m_session.motor().registerAt(Reg::Limit2XInput)->AnswerCount <= m_markerStamp)
            return;
    }
    m_timerSave.start();
}

void ParameterSave::connectionClosed()
{
    if (m_pending && !m_writerStarted)
        timedOut();
}

bool ParameterSave::answeredSinceRequest(int address) const
{
    return m_session.motor().registerAt(address)->AnswerCount > m_stamps[size_t(address)];
}

void ParameterSave::askAgain(const std::vector<int> &addresses)
{
    RegisterLockGuard guard(m_session.lock());
    QLMCIPMotor &motor = m_session.motor();
    for (int address : addresses)
        motor.RequestRead(address);
    // 0x5B again, last in address order before the feed-forward terms, as the marker.
    m_markerStamp = motor.registerAt(Reg::Limit2XInput)->AnswerCount;
    if (m_markerReadable)
        motor.RequestRead(Reg::Limit2XInput);
}

void ParameterSave::computeMissing(SaveGroups groups)
{
    m_missing.clear();
    RegisterLockGuard guard(m_session.lock());
    const QLMCIPMotor &motor = m_session.motor();
    std::vector<int> saved = ParameterFile::savedAddresses(motor, groups);
    for (int address : {Reg::Type, Reg::Version})
        if (motor.registerAt(address)->Readable)
            saved.push_back(address);
    for (int address : saved)
        if (!answeredSinceRequest(address))
            m_missing.push_back(address);
}

void ParameterSave::TimerSaveTimer()
{
    if (!m_pending || m_writerStarted)
        return;
    // The ticked groups, taken here on the user-interface thread.
    const SaveGroups groups = m_groups ? m_groups() : SaveGroups::all();
    computeMissing(groups);
    if (!m_missing.empty()) {
        askAgain(m_missing);
        if (!m_markerReadable)
            m_timerSave.start();
        return;
    }
    m_listener.saveStatus(QStringLiteral("All datas received"));
    m_writerStarted = true;
    m_timeout.stop();
    m_retry.stop();
    m_writer = std::make_unique<TThreadSaveFile>(
        m_session, m_fileName, groups, [this](bool ok, const QString &error) {
            m_handOver.post([this, ok, error] { writerEnded(ok, error); });
        });
    m_writer->start();
}

void ParameterSave::writerEnded(bool ok, const QString &error)
{
    if (m_writer) {
        m_writer->join();
        m_writer.reset();
    }
    m_writeOk = ok;
    m_writeError = error;
    m_timerAfterWrite.start();
}

QString ParameterSave::missingText() const
{
    QStringList names;
    RegisterLockGuard guard(m_session.lock());
    for (int address : m_missing)
        names << addressText(address) + QLatin1Char(' ')
                     + QString::fromStdString(m_session.motor().registerAt(address)->Name);
    return names.join(QStringLiteral(", "));
}

void ParameterSave::timedOut()
{
    if (!m_pending || m_writerStarted)
        return;
    m_timerSave.stop();
    computeMissing(m_groups ? m_groups() : SaveGroups::all());
    if (m_markerReadable) {
        RegisterLockGuard guard(m_session.lock());
        if (!answeredSinceRequest(Reg::Limit2XInput)
            && std::find(m_missing.begin(), m_missing.end(), Reg::Limit2XInput) == m_missing.end())
            m_missing.push_back(Reg::Limit2XInput);
    }
    QString text = QStringLiteral("Save file failed, no answer from module.");
    if (!m_missing.empty())
        text += QStringLiteral("\r\nMissing registers: ") + missingText();
    finish(false, text);
}

void ParameterSave::retry()
{
    // An answer was lost (the 0x5B one, or others): ask again what is missing.
    if (!m_pending || m_writerStarted || m_timerSave.isActive())
        return;
    computeMissing(m_groups ? m_groups() : SaveGroups::all());
    askAgain(m_missing);
    if (!m_markerReadable)
        m_timerSave.start();
}

void ParameterSave::finish(bool written, const QString &failure)
{
    m_timeout.stop();
    m_retry.stop();
    m_listener.savingIndicator(false);
    m_listener.saveStatus(written ? QStringLiteral("Save - Finished")
                                  : QStringLiteral("Save - Failed"));
    m_pending = false;
    m_writerStarted = false;
    m_listener.saveEnded(written, failure);
}
