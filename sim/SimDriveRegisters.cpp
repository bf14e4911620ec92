// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The drive's live registers: what a read renders and what a write does.

#include "sim/SimDriveInternal.h"

#include "sim/SimEnhancedCommand.h"

using namespace simdrive;

bool SimDrive::isLive(int address)
{
    switch (address) {
    case Reg::Voltage:
    case Reg::Warning:
    case Reg::Position:
    case Reg::Speed:
    case Reg::Temperature:
    case Reg::CurrentSense:
    case Reg::Desired:
    case Reg::Feedback:
    case Reg::Command:
    case Reg::IntegralDelta:
    case Reg::DerivationOfDelta:
    case Reg::AutoTuning:
    case Reg::IoState:
        return true;
    default:
        return false;
    }
}

void SimDrive::render(int address)
{
    SimRegisterImage &r = m_image;
    const int mode = r.u8(Reg::RegulationMode);
    const bool speedSetPoint = m_homing.active() ? m_homing.search() != SimHoming::Search::MoveTo
                                                 : mode == SpeedTrajectory;
    switch (address) {
    case Reg::Voltage:
        r.setFixed16(address, m_voltage);
        break;
    case Reg::Warning:
        r.setU32(address, m_present | m_latched);
        break;
    case Reg::Position:
        r.setS32(address, wrapToInt32(position()));
        break;
    case Reg::Speed:
        r.setS32(address, SimRegisterImage::saturate(std::round(speed())));
        break;
    case Reg::Temperature:
        r.setFixed16(address, m_temperature);
        break;
    case Reg::CurrentSense: {
        // The live value comes first, then the lowest and the highest of the
        // last moments.
        const double live = m_current + (m_current != 0.0 ? 0.005 * noise(3) : 0.0);
        const int16_t values[3] = {fixed8_8(std::clamp(live, m_currentLow, m_currentHigh)),
                                   fixed8_8(m_currentLow), fixed8_8(m_currentHigh)};
        for (int i = 0; i < 3; ++i)
            r.setU16(address, uint16_t(values[i]), i * 2);
        break;
    }
    case Reg::Desired:
        if (!m_homing.active() && mode == OpenLoop && !m_stepper)
            r.setS32(address, SimRegisterImage::saturate(effectiveInput(settings())));
        else if (speedSetPoint && m_regulating)
            r.setS32(address, SimRegisterImage::saturate(std::round(m_trajectory.speed())));
        else if (m_regulating)
            r.setS32(address, wrapToInt32(m_trajectory.position()));
        else
            r.setS32(address, wrapToInt32(position()));
        break;
    case Reg::Feedback:
        r.setS32(address, speedSetPoint && m_regulating
                              ? SimRegisterImage::saturate(std::round(speed()))
                              : wrapToInt32(position()));
        break;
    case Reg::Command:
        r.setS32(address, SimRegisterImage::saturate(std::round(m_command)));
        break;
    case Reg::IntegralDelta:
        r.setS32(address, SimRegisterImage::saturate(std::round(m_regulator.integral())));
        break;
    case Reg::DerivationOfDelta:
        r.setS32(address, SimRegisterImage::saturate(std::round(m_regulator.errorDelta())));
        break;
    case Reg::AutoTuning:
        r.setU8(address, m_tuner.status());
        break;
    case Reg::IoState: {
        const uint16_t config = r.u16(Reg::IoConfig);
        const Settings s = settings();
        const uint8_t limits = uint8_t((limitActive(0, s) ? 1 : 0) | (limitActive(1, s) ? 2 : 0));
        const uint8_t bytes[4] = {0, limits, ioLine((config >> 4) & 0x0F, 2),
                                 ioLine(config & 0x0F, 1)};
        r.setBytes(address, bytes);
        break;
    }
    default:
        break;
    }
}

bool SimDrive::write(int address, std::span<const uint8_t> value)
{
    switch (address) {
    case Reg::Warning: {
        // Writing clears the latched bits written as 0 (the tool writes 0).
        const uint32_t v = value.size() == 4
                               ? (uint32_t(value[0]) << 24) | (uint32_t(value[1]) << 16)
                                     | (uint32_t(value[2]) << 8) | value[3]
                               : 0u;
        m_latched &= v & ~Warn::PresentMask;
        return true;
    }
    case Reg::RegulationMode:
        if (value.empty() || value[0] > Standby)
            return false;
        if (m_homing.active()) {
            m_homing.stop();
            m_motor.setEndStops({}, {});
            m_homingFailed = true;
        }
        if (m_tuner.running()) {
            m_tuner.command(m_tuner.predictive() ? SimAutoTuner::AbortPredictive
                                                 : SimAutoTuner::AbortPid);
            m_motor.setEndStops({}, {});
        }
        setMode(value[0]);
        return true;
    case Reg::Position: {
        m_image.setBytes(address, value);
        shiftCounter(double(m_image.s32(address)) - position());
        return true;
    }
    case Reg::LoopTimeOption:
        if (value.empty() || value[0] > 6)
            return false;
        m_image.setBytes(address, value);
        return true;
    case Reg::IntegralDelta:
        m_image.setBytes(address, value);
        m_regulator.setIntegral(m_image.s32(address));
        return true;
    case Reg::AutoTuning: {
        if (value.empty())
            return false;
        const bool noCurrent = m_image.fixed16(Reg::CurrentMax) <= 0.0;
        const SimAutoTuner::Event event = m_tuner.command(value[0], noCurrent);
        if (event == SimAutoTuner::Event::Started) {
            m_homing.stop();
            m_motor.setEndStops({}, {});
            if (m_tuner.holdsRotor()) // the motor is excited but does not turn
                m_motor.setEndStops(physical(), physical());
            m_brakeThenCopy = false;
        } else if (event == SimAutoTuner::Event::Stopped) {
            m_motor.setEndStops({}, {});
            setMode(DriverStop);
        }
        return true;
    }
    case Reg::HomingStart:
        startHoming();
        return true;
    case Reg::HomingStop:
        if (m_homing.active())
            endHoming(SimHoming::Result::Failed);
        return true;
    case Reg::EnhancedInput: {
        m_image.setBytes(address, value);
        const Settings s = settings();
        const SimEnhancedAction action = SimEnhancedCommand::decode(
            m_image.bytes(address), position(), speed(), m_image.s32(Reg::Input), s.pulsesPerLoop);
        if (action.positionShift != 0.0) {
            shiftCounter(action.positionShift);
            if (action.shiftInput)
                setInput(double(m_image.s32(Reg::Input)) + action.positionShift);
        }
        if (action.input)
            setInput(*action.input);
        if (action.mode) {
            if (m_homing.active()) {
                m_homing.stop();
                m_motor.setEndStops({}, {});
            }
            setMode(*action.mode);
        }
        m_brakeThenCopy = action.brakeThenCopy;
        if (action.peakCurrent)
            m_peakLeft = s.peakSeconds;
        return true;
    }
    default:
        m_image.setBytes(address, value);
        return true;
    }
}
