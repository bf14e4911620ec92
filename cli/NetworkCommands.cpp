// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/NetworkCommands.h"

#include "cli/CliContext.h"
#include "cli/CliLink.h"

#include "device/DeviceNetworkSettings.h"
#include "device/QLMCSession.h"
#include "device/RegisterTable.h"
#include "link/QLMCConnection.h"

namespace NetworkCommands {

using namespace CliExit;

namespace {

int busScan(CliContext &c)
{
    const QString &ipText = c.options.ip;
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
    const bool answered = c.waitFor([&] { return finished || ended; }, c.options.timeoutMs);
    QObject::disconnect(done);
    QObject::disconnect(lost);
    if (c.connection.isTcpActive()) {
        c.connection.closeFromMenu();
        c.waitFor([&] { return !c.connection.isTcpActive(); }, 1000);
    }
    if (ended && !finished) {
        const LinkFailure &failure = c.connection.failure();
        return c.fail(LinkLost, QStringLiteral("the bus scan of the gateway at %1 failed%2")
                                    .arg(ipText, failure ? QStringLiteral(": ") + failure.description()
                                                         : QString()));
    }
    if (!answered)
        return c.fail(Unanswered, QStringLiteral("no bus scan answer from %1 within %2 ms")
                                      .arg(ipText)
                                      .arg(c.options.timeoutMs));
    for (const QString &entry : entries)
        c.out << entry << Qt::endl;
    if (entries.isEmpty())
        c.err << "tarvine-cli: no module answered on the bus" << Qt::endl;
    return Ok;
}

QString checkName(const CliOptions &options)
{
    if (!DeviceNetworkSettings::nameBytes(options.arguments.value(0)))
        return QStringLiteral("the name has a character outside the 8-bit set");
    return {};
}

int setName(CliContext &c)
{
    const auto bytes = DeviceNetworkSettings::nameBytes(c.arguments().value(0));
    {
        RegisterLockGuard guard(c.session.lock());
        if (!c.session.motor().registerAt(Reg::Name)->Writable)
            return c.fail(ValueRefused, QStringLiteral("this model does not take a name"));
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
            return c.fail(Unanswered, QStringLiteral("the name write was not answered"));
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
        return c.fail(Differs, QStringLiteral("0x15 not taken: the device holds another name"));
    return Ok;
}

} // namespace

const CliCommand BusScan{"bus-scan", "bus-scan",
                         "list the modules behind the gateway at --ip, one per line",
                         CliNeeds::Address, &busScan};
const CliCommand SetName{"set-name", "set-name TEXT",
                         "write the device name (16 characters at most, 8-bit characters) and "
                         "read it back",
                         CliNeeds::Device, &setName, &checkName,
                         "5 the model takes no name, 7 the device holds another name"};

} // namespace NetworkCommands
