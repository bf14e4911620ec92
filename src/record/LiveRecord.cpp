#include "record/LiveRecord.h"

#include "device/ModelProfile.h"
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

LiveSample LiveSample::from(const ReceivedValues &v, int64_t ticks)
{
    LiveSample s;
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
    QByteArray out = QByteArray::number(elapsedMs, 'f', 1);
    appendInt(out, s.position);
    appendInt(out, s.speed);
    if (stepperUnits)
        appendFixed(out, double(s.position) / 256.0, 3);
    else
        appendInt(out, s.desired);
    appendInt(out, s.input);
    appendFixed(out, double(s.command) * 100.0 / 65535.0, 2);
    appendFixed(out, double(s.current), 3);
    appendFixed(out, double(s.voltage), 1);
    appendFixed(out, double(s.temperature), 1);
    out += ',';
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
