// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "features/AutoTuningWizard.h"

#include "device/ChangeHistory.h"
#include "device/RegisterRules.h"

#include "base/NumberText.h"
#include "base/PanelNumberText.h"
#include "device/QLMCSession.h"
#include "platform/HighResCounter.h"

#include <cmath>

TuningStatusMeaning tuningStatusMeaning(uint8_t status)
{
    using Outcome = TuningStatusMeaning::Outcome;
    const int state = status & 0x0F;
    const int detail = status >> 4;
    TuningStatusMeaning m;
    switch (state) {
    case 0:
        m.outcome = Outcome::Finished;
        m.lines = {QStringLiteral("Auto-tuning finished correctly.")};
        break;
    case 3:
        m.outcome = Outcome::Running;
        break;
    case 4:
        m.outcome = Outcome::Error;
        switch (detail) {
        case 0:
            m.lines = {QStringLiteral("Error - Auto-tuning aborted.")};
            break;
        case 1:
            m.lines = {QStringLiteral("Error - Speed measured = 0"),
                       QStringLiteral("EC motor - no Hall sensors detected"),
                       QStringLiteral("DC motor - check encoder & winding")};
            break;
        case 2:
            m.lines = {QStringLiteral("Error - Speed measured = 0"),
                       QStringLiteral("EC motor - Hall sensors detected"),
                       QStringLiteral("=> check winding lines"),
                       QStringLiteral("=> swap Hall sensors lines")};
            break;
        case 3:
            m.lines = {QStringLiteral("Error - Oscillation measured"),
                       QStringLiteral("EC motor - Hall sensors detected"),
                       QStringLiteral("=> swap Hall sensors lines")};
            break;
        default:
            m.lines = {QStringLiteral("Error - not defined")};
            break;
        }
        break;
    default:
        m.outcome = Outcome::NoChange;
        break;
    }
    return m;
}

const std::array<int, 18> &AutoTuningWizard::reReadRegisters()
{
    static const std::array<int, 18> registers{
        Reg::Options,      Reg::StandbyTimer,    Reg::LoopTimeOption, Reg::RegulationMode,
        Reg::Kp,           Reg::Ki,              Reg::Kd,             Reg::Acceleration,
        Reg::Deceleration, Reg::SpeedMax,        Reg::DeadZone,       Reg::EncoderRatio,
        Reg::AntiResetWindup, Reg::Input,        Reg::VffOffset,      Reg::Kvff,
        Reg::Kaff,         Reg::Kdff};
    return registers;
}

bool AutoTuningWizard::nextEnabled() const
{
    if (m_step == CurrentStep)
        return m_currentValid;
    return m_step < StartStep;
}

bool AutoTuningWizard::backEnabled() const
{
    return m_step > 0 && !m_running;
}

bool AutoTuningWizard::startEnabled(TuningKind button) const
{
    if (!m_connected)
        return false;
    if (m_running)
        return button == m_kind; // the running button carries "Abort"
    return button == TuningKind::PidOnly ? m_pidEnabled : m_predictiveEnabled;
}

QString AutoTuningWizard::startCaption(TuningKind button) const
{
    if (m_running && button == m_kind)
        return QStringLiteral("Abort");
    return button == TuningKind::PidOnly ? QStringLiteral("Start PID only")
                                         : QStringLiteral("Start PID + Predictive");
}

QString AutoTuningWizard::connectionClosedLine()
{
    return QStringLiteral("Auto-tuning aborted: the connection was closed.");
}

WizardRequests AutoTuningWizard::setConnected(bool connected)
{
    WizardRequests requests;
    m_connected = connected;
    if (connected) {
        m_pidEnabled = true;
        m_predictiveEnabled = true;
    } else if (m_running) {
        m_running = false;
        requests.runEnded = true;
        showStep(ResultStep);
        m_lines = {connectionClosedLine()};
    }
    return requests;
}

void AutoTuningWizard::identified(bool predictiveEnabled)
{
    m_pidEnabled = true;
    m_predictiveEnabled = predictiveEnabled;
}

void AutoTuningWizard::setMaxPeakCurrent(int32_t raw)
{
    m_maxPeakCurrent = raw;
}

std::optional<int32_t> AutoTuningWizard::currentRaw(const QString &text, int32_t maxPeak)
{
    const std::optional<double> value = PanelNumberText::parseDecimal(text);
    if (!value || !std::isfinite(*value) || *value < 0.0)
        return std::nullopt;
    const double scaled = *value * 65536.0;
    if (!RegisterRules::currentMaxAllowed(scaled, maxPeak))
        return std::nullopt;
    return int32_t(scaled); // truncation toward zero; within 0..maxPeak
}

QString AutoTuningWizard::cutCurrentText(const QString &text)
{
    const qsizetype separator = text.indexOf(localeDecimalSeparator());
    if (separator < 0 || text.size() - separator - 1 <= 5)
        return text;
    return text.left(separator + 6);
}

