// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/FleetCommands.h"

#include "cli/CliContext.h"
#include "cli/CliJson.h"
#include "discovery/DiscoveryNetworkChoice.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "device/ChangeHistory.h"
#include "files/ParameterFile.h"
#include "fleet/FleetOperations.h"
#include "fleet/FleetRunner.h"
#include "fleet/FleetTargets.h"
#include "platform/LoopbackDiscoveryNetwork.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>

using namespace CliExit;

namespace {

// Control characters in a device's text (its name) never reach the terminal raw.
QString plain(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        out += (u < 0x20 || (u >= 0x7F && u < 0xA0)) ? QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'))
                                                     : QString(c);
    }
    return out;
}

class FleetRun
{
public:
    explicit FleetRun(CliContext &c)
        : m_c(c)
    {}

    int run();

private:
    int parseOptions();
    int findTargets();
    void progress(int done, int total, int failed);
    void printRow(const FleetRow &row);
    int finish(const std::vector<FleetRow> &rows);

    CliContext &m_c;
    QString m_action;
    QString m_path;
    FleetSettings m_settings;
    QString m_model;
    bool m_anyModel = false;
    bool m_json = false;
    int m_waitMs = 500;
    int m_discoveryPort = QLMCScanQuelmoDevice::DefaultPort;
    std::vector<FleetTarget> m_targets;
    QString m_lastProgress;
};

int FleetRun::parseOptions()
{
    const QStringList &args = m_c.arguments();
    const QStringList positional = m_c.options.positional();
    m_action = positional.value(0);
    m_path = positional.value(1);
    const bool needsPath = m_action != QLatin1String("list");
    if (needsPath == m_path.isEmpty())
        return m_c.fail(Usage, needsPath ? QStringLiteral("fleet %1 needs %2").arg(m_action, m_action == QLatin1String("save") ? QStringLiteral("DIR") : QStringLiteral("FILE"))
                                         : QStringLiteral("fleet list takes no file"));
    auto number = [&](const char *option, int min, int max, int &target) {
        const QString name = QString::fromLatin1(option);
        if (!CliArguments::has(args, name))
            return true;
        bool ok = false;
        const int value = CliArguments::value(args, name).toInt(&ok);
        if (!ok || value < min || value > max)
            return false;
        target = value;
        return true;
    };
    int tcpPort = m_settings.tcpPort;
    if (!number("--jobs", 1, 256, m_settings.jobs))
        return m_c.fail(Usage, QStringLiteral("--jobs must be a number from 1 to 256"));
    if (!number("--limit", 100, 600000, m_settings.limitMs))
        return m_c.fail(Usage, QStringLiteral("--limit must be a number of ms from 100 to 600000"));
    if (!number("--wait", 1, 60000, m_waitMs))
        return m_c.fail(Usage, QStringLiteral("--wait must be a number from 1 to 60000"));
    if (!number("--port", 1, 65535, m_discoveryPort))
        return m_c.fail(Usage, QStringLiteral("--port must be a number from 1 to 65535"));
    if (!number("--tcp-port", 1, 65535, tcpPort))
        return m_c.fail(Usage, QStringLiteral("--tcp-port must be a number from 1 to 65535"));
    m_settings.tcpPort = quint16(tcpPort);
    m_model = CliArguments::value(args, QStringLiteral("--model"));
    m_json = CliArguments::has(args, QStringLiteral("--json"));
    m_anyModel = CliArguments::has(args, QStringLiteral("--any-model"));
    if (m_anyModel && m_action != QLatin1String("send"))
        return m_c.fail(Usage, QStringLiteral("--any-model is for fleet send"));
    m_settings.answerTimeoutMs = m_c.options.answerTimeoutMs;
    // Every write a fleet command makes goes to the change journal.
    m_settings.journalPath = ChangeHistory::defaultJournalPath();
    return Ok;
}

