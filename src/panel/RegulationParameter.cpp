// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "panel/RegulationParameter.h"

#include "device/RegisterTable.h"

namespace {

using Id = RegulationParameterId;
using Kind = ParameterKind;

const std::array<RegulationParameter, RegulationParameterCount> Table{{
    {Id::Kp, Reg::Kp, "0x33-Kp", "EKp", "1.000", 0, "TBKp", -100, 100, 0, 100, 1, Kind::Fixed16,
     ValueFlag::Kp},
    {Id::Ki, Reg::Ki, "0x34-Ki", "EKi", "1.000", 0, "TBKi", -100, 100, 0, 100, 1, Kind::Fixed16,
     ValueFlag::Ki},
    {Id::Kd, Reg::Kd, "0x35-Kd", "EKd", "1.000", 0, "TBKd", -100, 100, 0, 100, 1, Kind::Fixed16,
     ValueFlag::Kd},
    {Id::VffOffset, Reg::VffOffset, "0x61-VffOffset", "EVffOffset", "0", 16, "TBVffOffset", -65536,
     65536, 0, 65536, 1, Kind::SignedInteger, ValueFlag::VffOffset},
    {Id::Kvff, Reg::Kvff, "0x62-Kvff", "EKvff", "0", 0, "TBKvff", -100, 100, 0, 100, 1,
     Kind::Fixed16, ValueFlag::Kvff},
    {Id::Kaff, Reg::Kaff, "0x63-Kaff", "EKaff", "0", 0, "TBKaff", -100, 100, 0, 100, 1,
     Kind::Fixed24, ValueFlag::Kaff},
    {Id::Kdff, Reg::Kdff, "0x64-Kdff", "EKdff", "0", 0, "TBKdff", -100, 100, 0, 100, 1,
     Kind::Fixed24, ValueFlag::Kdff},
    {Id::AntiResetWindup, Reg::AntiResetWindup, "0x36-Anti R W", "EArw", "2000000000", 10, "TBArw",
     -200, 0, 0, 100, 10, Kind::Log2e9, ValueFlag::AntiResetWindup},
    {Id::Acceleration, Reg::Acceleration, "0x40-Acc [p/s^2]", "EAcceleration", "43172", 10,
     "TBAcceleration", -200, 0, -100, 100, 1, Kind::Log2e9, ValueFlag::Acceleration},
    {Id::Deceleration, Reg::Deceleration, "0x41-Dec [p/s^2]", "EDeceleration", "43172", 10,
     "TBDeceleration", -200, 0, -100, 100, 1, Kind::Log2e9, ValueFlag::Deceleration},
    {Id::SpeedMax, Reg::SpeedMax, "0x42-Top spd [p/s]", "ESpeedMax", "2000", 10, "TBSpeedMax",
     -1000, 0, -500, 500, 1, Kind::Log4_5e6, ValueFlag::SpeedMax},
    {Id::DeadZone, Reg::DeadZone, "0x43-Dead Z [p]", "EDeadZone", "0", 10, "TBDeadZone", -200, 0,
     -100, 16383, 1, Kind::Log2e9, ValueFlag::DeadZone},
    {Id::EncoderRatio, Reg::EncoderRatio, "0x44-Encoder 1/2", "EEncoderRatio", "1.00000", 0,
     "TBEncoderRatio", -100, 100, 0, 100, 1, Kind::Fixed16, ValueFlag::EncoderRatio},
}};

const std::array<RegulationParameterId, RegulationParameterCount> WriteOrder{
    Id::Kp,       Id::Ki,       Id::Kd,           Id::AntiResetWindup, Id::VffOffset,
    Id::Kvff,     Id::Kaff,     Id::Kdff,         Id::Acceleration,    Id::Deceleration,
    Id::SpeedMax, Id::DeadZone, Id::EncoderRatio,
};

const std::array<int, RegulationParameterCount> ReadAddresses{
    Reg::Kp,       Reg::Ki,       Reg::Kd,           Reg::Acceleration,    Reg::Deceleration,
    Reg::SpeedMax, Reg::DeadZone, Reg::EncoderRatio, Reg::AntiResetWindup, Reg::VffOffset,
    Reg::Kvff,     Reg::Kaff,     Reg::Kdff,
};

} // namespace

double RegulationParameter::receivedValue(const ReceivedValues &values) const
{
    switch (id) {
    case Id::Kp:
        return values.Kp;
    case Id::Ki:
        return values.Ki;
    case Id::Kd:
        return values.Kd;
    case Id::VffOffset:
        return values.VffOffset;
    case Id::Kvff:
        return values.Kvff;
    case Id::Kaff:
        return values.Kaff;
    case Id::Kdff:
        return values.Kdff;
    case Id::AntiResetWindup:
        return values.AntiResetWindup;
    case Id::Acceleration:
        return values.Acceleration;
    case Id::Deceleration:
        return values.Deceleration;
    case Id::SpeedMax:
        return values.SpeedMax;
    case Id::DeadZone:
        return values.DeadZone;
    case Id::EncoderRatio:
        return values.EncoderRatio;
    }
    return 0;
}

const std::array<RegulationParameter, RegulationParameterCount> &regulationParameters()
{
    return Table;
}

const RegulationParameter &regulationParameter(RegulationParameterId id)
{
    return Table[static_cast<size_t>(id)];
}

const std::array<RegulationParameterId, RegulationParameterCount> &regulationWriteOrder()
{
    return WriteOrder;
}

const std::array<int, RegulationParameterCount> &regulationReadAddresses()
{
    return ReadAddresses;
}
