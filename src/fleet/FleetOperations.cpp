// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "fleet/FleetOperations.h"

#include "device/ChangeHistory.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "files/ParameterApply.h"
#include "platform/AtomicFile.h"

#include <QDir>

#include <algorithm>

namespace {

QString addressList(const std::vector<int> &addresses)
{
    return FleetDevice::addressList(addresses);
}

// The value text of a register received in this connection; empty when it
// did not come (or the model does not read it).
QString receivedText(QLMCSession &session, int address)
{
    RegisterLockGuard guard(session.lock());
    const QLMCRegister *reg = session.motor().registerAt(address);
    if (!reg || !reg->Readable || !reg->received())
        return {};
    const std::vector<uint8_t> &bytes = reg->Value;
    QStringList parts;
    switch (address) {
    case Reg::EthernetMac: // "00-50-C2-00-00-01", as discovery shows it
        for (uint8_t byte : bytes)
            parts << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
        return parts.join(QLatin1Char('-'));
    case Reg::AddressIp:
        for (uint8_t byte : bytes)
            parts << QString::number(byte);
        return parts.join(QLatin1Char('.'));
    case Reg::Name: { // the 16 bytes as Latin-1, padding cut
        QString text = QString::fromLatin1(reinterpret_cast<const char *>(bytes.data()),
                                           qsizetype(bytes.size()));
        while (!text.isEmpty() && (text.back() == QLatin1Char(' ') || text.back().isNull()))
            text.chop(1);
        return text;
    }
    default:
        return RegisterText::value(address, bytes);
    }
}

// Of \a addresses, the readable ones not received since the open.
std::vector<int> notYetReceived(QLMCSession &session, const std::vector<int> &addresses)
{
    std::vector<int> left;
    RegisterLockGuard guard(session.lock());
    for (int address : addresses) {
        const QLMCRegister *reg = session.motor().registerAt(address);
        if (reg && reg->Readable && reg->Size > 0 && !reg->received())
            left.push_back(address);
    }
    return left;
}

// Reads what did not come with the identification; false (row failed) when
// some still did not.
bool complete(FleetDevice &device, FleetRow &row, const std::vector<int> &addresses)
{
    const std::vector<int> asked = notYetReceived(device.session(), addresses);
    if (asked.empty())
        return true;
    const std::vector<int> missing = device.read(asked);
    if (missing.empty())
        return true;
    device.failed(QStringLiteral("no answer for ") + addressList(missing));
    row.status = device.status();
    row.reason = device.why();
    return false;
}

QString firmwareText(const ModelProfile &profile)
{
    return QStringLiteral("%1.%2").arg(profile.identity.major).arg(profile.identity.minor);
}

QString safe(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
                           || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
                           || (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                           || c == QLatin1Char('-') || c == QLatin1Char('.');
        out += plain ? c : QLatin1Char('_');
    }
    while (out.startsWith(QLatin1Char('.')))
        out[0] = QLatin1Char('_'); // never a hidden file, never ".."
    return out.left(64);
}

// Tabs and line ends would break the index's columns.
QString cell(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

namespace FleetOperations {

QStringList listFields()
{
    return {QStringLiteral("mac"),  QStringLiteral("address"), QStringLiteral("model"),
            QStringLiteral("firmware"), QStringLiteral("name"), QStringLiteral("mode"),
            QStringLiteral("warnings"), QStringLiteral("temperature")};
}

void list(FleetDevice &device, FleetRow &row)
{
    static const std::vector<std::pair<const char *, int>> registers = {
        {"mac", Reg::EthernetMac}, {"address", Reg::AddressIp},     {"name", Reg::Name},
        {"mode", Reg::RegulationMode}, {"warnings", Reg::Warning}, {"temperature", Reg::Temperature}};
    std::vector<int> addresses;
    for (const auto &entry : registers)
        addresses.push_back(entry.second);
    // The live ones (mode, warnings, temperature) are read afresh.
    const std::vector<int> live = {Reg::RegulationMode, Reg::Warning, Reg::Temperature};
    std::vector<int> missing = device.read(live);
    std::erase_if(missing, [&](int address) {
        RegisterLockGuard guard(device.session().lock());
        return !device.session().motor().registerAt(address)->Readable;
    });
    if (!missing.empty()) {
        device.failed(QStringLiteral("no answer for ") + addressList(missing));
        row.status = device.status();
        row.reason = device.why();
        return;
    }
    if (!complete(device, row, addresses))
        return;
    row.setField(QStringLiteral("model"), device.profile().modelName);
    row.setField(QStringLiteral("firmware"), firmwareText(device.profile()));
    for (const auto &[name, address] : registers) {
        const QString text = receivedText(device.session(), address);
        if (!text.isEmpty())
            row.setField(QString::fromLatin1(name), text);
    }
    // In list order.
    std::vector<std::pair<QString, QString>> ordered;
    for (const QString &name : listFields())
        if (const QString value = row.field(name); !value.isEmpty())
            ordered.emplace_back(name, value);
    row.fields = std::move(ordered);
}

QString fileName(const FleetRow &row)
{
    QString id = row.field(QStringLiteral("mac"));
    if (id.isEmpty())
        id = row.target.label();
    return safe(row.field(QStringLiteral("name"))) + QLatin1Char('_') + safe(id)
           + QLatin1String(ParameterFile::Extension);
}

void save(FleetDevice &device, FleetRow &row, const QString &folder)
{
    QLMCSession &session = device.session();
    std::vector<int> saved;
    {
        RegisterLockGuard guard(session.lock());
        saved = ParameterFile::savedAddresses(session.motor(), SaveGroups::all());
    }
    saved.push_back(Reg::EthernetMac);
    saved.push_back(Reg::Name);
    if (!complete(device, row, saved))
        return;
    for (int address : {Reg::EthernetMac, Reg::AddressIp, Reg::Name}) {
        const QString text = receivedText(session, address);
        if (!text.isEmpty())
            row.setField(address == Reg::EthernetMac ? QStringLiteral("mac")
                         : address == Reg::Name      ? QStringLiteral("name")
                                                     : QStringLiteral("address"),
                         text);
    }
    row.setField(QStringLiteral("model"), device.profile().modelName);
    const QString name = fileName(row);
    const IniFile file = ParameterFile::compose(ParameterFile::takeSnapshot(session, SaveGroups::all()));
    QString error;
    if (!ParameterFile::save(file, QDir(folder).filePath(name), &error)) {
        row.status = FleetStatus::FileFailed;
        row.reason = QStringLiteral("%1 not written: %2").arg(name, error);
        return;
    }
    row.setField(QStringLiteral("file"), name);
}

bool writeIndex(const QString &folder, const std::vector<FleetRow> &rows, QString *error)
{
    QString text = QStringLiteral("file\tmac\taddress\tname\tmodel\tresult\treason\n");
    for (const FleetRow &row : rows) {
        QStringList cells;
        cells << row.field(QStringLiteral("file"))
              << (row.field(QStringLiteral("mac")).isEmpty() ? row.target.discoveredMac
                                                             : row.field(QStringLiteral("mac")))
              << row.target.label() << row.field(QStringLiteral("name"))
              << row.field(QStringLiteral("model"))
              << (row.ok() ? QStringLiteral("saved")
                  : row.status == FleetStatus::Skipped ? QStringLiteral("skipped")
                                                       : QStringLiteral("failed"))
              << row.reason;
        for (QString &c : cells)
            c = cell(c);
        text += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return writeFileAtomically(QDir(folder).filePath(QString::fromLatin1(IndexName)), text.toUtf8(),
                               error);
}

bool isIdentityRegister(int address)
{
    return address == Reg::EthernetMac || address == Reg::AddressIp || address == Reg::Name;
}

void diff(FleetDevice &device, FleetRow &row, const ParameterFileContent &reference)
{
    std::vector<int> addresses;
    for (const FileEntry &entry : reference.entries)
        if (entry.size > 0)
            addresses.push_back(entry.address);
    if (!complete(device, row, addresses))
        return;
    row.setField(QStringLiteral("model"), device.profile().modelName);
    for (const auto &[name, address] :
         {std::pair{"mac", Reg::EthernetMac}, {"address", Reg::AddressIp}, {"name", Reg::Name}})
        if (const QString text = receivedText(device.session(), address); !text.isEmpty())
            row.setField(QString::fromLatin1(name), text);
    int differing = 0;
    QStringList identity;
    for (const CompareRow &compared : ParameterCompare::compare(device.session(), reference, 0)) {
        if (!compared.different)
            continue;
        const QString line = ParameterCompare::differenceLine(compared);
        if (isIdentityRegister(compared.address)) {
            identity << QStringLiteral("identity ") + line;
        } else {
            ++differing;
            row.details << line;
        }
    }
    row.details << identity;
    row.setField(QStringLiteral("differing"), QString::number(differing));
    if (differing > 0) {
        row.status = FleetStatus::Differs;
        row.reason = QStringLiteral("%1 registers differ").arg(differing);
    }
}

QString fileModel(const ParameterFileContent &content)
{
    if (!content.deviceType)
        return {};
    return identifyDevice(*content.deviceType, 0).modelName;
}

void send(FleetDevice &device, FleetRow &row, const ParameterFileContent &content, bool anyModel,
          const QString &source)
{
    QLMCSession &session = device.session();
    const QString model = device.profile().modelName;
    row.setField(QStringLiteral("model"), model);
    if (!anyModel) {
        const QString wanted = fileModel(content);
        if (model.isEmpty() || model.compare(wanted, Qt::CaseInsensitive) != 0) {
            row.status = FleetStatus::Skipped;
            row.reason = QStringLiteral("model %1, the file is for %2 (--any-model sends it)")
                             .arg(model.isEmpty() ? QStringLiteral("unknown") : model,
                                  wanted.isEmpty() ? QStringLiteral("no model") : wanted);
            return;
        }
    }
    // The values the writes replace, and the identity the controller keeps,
    // as the controller holds them now.
    std::vector<int> addresses;
    for (const FileEntry &entry : content.entries)
        if (entry.size > 0)
            addresses.push_back(entry.address);
    addresses.push_back(Reg::AddressIp);
    addresses.push_back(Reg::Name);
    if (!complete(device, row, addresses))
        return;
    for (int address : {Reg::AddressIp, Reg::Name})
        if (const QString text = receivedText(session, address); !text.isEmpty())
            row.setField(address == Reg::Name ? QStringLiteral("name") : QStringLiteral("address"),
                         text);

    const uint64_t writeMark = session.answerSequence();
    ApplyResult applied;
    {
        const ChangeSource changeSource(source);
        ApplyOptions options;
        options.allOrNothing = true; // one refusal: nothing of this controller is written
        applied = ParameterApply::apply(session, content, true, {}, options);
    }
    if (!applied.refused.empty()) {
        row.status = FleetStatus::ValueRefused;
        row.reason = applied.refused.front().reason + QStringLiteral(" (nothing sent)");
        return;
    }
    if (!applied.kept.empty())
        row.details << applied.summary(); // kept the controller's 0x12 ..., 0x15 ...
    if (!device.settle()) {
        device.failed(QStringLiteral("no answer to the writes"));
        row.status = device.status();
        row.reason = device.why();
        return;
    }
    // Read back what was sent: only a value received after the writes counts.
    std::vector<int> readBack;
    std::vector<int> unanswered;
    {
        RegisterLockGuard guard(session.lock());
        for (int address : applied.requested) {
            const QLMCRegister *reg = session.motor().registerAt(address);
            if (reg->Readable && reg->Size > 0)
                readBack.push_back(address);
            else if (reg->WriteAnsweredSequence <= writeMark)
                unanswered.push_back(address);
        }
    }
    const uint64_t readMark = session.answerSequence();
    const std::vector<int> missing = device.read(readBack);
    if (!missing.empty()) {
        device.failed(QStringLiteral("no answer for ") + addressList(missing)
                      + QStringLiteral(" after the writes"));
        row.status = device.status();
        row.reason = device.why();
        return;
    }
    QStringList notTaken;
    for (const CompareRow &compared : ParameterCompare::compare(session, content, readMark))
        if (compared.different
            && std::find(readBack.begin(), readBack.end(), compared.address) != readBack.end())
            notTaken << ParameterCompare::differenceLine(compared);
    row.setField(QStringLiteral("sent"), QString::number(applied.requested.size()));
    if (!notTaken.isEmpty() || !unanswered.empty()) {
        row.status = FleetStatus::NotTaken;
        row.reason = !notTaken.isEmpty()
                         ? QStringLiteral("%1 registers not taken").arg(notTaken.size())
                         : QStringLiteral("no answer to the write of ") + addressList(unanswered);
        row.details << notTaken;
    }
}

QString statusWord(FleetStatus status)
{
    switch (status) {
    case FleetStatus::Ok: return QStringLiteral("ok");
    case FleetStatus::Unreachable: return QStringLiteral("unreachable");
    case FleetStatus::Unanswered: return QStringLiteral("unanswered");
    case FleetStatus::Refused: return QStringLiteral("refused");
    case FleetStatus::Skipped: return QStringLiteral("skipped");
    case FleetStatus::FileFailed: return QStringLiteral("file-failed");
    case FleetStatus::Differs: return QStringLiteral("differs");
    case FleetStatus::ValueRefused: return QStringLiteral("value-refused");
    case FleetStatus::NotTaken: return QStringLiteral("not-taken");
    }
    return {};
}

FleetRunner::Operation onlyModel(const QString &model, FleetRunner::Operation operation)
{
    if (model.isEmpty())
        return operation;
    return [model, operation](FleetDevice &device, FleetRow &row) {
        const QString found = device.profile().modelName;
        if (found.compare(model, Qt::CaseInsensitive) != 0) {
            row.status = FleetStatus::Skipped;
            row.reason = QStringLiteral("model %1, not %2")
                             .arg(found.isEmpty() ? QStringLiteral("unknown") : found, model);
            return;
        }
        operation(device, row);
    };
}

} // namespace FleetOperations
