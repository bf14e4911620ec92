// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "record/LiveRecord.h"

#include "device/ModelProfile.h"
#include "device/RegisterTable.h"
#include "panel/ModeTable.h"

namespace {

void appendFixed(QByteArray &out, double value, int decimals)
{
    out += ',';
    out += QByteArray::number(value, 'f', decimals);
}

void appendInt(QByteArray &out, int64_t value)
{
    out += ',';
    out += QByteArray::number(qlonglong(value));
}

} // namespace

LiveSample LiveSample::from(const ReceivedValues &v, int64_t ticks,
                            const std::function<bool(int address)> &received)
{
    LiveSample s;
    if (received) {
        const struct
        {
            int address;
            uint16_t bit;
        } columns[] = {{Reg::Position, PositionMissing}, {Reg::Speed, SpeedMissing},
                       {Reg::Desired, DesiredMissing},   {Reg::Input, InputMissing},
                       {Reg::Command, CommandMissing},   {Reg::RegulationMode, ModeMissing},
                       {Reg::CurrentSense, CurrentMissing}, {Reg::Voltage, VoltageMissing},
                       {Reg::Temperature, TemperatureMissing}};
        for (const auto &column : columns)
            if (!received(column.address))
                s.missing |= column.bit;
    }
    s.ticks = ticks;
    s.position = v.Position;
    s.speed = v.Speed;
    s.desired = v.Desired;
    s.input = v.Input;
    s.command = v.Command;
    s.regulationMode = v.RegulationMode;
    s.current = v.CurrentLive;
    s.voltage = v.Voltage;
    s.temperature = v.Temperature;
    return s;
}

RecordUnits RecordUnits::from(const ModelProfile &profile)
{
    RecordUnits units;
    units.position = profile.titles.position;
    units.speed = profile.titles.speed;
    units.desired = profile.titles.desired;
    units.stepperUnits = profile.stepperUnits;
    return units;
}

namespace LiveRecordFormat {

QByteArray header(const RecordUnits &units)
{
    QByteArray out("\xEF\xBB\xBF");
    out += QStringLiteral("Time [ms],%1,%2,%3,0x21-Input,0x32-Command [%],0x2B-Current [A],"
                          "0x07-Voltage [V],0x29-Temperature [\u00B0C],0x20-Regul. mode\n")
               .arg(units.position, units.speed, units.desired)
               .toUtf8();
    return out;
}

QByteArray line(const LiveSample &s, double elapsedMs, bool stepperUnits)
{
    // A value the device did not send in this connection leaves its field empty.
    const auto has = [&s](uint16_t bit) { return (s.missing & bit) == 0; };
    QByteArray out = QByteArray::number(elapsedMs, 'f', 1);
    auto integer = [&](uint16_t bit, int64_t value) {
        if (has(bit))
            appendInt(out, value);
        else
            out += ',';
    };
    auto fixed = [&](uint16_t bit, double value, int decimals) {
        if (has(bit))
            appendFixed(out, value, decimals);
        else
            out += ',';
    };
    integer(LiveSample::PositionMissing, s.position);
    integer(LiveSample::SpeedMissing, s.speed);
    if (stepperUnits)
        fixed(LiveSample::PositionMissing, double(s.position) / 256.0, 3);
    else
        integer(LiveSample::DesiredMissing, s.desired);
    integer(LiveSample::InputMissing, s.input);
    fixed(LiveSample::CommandMissing, double(s.command) * 100.0 / 65535.0, 2);
    fixed(LiveSample::CurrentMissing, double(s.current), 3);
    fixed(LiveSample::VoltageMissing, double(s.voltage), 1);
    fixed(LiveSample::TemperatureMissing, double(s.temperature), 1);
    out += ',';
    if (has(LiveSample::ModeMissing))
        out += modeCaption(s.regulationMode).toUtf8();
    out += '\n';
    return out;
}

QByteArray trailer(int64_t lines, int64_t dropped)
{
    return QStringLiteral("# %1 lines recorded, %2 dropped\n").arg(lines).arg(dropped).toUtf8();
}

QString modeCaption(int32_t value)
{
    if (value >= 0 && value < RegulationModeCount)
        return QString::fromLatin1(modeTable()[size_t(value)].caption);
    return QString::number(value);
}

} // namespace LiveRecordFormat