int FleetRun::findTargets()
{
    const QStringList &args = m_c.arguments();
    const QString hosts = CliArguments::value(args, QStringLiteral("--hosts"));
    const QString loopback = CliArguments::value(args, QStringLiteral("--loopback"));
    if (!hosts.isEmpty() && !loopback.isEmpty())
        return m_c.fail(Usage, QStringLiteral("--hosts and --loopback exclude each other"));
    if (!hosts.isEmpty()) {
        const FleetTargetList list = FleetTargets::readHosts(hosts);
        if (!list.error.isEmpty())
            return m_c.fail(BadFile, list.error);
        m_targets = list.targets;
        return Ok;
    }
    std::unique_ptr<DiscoveryNetwork> network;
    if (!loopback.isEmpty()) {
        const auto range = LoopbackDiscoveryNetwork::parseRange(loopback.toStdString());
        if (!range)
            return m_c.fail(Usage, QStringLiteral("--loopback needs FIRST-LAST loopback addresses "
                                                  "(e.g. 127.0.0.1-127.0.0.3, at most %1)")
                                       .arg(LoopbackDiscoveryNetwork::MaxRange));
        network = std::make_unique<LoopbackDiscoveryNetwork>(
            std::vector<NetworkAdapter>{LoopbackDiscoveryNetwork::virtualAdapter()}, range->first,
            range->second);
    } else {
        network = makeDiscoveryNetwork();
    }
    if (auto *loop = dynamic_cast<LoopbackDiscoveryNetwork *>(network.get()))
        loop->setPingPort(uint16_t(m_discoveryPort));
    QLMCScanQuelmoDevice engine(m_waitMs, *network, uint16_t(m_discoveryPort));
    const bool sent = engine.scanQuelmoDevice();
    m_targets = FleetTargets::fromDiscovery(engine.DeviceList);
    if (m_targets.empty())
        return m_c.fail(sent ? Unanswered : LinkLost, QStringLiteral("no device answered"));
    return Ok;
}

void FleetRun::progress(int done, int total, int failed)
{
    const QString line = QStringLiteral("fleet %1: %2/%3 done, %4 failed")
                             .arg(m_action)
                             .arg(done)
                             .arg(total)
                             .arg(failed);
    if (line == m_lastProgress)
        return;
    m_lastProgress = line;
    m_c.err << '\r' << line << Qt::flush;
}

void FleetRun::printRow(const FleetRow &row)
{
    if (m_json) {
        // Every documented field on every line: null where the device sent
        // nothing or the action does not fill it.
        QJsonObject object;
        for (const QString &name : findCliCommand(QStringLiteral("fleet"))->jsonFields())
            object.insert(name, QJsonValue::Null);
        object.insert(QStringLiteral("target"), row.target.label());
        object.insert(QStringLiteral("result"), FleetOperations::statusWord(row.status));
        object.insert(QStringLiteral("reason"), row.reason);
        for (const auto &[name, value] : row.fields)
            if (object.contains(name))
                object.insert(name, value);
        if (m_action == QLatin1String("diff") || m_action == QLatin1String("send")) {
            QJsonArray registers;
            QJsonArray identity;
            for (const QString &detail : row.details) {
                if (detail.startsWith(QLatin1String("identity ")))
                    identity.append(detail.mid(9));
                else if (detail.startsWith(QLatin1String("kept the controller's ")))
                    identity.append(detail.mid(22));
                else
                    registers.append(detail);
            }
            object.insert(QStringLiteral("registers"), registers);
            object.insert(QStringLiteral("identity"), identity);
        }
        m_c.out << CliJson::line(object) << Qt::endl;
        return;
    }
    QStringList cells;
    if (m_action == QLatin1String("list")) {
        for (const QString &name : FleetOperations::listFields()) {
            QString value = row.field(name);
            if (name == QLatin1String("address") && value.isEmpty())
                value = row.target.label();
            cells << (value.isEmpty() ? QStringLiteral("-") : plain(value));
        }
        cells << (row.ok() ? QStringLiteral("reachable") : FleetOperations::statusWord(row.status) + QStringLiteral(": ") + row.reason);
    } else {
        cells << row.target.label() << FleetOperations::statusWord(row.status);
        if (m_action == QLatin1String("save"))
            cells << (row.ok() ? row.field(QStringLiteral("file")) : row.reason);
        else if (m_action == QLatin1String("send") && row.ok())
            cells << QStringLiteral("sent %1 registers").arg(row.field(QStringLiteral("sent")));
        else if (!row.reason.isEmpty())
            cells << row.reason;
    }
    m_c.out << cells.join(QLatin1Char('\t')) << Qt::endl;
    for (const QString &detail : row.details)
        m_c.out << '\t' << plain(detail) << Qt::endl;
}

int FleetRun::finish(const std::vector<FleetRow> &rows)
{
    int failed = 0;
    int differing = 0;
    for (const FleetRow &row : rows) {
        printRow(row);
        // A controller left out by --model is no failure.
        failed += row.failed();
        differing += row.status == FleetStatus::Differs;
    }
    if (failed > 0) {
        m_c.err << cliErrorLine(SomeFailed, QStringLiteral("%1 of %2 controllers failed (their rows say why)")
                                                .arg(failed)
                                                .arg(rows.size()))
                << Qt::endl;
        return SomeFailed;
    }
    return differing > 0 ? Differs : Ok;
}

