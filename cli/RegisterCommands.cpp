#include "cli/RegisterCommands.h"

#include "cli/CliContext.h"
#include "cli/CliLink.h"
#include "device/QLMCSession.h"
#include "device/RegisterText.h"
#include "link/QLMCConnection.h"

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
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const auto address = RegisterText::parseAddress(eq > 0 ? arg.left(eq) : arg);
        if (!address || !isRegisterAddress(*address)) {
            error = QStringLiteral("%1: expected REG=VALUE with a register address").arg(arg);
            return {};
        }
        const int size = registerInfo(*address)->size;
        WriteItem w{*address, {}, 0};
        const QString text = arg.mid(eq + 1);
        if (size > 4) {
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
    for (const QString &arg : options.arguments) {
        const auto address = RegisterText::parseAddress(arg);
        if (!address || !isRegisterAddress(*address))
            return QStringLiteral("%1 is not a register address").arg(arg);
    }
    return {};
}

void printRegister(CliContext &c, int address)
{
    RegisterLockGuard guard(c.session.lock());
    const QLMCRegister &reg = *c.session.motor().registerAt(address);
    c.out << CliLink::addressText(address) << ' ' << QString::fromStdString(reg.Name) << " = "
          << RegisterText::value(address, reg.Value) << Qt::endl;
}

int identify(CliContext &c)
{
    const ModelProfile &profile = c.connection.profile();
    uint32_t version;
    {
        RegisterLockGuard guard(c.session.lock());
        version = c.session.Device.DeviceVersion;
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
    for (const QString &arg : c.arguments()) {
        const int address = *RegisterText::parseAddress(arg); // checked at parsing
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
            printRegister(c, address);
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
    // What is sent, to be compared with what the device reads back.
    std::vector<std::vector<uint8_t>> sent;
    c.link.beginWrite();
    {
        RegisterLockGuard guard(c.session.lock());
        for (const WriteItem &w : writes) {
            if (w.bytes.empty())
                c.session.motor().RequestWrite(w.address, w.value);
            else
                c.session.motor().RequestWriteBytes(w.address, w.bytes);
            sent.push_back(c.session.motor().registerAt(w.address)->WriteValue);
        }
    }
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

} // namespace

const CliCommand Identify{"identify", "identify", "model name, firmware version and window caption",
                          CliNeeds::Device, &identify};
const CliCommand Read{"read", "read REG...",
                      "read registers (decimal or 0x-hex addresses) and print their values",
                      CliNeeds::Device, &read, &checkRead,
                      "5 a register the model does not read"};
const CliCommand Write{"write", "write REG=VALUE...",
                       "write registers, then read them back (registers over four bytes take "
                       "their exact trace: 0x4D=[0x80 65 00 00 03 E8])",
                       CliNeeds::Device, &write, &checkWrite,
                       "5 a register the model does not write, 7 the read-back differs"};

} // namespace RegisterCommands
