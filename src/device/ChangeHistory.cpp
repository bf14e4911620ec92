// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "device/ChangeHistory.h"

#include "base/Diagnostics.h"
#include "device/RegisterRules.h"
#include "device/RegisterText.h"
#include "platform/AppendFile.h"
#include "platform/DataFolder.h"
#include "platform/RegularFile.h"
#include "device/RegisterTable.h"

#include <QStringList>

#include <algorithm>

namespace {

const QString Separator = QStringLiteral(" | ");
const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

QString hexOf(const std::vector<uint8_t> &bytes)
{
    QString text = QStringLiteral("0x");
    for (uint8_t b : bytes)
        text += QString::number(b, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    return text;
}

std::optional<std::vector<uint8_t>> bytesOf(QStringView hex)
{
    if (!hex.startsWith(QLatin1String("0x")) || hex.size() % 2 != 0)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    for (qsizetype i = 2; i < hex.size(); i += 2) {
        bool ok = false;
        const uint value = hex.mid(i, 2).toUInt(&ok, 16);
        if (!ok)
            return std::nullopt;
        bytes.push_back(uint8_t(value));
    }
    return bytes;
}

QString valueField(const char *label, int address, const std::vector<uint8_t> &bytes)
{
    return QLatin1String(label) + QLatin1Char(' ') + hexOf(bytes) + QStringLiteral(" (")
           + RegisterText::value(address, bytes) + QLatin1Char(')');
}

/// "before 0x00010000 (1.00000)" -> the bytes; "before missing" -> nullopt inside.
std::optional<std::optional<std::vector<uint8_t>>> parseValue(const QString &field,
                                                              QLatin1String label)
{
    if (!field.startsWith(label + QLatin1Char(' ')))
        return std::nullopt;
    const QString rest = field.mid(label.size() + 1);
    if (rest == QLatin1String("missing"))
        return std::optional<std::vector<uint8_t>>();
    const qsizetype space = rest.indexOf(QLatin1Char(' '));
    const std::optional<std::vector<uint8_t>> bytes =
        bytesOf(space < 0 ? QStringView(rest) : QStringView(rest).left(space));
    if (!bytes)
        return std::nullopt;
    return std::optional<std::vector<uint8_t>>(*bytes);
}

thread_local QString t_source;
thread_local bool t_sourceSet = false;

} // namespace

QString ChangeRecord::line() const
{
    QStringList fields;
    fields << time.toString(TimeFormat) << device << RegisterRules::registerLabel(address);
    fields << (before ? valueField("before", address, *before) : QStringLiteral("before missing"));
    fields << valueField("written", address, written);
    fields << source;
    QString text = fields.join(Separator);
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

std::optional<ChangeRecord> ChangeRecord::parse(const QString &line)
{
    // Fields: time, device, register, before, written, source. A typed name
    // may hold " | " itself, so "written" is looked for from the end.
    const QStringList fields = line.split(Separator);
    if (fields.size() < 6)
        return std::nullopt;
    ChangeRecord record;
    record.time = QDateTime::fromString(fields[0], TimeFormat);
    if (!record.time.isValid())
        return std::nullopt;
    record.device = fields[1];
    bool ok = false;
    record.address = fields[2].section(QLatin1Char(' '), 0, 0).toInt(&ok, 16);
    if (!ok || record.address < 0 || record.address >= RegisterCount)
        return std::nullopt;
    qsizetype written = -1;
    for (qsizetype i = fields.size() - 2; i >= 4 && written < 0; --i)
        if (fields[i].startsWith(QLatin1String("written 0x")))
            written = i;
    if (written < 4)
        return std::nullopt;
    const auto before = parseValue(fields[3], QLatin1String("before"));
    const auto after = parseValue(fields[written], QLatin1String("written"));
    if (!before || !after || !*after)
        return std::nullopt;
    record.before = *before;
    record.written = **after;
    record.source = fields.mid(written + 1).join(Separator);
    const int size = registerTable()[size_t(record.address)].size;
    if (int(record.written.size()) != size || (record.before && int(record.before->size()) != size))
        return std::nullopt;
    return record;
}

bool ChangeHistory::isTracked(int address)
{
    switch (address) {
    case Reg::AddressIp:
    case Reg::Name:
    case Reg::TcpWatchdog:
    case Reg::InputMin:
    case Reg::InputMax:
    case Reg::CurrentMax:
    case Reg::StandbyTimer:
    case Reg::Options:
    case Reg::LoopTimeOption:
    case Reg::MaxOutputVoltage:
    case Reg::DissipationVoltage:
    case Reg::IoConfig:
    case Reg::Kp:
    case Reg::Ki:
    case Reg::Kd:
    case Reg::VffOffset:
    case Reg::Kvff:
    case Reg::Kaff:
    case Reg::Kdff:
    case Reg::AntiResetWindup:
    case Reg::Acceleration:
    case Reg::Deceleration:
    case Reg::SpeedMax:
    case Reg::DeadZone:
    case Reg::EncoderRatio:
    case Reg::HomingStartInput:
    case Reg::HomingOption:
    case Reg::HomingPosition:
    case Reg::HomingInput:
    case Reg::Limit1Setup:
    case Reg::Limit1ControlMode:
    case Reg::Limit1Position:
    case Reg::Limit1XInput:
    case Reg::Limit2Setup:
    case Reg::Limit2ControlMode:
    case Reg::Limit2Position:
    case Reg::Limit2XInput:
    case Reg::LoopsConfig:
    case Reg::EnhancedParams:
        return true;
    default:
        return false;
    }
}

QString ChangeHistory::defaultJournalPath()
{
    const QString folder = DataFolder::locate();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/history.log");
}

void ChangeHistory::setJournalPath(const QString &path)
{
    std::lock_guard lock(m_mutex);
    m_journal = path;
    m_journalFailed = false;
}

QString ChangeHistory::journalPath() const
{
    std::lock_guard lock(m_mutex);
    return m_journal;
}

void ChangeHistory::record(ChangeRecord record)
{
    QString journal;
    QByteArray line;
    {
        std::lock_guard lock(m_mutex);
        record.number = m_next++;
        if (!m_journal.isEmpty() && !m_journalFailed) {
            journal = m_journal;
            line = record.line().toUtf8() + '\n';
        }
        m_entries.push_back(std::move(record));
    }
    if (journal.isEmpty())
        return;
    QString error;
    if (!appendLineToFile(journal, line, &error)) {
        {
            std::lock_guard lock(m_mutex);
            m_journalFailed = true; // logged once
        }
        LogMessage("ChangeHistory", __LINE__, "ChangeHistory::record", LogOutput::File,
                   LogLevelError, LogActionNone,
                   QStringLiteral("The change journal %1 cannot be written: %2")
                       .arg(journal, error));
    }
}

std::vector<ChangeRecord> ChangeHistory::entries() const
{
    std::lock_guard lock(m_mutex);
    return m_entries;
}

std::vector<ChangeRecord> ChangeHistory::selected(const std::vector<uint64_t> &numbers) const
{
    std::vector<ChangeRecord> result;
    std::lock_guard lock(m_mutex);
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it)
        if (std::find(numbers.begin(), numbers.end(), it->number) != numbers.end())
            result.push_back(*it);
    return result;
}

std::optional<std::vector<ChangeRecord>> ChangeHistory::readJournal(const QString &path)
{
    const RegularFileRead file = readRegularFile(path, 64 * 1024 * 1024);
    if (file.status == RegularFileRead::Status::Missing)
        return std::vector<ChangeRecord>();
    if (file.status != RegularFileRead::Status::Read)
        return std::nullopt;
    std::vector<ChangeRecord> records;
    for (const QByteArray &line : file.bytes.split('\n'))
        if (std::optional<ChangeRecord> record = ChangeRecord::parse(QString::fromUtf8(line)))
            records.push_back(std::move(*record));
    return records;
}

ChangeSource::ChangeSource(const QString &name)
    : m_set(!t_sourceSet)
{
    if (m_set) {
        t_source = name;
        t_sourceSet = true;
    }
}

ChangeSource::~ChangeSource()
{
    if (m_set) {
        t_source.clear();
        t_sourceSet = false;
    }
}

QString ChangeSource::current()
{
    return t_sourceSet ? t_source : QStringLiteral("tool");
}