int64_t AutoTuningWizard::outputVoltageRaw(int tenths, bool active)
{
    if (!active)
        return -1;
    return int64_t(tenths) * 65536 / 10;
}

void AutoTuningWizard::currentTextChanged(const QString &text)
{
    m_currentValid = currentRaw(text, m_maxPeakCurrent).has_value();
}

void AutoTuningWizard::formShown()
{
    showStep(m_running ? StartStep : 0);
}

void AutoTuningWizard::showStep(int step)
{
    m_step = step;
    if (step == StartStep && !m_running) {
        m_lines.clear();
        m_pidEnabled = true;
        m_runningText = QStringLiteral("----------");
    }
}

WizardRequests AutoTuningWizard::next(const QString &currentText, int voltageTenths,
                                      bool voltageActive)
{
    WizardRequests requests;
    if (!nextEnabled() && m_step != CurrentStep)
        return requests;
    if (m_step == CurrentStep) {
        const std::optional<int32_t> raw = currentRaw(currentText, m_maxPeakCurrent);
        m_currentValid = raw.has_value();
        if (!raw)
            return requests;
        requests.writes.push_back({Reg::CurrentMax, *raw});
    } else if (m_step == VoltageStep) {
        const int tenths = std::clamp(voltageTenths, VoltageMinTenths, VoltageMaxTenths);
        requests.writes.push_back(
            {Reg::MaxOutputVoltage, outputVoltageRaw(tenths, voltageActive)});
    }
    if (m_step < StartStep)
        showStep(m_step + 1);
    return requests;
}

void AutoTuningWizard::back()
{
    if (!backEnabled())
        return;
    showStep(m_step - 1);
}

WizardRequests AutoTuningWizard::startClicked(TuningKind button)
{
    WizardRequests requests;
    if (button == TuningKind::None || !startEnabled(button))
        return requests;
    const bool predictive = button == TuningKind::PidPredictive;
    if (m_running) {
        requests.writes.push_back(
            {Reg::AutoTuning, predictive ? TuningCommand::AbortPredictive : TuningCommand::AbortPid});
        return requests;
    }
    requests.writes.push_back(
        {Reg::AutoTuning, predictive ? TuningCommand::StartPredictive : TuningCommand::StartPid});
    requests.runStarted = true;
    m_running = true;
    m_kind = button;
    m_lines.clear();
    // The other start button stays disabled after the run (until the next
    // identification or connection).
    (predictive ? m_pidEnabled : m_predictiveEnabled) = false;
    return requests;
}

WizardRequests AutoTuningWizard::statusDecoded(uint8_t status,
                                               const std::function<bool(int)> &readable)
{
    using Outcome = TuningStatusMeaning::Outcome;
    WizardRequests requests;
    m_status = status;
    const TuningStatusMeaning meaning = tuningStatusMeaning(status);
    if (meaning.outcome == Outcome::Running) {
        // A status read outside a run (a file, the identification's read-out)
        // says nothing about this window.
        if (m_running)
            m_runningText = QStringLiteral("Running...");
        return requests;
    }
    if (meaning.outcome == Outcome::NoChange || !m_running)
        return requests;
    m_running = false;
    requests.runEnded = true;
    showStep(ResultStep);
    for (const int address : reReadRegisters())
        if (!readable || readable(address))
            requests.reads.push_back(address);
    m_lines = meaning.lines;
    if (meaning.outcome == Outcome::Error)
        requests.writes.push_back({Reg::AutoTuning, TuningCommand::Reset});
    return requests;
}

std::optional<QString> applyWizardRequests(QLMCSession &session, const AutoTuningWizard &wizard,
                                           const WizardRequests &requests)
{
    const ChangeSource source(QStringLiteral("Auto-tuning"));
    RegisterLockGuard guard(session.lock());
    QLMCIPMotor &motor = session.motor();
    std::vector<RegisterWrite> judged;
    for (const WizardWrite &write : requests.writes) {
        // An abort takes the STOP's fast path: the next packet, not behind the
        // poll, and no rule holds it back.
        const bool abort = write.address == Reg::AutoTuning
                           && (write.value == TuningCommand::AbortPid
                               || write.value == TuningCommand::AbortPredictive);
        if (!abort)
            judged.push_back(RegisterRules::write(write.address, write.value));
        else if (!session.requestUrgentWrite(write.address, write.value))
            motor.RequestWrite(write.address, write.value);
    }
    if (!judged.empty())
        if (std::optional<QString> refusal = RegisterRules::requestExplained(
                session, judged, "applyWizardRequests", "Auto-tuning"))
            return refusal;
    for (const int address : requests.reads)
        motor.RequestRead(address);
    if (requests.runStarted)
        session.TuningRecorder.start(HighResCounter::now());
    if (requests.runEnded)
        session.TuningRecorder.stop();
    session.AutoTuningActive = wizard.running();
    return std::nullopt;
}
