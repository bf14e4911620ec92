// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "files/ParameterApply.h"

#include "device/ChangeHistory.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "device/RegisterText.h"
#include "protocol/QLMCIPPacket.h"

#include <algorithm>
#include <memory>

namespace ParameterApply {

namespace {

QString labels(const std::vector<int> &addresses)
{
    QStringList list;
    for (int address : addresses)
        list << RegisterRules::registerLabel(address);
    return list.join(QStringLiteral(", "));
}

} // namespace

ApplyResult apply(QLMCSession &session, const ParameterFileContent &content, bool connected,
                  const std::function<bool(const FileEntry &)> &selected,
                  const ApplyOptions &options)
{
    ApplyResult result;
    if (!content.ok())
        return result;
    auto packet = std::make_unique<QLMCIPPacket>();
    int count = 0;
    const ChangeSource source(QStringLiteral("Parameter file"));
    {
        RegisterLockGuard guard(session.lock());
        QLMCIPMotor &motor = session.motor();
        // What is sent: the writable entries, less the identity the controller
        // keeps, less what the rule book refuses (judged together: 0x24 with 0x25).
        std::vector<RegisterWrite> batch;
        if (connected) {
            for (const FileEntry &entry : content.entries) {
                if (selected && !selected(entry))
                    continue;
                const QLMCRegister *reg = motor.registerAt(entry.address);
                if (!reg || reg->Address < 0 || reg->Size != entry.size || !reg->Writable)
                    continue;
                if (isIdentityRegister(entry.address) && !options.withIdentity
                    && !(reg->received() && reg->Value == entry.bytes)) {
                    result.kept.push_back(entry.address);
                    continue;
                }
                batch.push_back({entry.address, entry.bytes});
            }
            if (!options.force)
                result.refused = RegisterRules::refusals(RegisterRules::contextOf(session), batch);
            if (options.allOrNothing && !result.refused.empty())
                batch.clear();
        }
        auto refused = [&result](int address) {
            return std::any_of(result.refused.begin(), result.refused.end(),
                               [address](const RegisterRefusal &r) { return r.address == address; });
        };
        auto sent = [&batch](int address) {
            return std::any_of(batch.begin(), batch.end(),
                               [address](const RegisterWrite &w) { return w.address == address; });
        };
        for (const FileEntry &entry : content.entries) {
            if (selected && !selected(entry))
                continue;
            QLMCRegister *reg = motor.registerAt(entry.address);
            if (!reg || reg->Address < 0 || reg->Size != entry.size)
                continue; // the reader has checked these; never write past a buffer
            if (connected && reg->Writable) {
                if (sent(entry.address) && !refused(entry.address)) {
                    motor.RequestWriteBytes(entry.address, entry.bytes);
                    result.requested.push_back(entry.address);
                }
            } else if (count + 1 + entry.size <= Frame::MaxPayload) {
                std::copy(entry.bytes.begin(), entry.bytes.end(), reg->WriteValue.begin());
                packet->Data[size_t(count++)] = uint8_t(entry.address);
                for (uint8_t byte : entry.bytes)
                    packet->Data[size_t(count++)] = byte;
            }
            if (!entry.zeroed)
                result.names << QString::fromStdString(reg->Name);
        }
    }
    if (!connected && count > 0) {
        packet->Function = Function::ReadAnswer;
        packet->TransactionId = 1;
        packet->Length = count;
        packet->DataCount = count;
        session.DataReceived(*packet);
        result.viewBytes = count;
    }
    return result;
}

} // namespace ParameterApply

bool isIdentityRegister(int address)
{
    return address == Reg::AddressIp || address == Reg::Name;
}

QString ApplyResult::summary() const
{
    QStringList parts;
    if (!kept.empty())
        parts << QStringLiteral("kept the controller's ") + ParameterApply::labels(kept);
    if (!refused.empty()) {
        std::vector<int> addresses;
        for (const RegisterRefusal &r : refused)
            addresses.push_back(r.address);
        parts << QStringLiteral("refused ") + ParameterApply::labels(addresses);
    }
    return parts.join(QStringLiteral("; "));
}

QString CompareRow::notes() const
{
    QStringList notes;
    if (identity)
        notes << QStringLiteral("identity (the controller keeps its own unless ticked)");
    if (!writable)
        notes << QStringLiteral("not writable (not sent)");
    if (command)
        notes << QStringLiteral("command (carried out)");
    if (addressChange)
        notes << QStringLiteral("changes the controller's address; the connection will be lost");
    if (zeroed)
        notes << QStringLiteral("zeroed by an old file");
    if (!readable && !command)
        notes << QStringLiteral("not readable on this model");
    else if (!received && !command)
        notes << QStringLiteral("not received from the device");
    return notes.join(QStringLiteral("; "));
}

namespace ParameterCompare {

std::vector<CompareRow> compare(QLMCSession &session, const ParameterFileContent &content,
                                uint64_t receivedAfter)
{
    std::vector<CompareRow> rows;
    RegisterLockGuard guard(session.lock());
    QLMCIPMotor &motor = session.motor();
    for (const FileEntry &entry : content.entries) {
        const QLMCRegister *reg = motor.registerAt(entry.address);
        if (!reg)
            continue;
        CompareRow row;
        row.address = entry.address;
        row.name = QString::fromStdString(reg->Name);
        row.readable = reg->Readable;
        row.writable = reg->Writable;
        row.command = entry.size == 0;
        row.addressChange = entry.address == Reg::AddressIp;
        row.zeroed = entry.zeroed;
        row.fileText = RegisterText::value(entry.address, entry.bytes);
        row.fileHex = ParameterFile::valueText(entry.bytes);
        row.received = row.readable && reg->receivedAfter(receivedAfter);
        if (row.received && !row.command) {
            row.deviceText = RegisterText::value(entry.address, reg->Value);
            row.deviceHex = ParameterFile::valueText(reg->Value);
            row.different = reg->Value != entry.bytes;
            row.identity = row.different && isIdentityRegister(entry.address);
        } else {
            row.deviceText = QStringLiteral("-");
            // A command has no value; an unreadable or unanswered one is unknown.
            row.different = false;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QString differenceLine(const CompareRow &row)
{
    const QString address =
        QStringLiteral("0x") + QString::number(row.address, 16).toUpper().rightJustified(2, '0');
    QString line = address + QLatin1Char(' ') + row.name + QLatin1Char(' ') + row.deviceText
                   + QStringLiteral(" -> ") + row.fileText;
    const QString notes = row.notes();
    if (!notes.isEmpty())
        line += QStringLiteral(" (") + notes + QLatin1Char(')');
    return line;
}

} // namespace ParameterCompare