int FleetRun::run()
{
    if (const int code = parseOptions(); code != Ok)
        return code;
    ParameterFileContent reference;
    if (m_action == QLatin1String("diff") || m_action == QLatin1String("send")) {
        reference = ParameterFile::readPath(m_path);
        if (!reference.ok())
            return m_c.fail(BadFile, reference.error);
        if (m_action == QLatin1String("send") && !m_anyModel
            && FleetOperations::fileModel(reference).isEmpty())
            return m_c.fail(BadFile, QStringLiteral("%1 names no model this tool knows "
                                                    "(--any-model sends it to every model)")
                                         .arg(m_path));
    } else if (m_action == QLatin1String("save") && !QDir().mkpath(m_path)) {
        return m_c.fail(BadFile, QStringLiteral("%1: the folder cannot be made").arg(m_path));
    }
    if (const int code = findTargets(); code != Ok)
        return code;

    FleetRunner::Operation operation;
    if (m_action == QLatin1String("list")) {
        operation = &FleetOperations::list;
    } else if (m_action == QLatin1String("save")) {
        const QString folder = m_path;
        operation = [folder](FleetDevice &device, FleetRow &row) {
            FleetOperations::save(device, row, folder);
        };
    } else if (m_action == QLatin1String("send")) {
        const bool anyModel = m_anyModel;
        operation = [&reference, anyModel](FleetDevice &device, FleetRow &row) {
            FleetOperations::send(device, row, reference, anyModel,
                                  QStringLiteral("tarvine-cli fleet send"));
        };
    } else {
        operation = [&reference](FleetDevice &device, FleetRow &row) {
            FleetOperations::diff(device, row, reference);
        };
    }
    const FleetRunner runner(m_settings);
    const std::vector<FleetRow> rows =
        runner.run(m_targets, FleetOperations::onlyModel(m_model, operation),
                   [this](int done, int total, int failed) { progress(done, total, failed); });
    m_c.err << Qt::endl;
    if (m_action == QLatin1String("save")) {
        QString error;
        if (!FleetOperations::writeIndex(m_path, rows, &error)) {
            finish(rows);
            return m_c.fail(BadFile, QStringLiteral("the index was not written: ") + error);
        }
    }
    return finish(rows);
}

int runFleet(CliContext &context)
{
    return FleetRun(context).run();
}

QString checkFleet(const CliOptions &options)
{
    const QString action = options.positional().value(0);
    if (action != QLatin1String("list") && action != QLatin1String("save")
        && action != QLatin1String("diff") && action != QLatin1String("send"))
        return QStringLiteral("fleet needs list, save DIR, diff FILE or send FILE");
    return {};
}

} // namespace

namespace FleetCommands {

const CliCommand Fleet{
    "fleet",
    "fleet list|save|diff|send [DIR|FILE] [--hosts FILE] [--loopback FIRST-LAST] [--model NAME] "
    "[--any-model] [--jobs N] [--limit MS] [--wait MS] [--port P] [--tcp-port P] [--json]",
    "many controllers at once, from discovery or a hosts file (one ADDR or ADDR:MODULE a line): "
    "list their state, save one parameter file each into DIR with an index, list the "
    "registers that differ from FILE (identity registers apart), or send FILE to every "
    "controller of its model (--any-model: to every model), each keeping its 0x12 address "
    "and 0x15 name, every value through the model's rules, every change journalled",
    CliNeeds::Nothing, &runFleet, &checkFleet,
    "3 no device answered the discovery, 6 a bad hosts file or FILE (send: a FILE naming no "
    "model without --any-model), DIR or its index not written, 7 (diff) registers differ, 9 "
    "some controllers failed (their rows say why: send fails a controller whose value the "
    "rules refuse, with nothing of it written, or that did not take a value)",
    "target: the controller (ADDR or ADDR:MODULE); result: ok, unreachable, unanswered, "
    "refused, skipped, file-failed, differs, value-refused or not-taken; reason: why not "
    "(empty on success); mac: MAC "
    "address (null, as every field below, when the device did not send it or the action does "
    "not fill it); address: IP address (0x12); model: model name; firmware: firmware version; "
    "name: device name; mode: regulation mode (list); warnings: warning word (list); "
    "temperature: temperature (list); file: the file written (save); sent: registers written "
    "(send); registers: the differing registers, device -> file (diff), or those not taken "
    "(send); identity: the differing identity registers (diff), or those the controller kept "
    "(send)"};

} // namespace FleetCommands
