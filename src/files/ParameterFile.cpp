// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "files/ParameterFile.h"

#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "platform/RegularFile.h"
#include "protocol/ConnectionState.h"

namespace {

const QString HeaderSection = QStringLiteral("File Header");
const QString RegisterSection = QStringLiteral("Register ");

QString hex2(int value)
{
    return QString::number(value, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString sectionName(int n)
{
    return RegisterSection + QString::number(n);
}

ParameterFileContent failure(const QString &reason)
{
    ParameterFileContent content;
    content.result = 2;
    content.error = reason;
    return content;
}

/// The "Reg" of a refused section as the message names it: "0x" and two
/// digits for a number 0..255 (a missing key reads 255), otherwise the text
/// as found in the file ("-1", "4096", "abc").
QString registerText(int reg, const QString &found)
{
    if (reg >= 0 && reg <= 0xFF && (found.isNull() || IniFile::parseInteger(found)))
        return QStringLiteral("0x") + hex2(reg);
    return found.left(40);
}

ParameterFileContent badSection(int reg, const QString &found = QString())
{
    ParameterFileContent content = failure(
        QStringLiteral("Open file failed, bad configuration file format.\r\nFailed register "
                       "address = ")
        + registerText(reg, found));
    content.failedRegister = reg;
    return content;
}

/// The values of a file viewed offline travel in one packet: a file whose
/// registers do not fit is refused as a whole.
ParameterFileContent tooManyRegisters()
{
    return failure(QStringLiteral("Open file failed, the file holds too many registers: their "
                                  "values exceed the %1 bytes of one view packet.")
                       .arg(ParameterFile::ViewCapacity));
}

bool isHexDigit(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
           || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
}

} // namespace

const std::array<SaveGroupInfo, SaveGroupCount> &saveGroupTable()
{
    static const std::array<SaveGroupInfo, SaveGroupCount> table{{
        {SaveGroup::Communication,
         "CBCommunication",
         "Communication",
         "(IP address, Name, Watchdog) ",
         "communication",
         {Reg::AddressIp, Reg::Name, Reg::TcpWatchdog}},
        {SaveGroup::Global,
         "CBGlobal",
         "Global",
         "(Input min-max, Current max, Output voltage max, Options, Loop time option, IOConfig)",
         "global",
         {Reg::InputMin, Reg::InputMax, Reg::CurrentMax, Reg::StandbyTimer, Reg::Options,
          Reg::LoopTimeOption, Reg::MaxOutputVoltage, Reg::DissipationVoltage, Reg::IoConfig}},
        {SaveGroup::Regulation,
         "CBRegulation",
         "Regulation",
         "(Kp, Ki, Kd, VffOffset, Kvff, Kaff, Kadff, Anti reset windup, Acceleration, "
         "Deceleration, Speed max, Dead zone, Encoders 2/1)",
         "regulation",
         {Reg::Kp, Reg::Ki, Reg::Kd, Reg::VffOffset, Reg::Kvff, Reg::Kaff, Reg::Kdff,
          Reg::AntiResetWindup, Reg::Acceleration, Reg::Deceleration, Reg::SpeedMax, Reg::DeadZone,
          Reg::EncoderRatio}},
        {SaveGroup::Homing,
         "CBHoming",
         "Homing",
         "(Options, Position, Input)",
         "homing",
         {Reg::HomingStartInput, Reg::HomingOption, Reg::HomingPosition, Reg::HomingInput}},
        {SaveGroup::Limit1,
         "CBLimit1",
         "Limit 1",
         "(Setup, Control mode, Position, Input)",
         "limit1",
         {Reg::Limit1Setup, Reg::Limit1ControlMode, Reg::Limit1Position, Reg::Limit1XInput}},
        {SaveGroup::Limit2,
         "CBLimit2",
         "Limit 2",
         "(Setup, Control mode, Position, Input)",
         "limit2",
         {Reg::Limit2Setup, Reg::Limit2ControlMode, Reg::Limit2Position, Reg::Limit2XInput}},
        {SaveGroup::LoopsInput,
         "CBLoopsInput",
         "Loops input",
         "(Loops configuration, peek current)",
         "loops",
         {Reg::LoopsConfig, Reg::EnhancedParams}},
    }};
    return table;
}

std::optional<SaveGroup> saveGroupFromKey(QStringView key)
{
    for (const SaveGroupInfo &info : saveGroupTable())
        if (key.compare(QLatin1String(info.key), Qt::CaseInsensitive) == 0)
            return info.group;
    return std::nullopt;
}

namespace ParameterFile {

QString withExtension(const QString &name)
{
    // Compared with case: "params.QMC" gets a second extension.
    return name.endsWith(QLatin1String(Extension), Qt::CaseSensitive)
               ? name
               : name + QLatin1String(Extension);
}

QString deviceTypeText(const std::array<uint8_t, 4> &t)
{
    return hex2(t[0]) + hex2(t[1]) + QLatin1Char('.') + hex2(t[2]) + hex2(t[3]);
}

QString hardwareVersionText(const std::array<uint8_t, 4> &v)
{
    if (v[0] == 0)
        return QStringLiteral("-.-");
    return QString::number(v[0]) + QLatin1Char('.') + QString::number(v[1]);
}

QString firmwareVersionText(const std::array<uint8_t, 4> &v)
{
    if (v[0] == 0)
        return QString::number(v[1]) + QLatin1Char('.') + QString::number(v[3]);
    return QString::number(v[2]) + QLatin1Char('.') + QString::number(v[3]);
}

QString valueText(const std::vector<uint8_t> &bytes)
{
    QString text = QStringLiteral("0x");
    for (uint8_t b : bytes)
        text += hex2(b);
    return text;
}

const char *addressRegisterName(int comMode)
{
    return comMode == ComModes::TcpGateway ? "I2C Address" : "IP Address";
}

std::vector<int> savedAddresses(const QLMCIPMotor &motor, SaveGroups groups)
{
    std::vector<int> addresses;
    for (const SaveGroupInfo &info : saveGroupTable()) {
        if (!groups.has(info.group))
            continue;
        for (int address : info.registers)
            if (motor.registerAt(address)->Readable)
                addresses.push_back(address);
    }
    return addresses;
}

ParameterSnapshot takeSnapshot(QLMCSession &session, SaveGroups groups)
{
    ParameterSnapshot snapshot;
    const int comMode = session.connection().ComMode.load();
    RegisterLockGuard guard(session.lock());
    QLMCIPMotor &motor = session.motor();
    const QLMCRegister &type = *motor.registerAt(Reg::Type);
    const QLMCRegister &version = *motor.registerAt(Reg::Version);
    snapshot.typeReadable = type.Readable;
    std::copy_n(type.Value.begin(), 4, snapshot.type.begin());
    snapshot.versionReadable = version.Readable;
    std::copy_n(version.Value.begin(), 4, snapshot.version.begin());
    for (int address : savedAddresses(motor, groups)) {
        QLMCRegister &reg = *motor.registerAt(address);
        if (address == Reg::AddressIp)
            reg.Name = addressRegisterName(comMode); // kept until the image is rebuilt
        snapshot.registers.push_back({address, reg.Name, reg.Size, reg.Value});
    }
    return snapshot;
}

IniFile compose(const ParameterSnapshot &snapshot)
{
    IniFile file;
    file.writeString(HeaderSection, QStringLiteral("File version"), QStringLiteral("3.00"));
    file.writeString(HeaderSection, QStringLiteral("Software version"), QStringLiteral("3.18"));
    if (snapshot.typeReadable)
        file.writeString(HeaderSection, QStringLiteral("Device type"),
                         deviceTypeText(snapshot.type));
    if (snapshot.versionReadable) {
        file.writeString(HeaderSection, QStringLiteral("Device HW version"),
                         hardwareVersionText(snapshot.version));
        file.writeString(HeaderSection, QStringLiteral("Device FW version"),
                         firmwareVersionText(snapshot.version));
    }
    int n = 0;
    for (const SavedRegister &reg : snapshot.registers) {
        const QString section = sectionName(n++);
        file.writeString(section, QStringLiteral("Name"), QString::fromStdString(reg.name));
        file.writeInteger(section, QStringLiteral("Reg"), reg.address);
        file.writeInteger(section, QStringLiteral("Size"), reg.size);
        file.writeString(section, QStringLiteral("Value"), valueText(reg.value));
    }
    return file;
}

bool save(const IniFile &file, const QString &path, QString *error)
{
    return file.save(path, error);
}

std::optional<int> ParseHexPair(QStringView text)
{
    // From the last character to the first, each digit weighted by 16 to the
    // power of its distance from the end.
    int value = 0;
    int weight = 1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const QChar c = text[i];
        int digit;
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = c.unicode() - '0';
        else if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
            digit = c.unicode() - 'A' + 10;
        else if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
            digit = c.unicode() - 'a' + 10;
        else
            return std::nullopt;
        if (weight > 0xFFFF)
            return std::nullopt; // more than a pair: not a byte text
        value += digit * weight;
        weight *= 16;
    }
    return value;
}

ParameterFileContent read(const IniFile &file)
{
    ParameterFileContent content;
    bool kpSeen = false;
    bool kvffSeen = false;
    bool lastOld = false;
    for (int n = 0;; ++n) {
        const QString section = sectionName(n);
        if (!file.sectionExists(section))
            break;
        const int reg = file.readInteger(section, QStringLiteral("Reg"), 255);
        const int size = file.readInteger(section, QStringLiteral("Size"), 0);
        const QString regText = file.valueExists(section, QStringLiteral("Reg"))
                                    ? file.readString(section, QStringLiteral("Reg"), QString())
                                    : QString();
        const auto refused = [&] { return badSection(reg, regText); };
        const RegisterInfo *info = registerInfo(reg);
        // Outside the table or an empty slot, or a size the table does not give.
        if (!info || info->address < 0 || info->size != size)
            return refused();
        FileEntry entry;
        entry.address = reg;
        entry.size = size;
        QString text;
        if (file.valueExists(section, QStringLiteral("Value"))) {
            text = file.readString(section, QStringLiteral("Value"), QString());
        } else if (file.valueExists(section, QStringLiteral("Data"))) {
            text = file.readString(section, QStringLiteral("Data"), QString());
            entry.oldKey = true;
        } else if (file.valueExists(section, QStringLiteral("DataWrite"))) {
            text = file.readString(section, QStringLiteral("DataWrite"), QString());
            entry.oldKey = true;
        } else {
            return refused();
        }
        // "0x", then hexadecimal digits only; missing digits give 0 (short old
        // values rely on it), digits beyond 2 x Size are ignored.
        if (text.size() < 2 || text[0] != QLatin1Char('0')
            || (text[1] != QLatin1Char('x') && text[1] != QLatin1Char('X')))
            return refused();
        const QStringView digits = QStringView(text).mid(2);
        for (QChar c : digits)
            if (!isHexDigit(c))
                return refused();
        entry.bytes.assign(size_t(size), 0);
        for (int i = 0; i < size; ++i) {
            const QStringView pair = digits.mid(qsizetype(2) * i, 2);
            const int byte = ParseHexPair(pair).value_or(0);
            entry.bytes[size_t(entry.oldKey ? size - 1 - i : i)] = uint8_t(byte);
        }
        content.viewBytes += 1 + size;
        if (content.viewBytes > ViewCapacity)
            return tooManyRegisters();
        kpSeen |= reg == Reg::Kp;
        kvffSeen |= reg == Reg::Kvff;
        lastOld = entry.oldKey;
        content.entries.push_back(std::move(entry));
    }
    // Older files without feed-forward: the four feed-forward terms become 0.
    if (kpSeen && !kvffSeen) {
        for (int address : {Reg::VffOffset, Reg::Kvff, Reg::Kaff, Reg::Kdff}) {
            FileEntry zero;
            zero.address = address;
            zero.size = registerInfo(address)->size;
            zero.bytes.assign(size_t(zero.size), 0);
            zero.zeroed = true;
            content.viewBytes += 1 + zero.size;
            if (content.viewBytes > ViewCapacity)
                return tooManyRegisters();
            content.entries.push_back(std::move(zero));
        }
    }
    // Neither a header nor a register section: not a parameter file at all.
    if (content.entries.empty() && !file.sectionExists(HeaderSection))
        return failure(QStringLiteral("Open file failed, not a parameter file."));
    content.result = lastOld ? 1 : 0;
    // "0010.0003": type code, point, sub-type, as the writer puts it.
    QString type = file.readString(HeaderSection, QStringLiteral("Device type"), QString());
    if (type.size() == 9 && type[4] == QLatin1Char('.')) {
        type.remove(4, 1);
        bool hex = true;
        for (const QChar c : type)
            hex = hex && ParseHexPair(QStringView(&c, 1)).has_value();
        if (hex)
            content.deviceType = type.toUInt(nullptr, 16);
    }
    return content;
}

ParameterFileContent readBytes(QByteArrayView bytes)
{
    if (bytes.size() > MaxFileSize)
        return failure(QStringLiteral("Open file failed, the file is larger than %1 bytes.")
                           .arg(MaxFileSize));
    IniFile file;
    file.loadFromBytes(bytes);
    return read(file);
}

ParameterFileContent readPath(const QString &path)
{
    // A FIFO or a device named like a parameter file would block the read (or
    // never end): only a regular file is opened.
    const RegularFileRead file = readRegularFile(path, MaxFileSize);
    switch (file.status) {
    case RegularFileRead::Status::Missing:
        return failure(QStringLiteral("Open file failed, the file does not exist: ") + path);
    case RegularFileRead::Status::NotRegular:
        return failure(file.detail == QLatin1String("folder")
                           ? QStringLiteral("Open file failed, the name is a folder: ") + path
                           : QStringLiteral("Open file failed, not a regular file (%1): %2")
                                 .arg(file.detail, path));
    case RegularFileRead::Status::Failed:
        return failure(QStringLiteral("Open file failed, ") + path + QStringLiteral(": ")
                       + file.detail);
    case RegularFileRead::Status::Read:
        break;
    }
    return readBytes(file.bytes);
}

} // namespace ParameterFile
