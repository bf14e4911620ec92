#include "cli/NetworkCommands.h"

#include "cli/CliLink.h"

#include "device/DeviceNetworkSettings.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "link/QLMCConnection.h"

namespace NetworkCommands {

namespace {

// Exit codes shared with CliRunner.
constexpr int Ok = 0;
constexpr int Usage = 1;
constexpr int ConnectionFailed = 2;
constexpr int TimedOut = 3;
constexpr int RegisterRefused = 5;
constexpr int Differs = 7;

const QString BusScan = QStringLiteral("bus-scan");
const QString SetName = QStringLiteral("set-name");

int fail(Context &c, int code, const QString &message)
{
    c.err << "tarvine-cli: " << message << Qt::endl;
    return code;
}

int busScan(const QString &ipText, Context &c)
{
    bool finished = false;
    bool ended = false;
    QStringList entries;
    const auto done = QObject::connect(&c.connection, &QLMCConnection::scanFinished,
                                       [&](const QStringList &found) {
                                           entries = found;
                                           finished = true;
                                       });
    const auto lost =
        QObject::connect(&c.connection, &QLMCConnection::scanEnded, [&] { ended = true; });
    c.connection.startBusScan(ipText);
    const bool answered = c.waitFor([&] { return finished || ended; }, c.timeoutMs);
    QObject::disconnect(done);
    QObject::disconnect(lost);
    if (c.connection.isTcpActive()) {
        c.connection.closeFromMenu();
        c.waitFor([&] { return !c.connection.isTcpActive(); }, 1000);
    }
    if (ended && !finished)
        return fail(c, ConnectionFailed,
                    QStringLiteral("the bus scan of the gateway at %1 failed").arg(ipText));
    if (!answered)
        return fail(c, TimedOut, QStringLiteral("no bus scan answer from %1 within %2 ms")
                                     .arg(ipText)
                                     .arg(c.timeoutMs));
    for (const QString &entry : entries)
        c.out << entry << Qt::endl;
    if (entries.isEmpty())
        c.err << "tarvine-cli: no module answered on the bus" << Qt::endl;
    return Ok;
}

int setName(const QString &text, Context &c)
{
    const auto bytes = DeviceNetworkSettings::nameBytes(text);
    if (!bytes)
        return fail(c, Usage, QStringLiteral("the name has a character outside the 8-bit set"));
    {
        RegisterLockGuard guard(c.session.lock());
        if (!c.session.motor().registerAt(Reg::Name)->Writable)
            return fail(c, RegisterRefused, QStringLiteral("this model does not take a name"));
    }
    c.link.beginWrite();
    DeviceNetworkSettings::writeName(c.session, *bytes);
    if (const int code = c.link.awaitWrite(QStringLiteral("the name write")); code != Ok)
        return code;
    if (const int code = c.link.read({Reg::Name}); code != Ok)
        return code;
    if (!c.link.received(Reg::Name)) {
        // A model that does not read its name back: the answered write is all.
        if (!c.link.writeAnswered(Reg::Name))
            return fail(c, TimedOut, QStringLiteral("the name write was not answered"));
        c.out << "name written" << Qt::endl;
        return Ok;
    }
    QString name;
    bool taken;
    {
        RegisterLockGuard guard(c.session.lock());
        name = c.session.Device.DeviceName;
        const std::vector<uint8_t> &value = c.session.motor().registerAt(Reg::Name)->Value;
        taken = std::equal(value.begin(), value.end(), bytes->begin(), bytes->end());
    }
    c.out << "name: " << name.trimmed() << Qt::endl;
    if (!taken)
        return fail(c, Differs, QStringLiteral("0x15 not taken: the device holds another name"));
    return Ok;
}

} // namespace

bool handles(const QString &command)
{
    return command == BusScan || command == SetName;
}

bool runsWithoutIdentification(const QString &command)
{
    return command == BusScan;
}

QString usage()
{
    return QStringLiteral("  bus-scan                      list the modules behind the gateway at --ip,\n"
                          "                                one per line (no identification)\n"
                          "  set-name TEXT                 write the device name (16 characters at\n"
                          "                                most, 8-bit characters) and read it back\n");
}

std::optional<QString> checkArguments(const QString &command, const QStringList &arguments)
{
    if (command == BusScan && !arguments.isEmpty())
        return QStringLiteral("bus-scan takes no arguments");
    if (command == SetName && arguments.size() != 1)
        return QStringLiteral("set-name needs one TEXT");
    return std::nullopt;
}

int run(const QString &command, const QStringList &arguments, const QString &ipText,
        Context &context)
{
    if (command == BusScan)
        return busScan(ipText, context);
    return setName(arguments.value(0), context);
}

} // namespace NetworkCommands
