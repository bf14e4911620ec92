// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/RegisterCommands.h"

#include "device/DeviceNetworkSettings.h"
#include "device/RegisterRules.h"
#include "cli/CliContext.h"
#include "cli/CliJson.h"
#include "cli/CliLink.h"
#include "device/ModelCatalogue.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "device/RegisterNames.h"
#include "device/RegisterText.h"
#include "link/QLMCConnection.h"

#include <QJsonObject>

#include <algorithm>

namespace RegisterCommands {

namespace {

/// One REG=VALUE of "write".
struct WriteItem
{
    int address;
    std::vector<uint8_t> bytes; ///< registers over four bytes: their trace form
    int64_t value = 0;
};

/// The writes of \a arguments, or the usage error in \a error.
std::vector<WriteItem> parseWrites(const QStringList &arguments, QString &error)
{
    std::vector<WriteItem> writes;
    for (const QString &arg : arguments) {
        if (arg == QLatin1String("--force"))
            continue;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const auto address = RegisterNames::parse(eq > 0 ? arg.left(eq) : arg);
        if (!address) {
            error = QStringLiteral("%1: expected REG=VALUE with a register address or name")
                        .arg(arg);
            return {};
        }
        const int size = registerInfo(*address)->size;
        WriteItem w{*address, {}, 0};
        const QString text = arg.mid(eq + 1);
        if (*address == Reg::AddressIp) {
            // An address, never a number: 300 would be the bytes 0.0.1.44.
            const auto bytes = eq < 0 ? std::nullopt
                                      : DeviceNetworkSettings::addressBytes(text.split('.'));
            if (!bytes) {
                error = QStringLiteral("%1: register 0x12 takes an address A.B.C.D (each 0..255)")
                            .arg(arg);
                return {};
            }
            w.bytes.assign(bytes->begin(), bytes->end());
        } else if (size > 4) {
            // A plain integer would zero-fill the leading bytes: only the exact trace form.
            auto bytes = eq < 0 ? std::nullopt : RegisterText::parseTrace(text, size);
            if (!bytes) {
                error = QStringLiteral("%1: register %2 takes its %3 bytes as [0x.. ..]")
                            .arg(arg, CliLink::addressText(*address))
                            .arg(size);
                return {};
            }
            w.bytes = std::move(*bytes);
        } else {
            // A command register (size 0) needs no value.
            const auto value = size == 0 && eq < 0 ? std::optional<int64_t>(0)
                                                   : RegisterText::parse(*address, text);
            if (!value) {
                error = eq < 0 ? QStringLiteral("%1: expected REG=VALUE").arg(arg)
                               : QStringLiteral("%1: not a value for register %2")
                                     .arg(arg, CliLink::addressText(*address));
                return {};
            }
            // The register's size is never overridden: -1 is not 255 s.
            const int64_t top = size == 4 ? int64_t(0xFFFFFFFF) : (int64_t(1) << (8 * size)) - 1;
            const int64_t bottom = size == 4 ? int64_t(INT32_MIN) : 0;
            if (size > 0 && (*value < bottom || *value > top)) {
                error = QStringLiteral("%1: %2 does not fit the %3 bytes of register %4")
                            .arg(arg)
                            .arg(*value)
                            .arg(size)
                            .arg(CliLink::addressText(*address));
                return {};
            }
            w.value = *value;
        }
        writes.push_back(std::move(w));
    }
    return writes;
}

QString checkWrite(const CliOptions &options)
{
    QString error;
    parseWrites(options.arguments, error);
    return error;
}

QString checkRead(const CliOptions &options)
{
    for (const QString &arg : CliArguments::positional(Read, options.arguments))
        if (!RegisterNames::parse(arg))
            return QStringLiteral("%1 is not a register address or name").arg(arg);
    return {};
}

bool wantsJson(const CliContext &c)
{
    return CliArguments::has(c.arguments(), QStringLiteral("--json"));
}

void printRegister(CliContext &c, int address, bool json = false)
{
    RegisterLockGuard guard(c.session.lock());
    const QLMCRegister &reg = *c.session.motor().registerAt(address);
    if (json) {
        QJsonObject o = CliJson::registerFields(address);
        o.insert(QStringLiteral("value"), CliJson::registerValue(address, reg.Value));
        o.insert(QStringLiteral("raw"), RegisterText::trace(reg.Value));
        c.out << CliJson::line(o) << Qt::endl;
        return;
    }
    c.out << CliLink::addressText(address) << ' ' << QString::fromStdString(reg.Name) << " = "
          << RegisterText::value(address, reg.Value) << Qt::endl;
}

int identify(CliContext &c)
{
    const ModelProfile &profile = c.connection.profile();
    uint32_t version;
    uint32_t type;
    {
        RegisterLockGuard guard(c.session.lock());
        version = c.session.Device.DeviceVersion;
        type = c.session.Device.DeviceType;
    }
    if (wantsJson(c)) {
        QJsonObject o;
        o.insert(QStringLiteral("model"), profile.modelName);
        o.insert(QStringLiteral("type"), int(type >> 16));
        o.insert(QStringLiteral("subtype"), int(type & 0xFFFF));
        o.insert(QStringLiteral("firmware"), RegisterText::versionText(version));
        o.insert(QStringLiteral("version"), qint64(version));
        o.insert(QStringLiteral("caption"), profile.caption);
        c.out << CliJson::line(o) << Qt::endl;
        return CliExit::Ok;
    }
    c.out << "Model: "
          << (profile.modelName.isEmpty() ? QStringLiteral("(unknown)") : profile.modelName)
          << Qt::endl;
    c.out << "Firmware: " << RegisterText::versionText(version) << Qt::endl;
    c.out << profile.caption << Qt::endl;
    return CliExit::Ok;
}

int read(CliContext &c)
{
    int result = CliExit::Ok;
    std::vector<int> readable;
    for (const QString &arg : c.options.positional()) {
        const int address = *RegisterNames::parse(arg); // checked at parsing
        RegisterLockGuard guard(c.session.lock());
        if (c.session.motor().registerAt(address)->Readable) {
            readable.push_back(address);
        } else {
            c.fail(CliExit::ValueRefused, QStringLiteral("register %1 is not readable on this model")
                                              .arg(CliLink::addressText(address)));
            result = CliExit::ValueRefused;
        }
    }
    // Only what this request brought back is printed; the rest is named as
    // missing on standard error.
    const int code = c.link.read(readable);
    for (int address : readable)
        if (c.link.received(address))
            printRegister(c, address, wantsJson(c));
    return code != CliExit::Ok ? code : result;
}

int write(CliContext &c)
{
    QString error;
    const std::vector<WriteItem> writes = parseWrites(c.arguments(), error);
    if (!error.isEmpty())
        return c.fail(CliExit::Usage, error);
    for (const WriteItem &w : writes) {
        RegisterLockGuard guard(c.session.lock());
        if (!c.session.motor().registerAt(w.address)->Writable)
            return c.fail(CliExit::ValueRefused, QStringLiteral("register %1 is not writable on this model")
                                                     .arg(CliLink::addressText(w.address)));
    }
    // What is sent, to be compared with what the device reads back; the rule
    // book judges the writes together (0x24 with 0x25) and refuses all or none.
    std::vector<RegisterWrite> batch;
    for (const WriteItem &w : writes)
        batch.push_back(w.bytes.empty() ? RegisterRules::write(w.address, w.value)
                                        : RegisterWrite{w.address, w.bytes});
    std::vector<std::vector<uint8_t>> sent;
    for (const RegisterWrite &w : batch)
        sent.push_back(w.bytes);
    c.link.beginWrite();
    const bool force = CliArguments::has(c.arguments(), QStringLiteral("--force"));
    if (const auto refused = RegisterRules::requestWrites(c.session, batch, force); !refused.empty())
        return c.fail(CliExit::ValueRefused, refused.front().reason);
    if (const int code = c.link.awaitWrite(QStringLiteral("the write")); code != CliExit::Ok)
        return code;
    // Read back what has a value to read; a command register (or one the
    // model does not read) counts as written when its write was answered.
    std::vector<int> readBack;
    {
        RegisterLockGuard guard(c.session.lock());
        for (const WriteItem &w : writes) {
            const QLMCRegister *reg = c.session.motor().registerAt(w.address);
            if (reg->Readable && reg->Size > 0)
                readBack.push_back(w.address);
        }
    }
    const int code = c.link.read(readBack);
    int result = CliExit::Ok;
    for (size_t i = 0; i < writes.size(); ++i) {
        const int address = writes[i].address;
        if (std::find(readBack.begin(), readBack.end(), address) == readBack.end()) {
            if (c.link.writeAnswered(address)) {
                c.out << CliLink::addressText(address) << " written" << Qt::endl;
            } else {
                c.fail(CliExit::Unanswered, QStringLiteral("the write of %1 was not answered")
                                                .arg(CliLink::addressText(address)));
                result = CliExit::Unanswered;
            }
            continue;
        }
        if (!c.link.received(address))
            continue; // named by the read-back
        printRegister(c, address);
        std::vector<uint8_t> device;
        {
            RegisterLockGuard guard(c.session.lock());
            device = c.session.motor().registerAt(address)->Value;
        }
        // Registers the device changes by itself (warning bits come back while
        // present, the position moves, the tuning state and the inputs follow
        // the device): their read-back is shown, not compared.
        const bool ownValue = address == Reg::Warning || address == Reg::Position
                              || address == Reg::AutoTuning || address == Reg::IoState;
        if (!ownValue && device != sent[i]) {
            c.fail(CliExit::Differs, QStringLiteral("%1 not taken: device %2, written %3")
                                         .arg(CliLink::addressText(address),
                                              RegisterText::value(address, device),
                                              RegisterText::value(address, sent[i])));
            if (result == CliExit::Ok)
                result = CliExit::Differs;
        }
    }
    return code != CliExit::Ok ? code : result;
}

QString accessText(const RegisterAccess &access, int size)
{
    if (access.writable && size == 0)
        return QStringLiteral("command");
    if (access.readable && access.writable)
        return QStringLiteral("read-write");
    if (access.readable)
        return QStringLiteral("read");
    if (access.writable)
        return QStringLiteral("write");
    return QStringLiteral("none");
}

QString checkRegisters(const CliOptions &options)
{
    const QString model = CliArguments::value(options.arguments, QStringLiteral("--model"));
    if (CliArguments::has(options.arguments, QStringLiteral("--model")) && !findKnownModel(model)) {
        QStringList names;
        for (const KnownModel &known : knownModels())
            names << QString::fromLatin1(known.name);
        return QStringLiteral("unknown model %1 (%2)").arg(model, names.join(QStringLiteral(", ")));
    }
    return {};
}

int registers(CliContext &c)
{
    const QStringList &args = c.arguments();
    const bool json = wantsJson(c);
    ModelProfile named;
    if (const auto model = findKnownModel(CliArguments::value(args, QStringLiteral("--model"))))
        named = identifyDevice(model->typeRegister(), model->version);
    const ModelProfile &profile =
        CliArguments::has(args, QStringLiteral("--model")) ? named : c.connection.profile();
    if (!json && !CliArguments::has(args, QStringLiteral("--no-header")))
        c.out << "ADDRESS\tNAME\tUNIT\tSIZE\tACCESS" << Qt::endl;
    for (const RegisterInfo &info : registerTable()) {
        if (info.address < 0)
            continue;
        const QString name = QString::fromLatin1(info.name.data(), qsizetype(info.name.size()));
        const QString unit = RegisterNames::unit(info.address, profile);
        const QString access = accessText(profile.access[size_t(info.address)], info.size);
        if (json) {
            QJsonObject o = CliJson::registerFields(info.address);
            o.insert(QStringLiteral("word"), RegisterNames::word(info.address));
            o.insert(QStringLiteral("unit"), unit);
            o.insert(QStringLiteral("size"), info.size);
            o.insert(QStringLiteral("access"), access);
            c.out << CliJson::line(o) << Qt::endl;
        } else {
            c.out << CliLink::addressText(info.address) << '\t' << name << '\t' << unit << '\t'
                  << info.size << '\t' << access << Qt::endl;
        }
    }
    return CliExit::Ok;
}

int stop(CliContext &c)
{
    // "Driver Stop": 0x20 = 0 as the sender's next packet, ahead of the poll.
    c.link.beginWrite();
    if (!c.session.requestDriverStop())
        return c.link.reportLost();
    c.waitFor([&c] { return c.link.writeAnswered(Reg::RegulationMode) || c.link.lost(); },
              c.link.timeoutMs());
    if (!c.link.writeAnswered(Reg::RegulationMode)) {
        if (c.link.lost())
            return c.link.reportLost();
        return c.fail(CliExit::Unanswered,
                      QStringLiteral("no answer to Driver Stop within %1 ms").arg(c.link.timeoutMs()));
    }
    // The mode read back after the answer: 0 when the device took it.
    if (const int code = c.link.read({Reg::RegulationMode}); code != CliExit::Ok)
        return code;
    printRegister(c, Reg::RegulationMode);
    RegisterLockGuard guard(c.session.lock());
    const std::vector<uint8_t> &mode = c.session.motor().registerAt(Reg::RegulationMode)->Value;
    if (mode.empty() || mode[0] != 0)
        return c.fail(CliExit::Differs, QStringLiteral("Driver Stop not taken: mode %1")
                                            .arg(RegisterText::value(Reg::RegulationMode, mode)));
    return CliExit::Ok;
}

} // namespace

const CliCommand Identify{"identify", "identify [--json]",
                          "model name, firmware version and window caption",
                          CliNeeds::Device, &identify, nullptr, nullptr,
                          "model: model name (empty when unlisted); type: type code (number); "
                          "subtype: sub-type (number); firmware: firmware version as text; "
                          "version: register 0x01 (number); caption: window caption"};
const CliCommand Read{"read", "read REG... [--json]",
                      "read registers (by decimal or 0x-hex address or by name, as "
                      "tarvine-cli registers lists them) and print their values",
                      CliNeeds::Device, &read, &checkRead,
                      "5 a register the model does not read",
                      "address: register address (number); name: register name; value: a number "
                      "for integer and fixed-point registers, else text; raw: the bytes "
                      "([0x.. ..])"};
const CliCommand Write{"write", "write REG=VALUE... [--force]",
                       "write registers (by address or name), then read them back; the model's "
                       "rules refuse a value (--force, unsafe, skips them, never the register's "
                       "size; registers over four bytes take their exact trace: "
                       "0x4D=[0x80 65 00 00 03 E8])",
                       CliNeeds::Device, &write, &checkWrite,
                       "5 a value the model's rules refuse (the reason; nothing is written) or a "
                       "register the model does not write, 7 the read-back differs"};
const CliCommand Registers{
    "registers", "registers [--model M] [--json] [--no-header]",
    "list every register: address, name, unit, size in bytes and access on the connected "
    "model, or on model M without a device (--model NETDC-A)",
    CliNeeds::ModelOrDevice, &registers, &checkRegisters, nullptr,
    "address: register address (number); name: register name; word: the name as one word; "
    "unit: unit of the value (may be empty); size: bytes (number); access: read, write, "
    "read-write, command or none"};
const CliCommand Stop{"stop", "stop",
                      "Driver Stop (0x20 = 0) as the next packet, ahead of the poll; waits for "
                      "its answer and reads the mode back",
                      CliNeeds::LiveDevice, &stop, nullptr,
                      "7 the mode read back is not 0"};

} // namespace RegisterCommands
