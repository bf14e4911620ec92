// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/DiscoveryCommands.h"

#include "cli/CliContext.h"
#include "cli/CliJson.h"
#include "device/ModelProfile.h"
#include "discovery/DiscoveryFrames.h"
#include "discovery/DiscoveryNetworkChoice.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/LoopbackDiscoveryNetwork.h"

#include <QJsonObject>

#include <algorithm>

using namespace CliExit;

const CliCommand DiscoveryCommands::Scan{
    "scan", "scan [--wait MS] [--port P] [--loopback FIRST-LAST] [--json] [--no-header]",
    "devices answering a broadcast on every network: MAC, IP, type, model, FW, HW, name "
    "(tab-separated under a header line, by MAC)",
    CliNeeds::Nothing, &DiscoveryCommands::run, nullptr,
    "2 sending failed, 3 no device answered",
    "mac: MAC address (00-50-C2-00-00-65); ip: IP address; type: type code (number); subtype: "
    "sub-type (number); model: model name (empty when unlisted); firmware: firmware version; "
    "hardware: hardware version; name: device name"};
const CliCommand DiscoveryCommands::Adapters{
    "adapters", "adapters [--loopback FIRST-LAST] [--wait MS] [--port P]", "local adapters: name, IP, MAC, description",
    CliNeeds::Nothing, &DiscoveryCommands::run, nullptr, "2 the adapter list could not be read"};
const CliCommand DiscoveryCommands::SetIp{
    "set-ip", "set-ip MAC ADDR [--board NAME|IP] [--force] [--verify] [--wait MS] [--port P] "
              "[--loopback FIRST-LAST]",
    "gives the device with MAC the address ADDR (--verify: scans again to see it there)",
    CliNeeds::Nothing, &DiscoveryCommands::run, nullptr,
    "2 sending failed, 3 MAC not found (or, with --verify, not at ADDR afterwards), 5 ADDR "
    "answers a ping or could not be tested (--force sends anyway)"};

int DiscoveryCommands::run(CliContext &context)
{
    return DiscoveryCommands(QStringList{context.options.command} + context.arguments(),
                             context.out, context.err)
        .run();
}

DiscoveryCommands::DiscoveryCommands(QStringList args, QTextStream &out, QTextStream &err,
                                     DiscoveryNetwork *network)
    : m_args(std::move(args))
    , m_out(out)
    , m_err(err)
    , m_network(network)
{}

DiscoveryCommands::~DiscoveryCommands() = default;

QString DiscoveryCommands::escaped(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || c == QLatin1Char('\\'))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

int DiscoveryCommands::fail(int code, const QString &message)
{
    m_err << cliErrorLine(code, message) << Qt::endl;
    return code;
}

int DiscoveryCommands::parse()
{
    QString loopback;
    auto number = [&](int &i, int min, int max, int &target) -> bool {
        if (i + 1 >= m_args.size())
            return false;
        bool ok = false;
        const int v = m_args[++i].toInt(&ok);
        if (!ok || v < min || v > max)
            return false;
        target = v;
        return true;
    };
    for (int i = 0; i < m_args.size(); ++i) {
        const QString &a = m_args[i];
        if (a == QLatin1String("--wait")) {
            if (!number(i, 1, 60000, m_waitMs))
                return fail(Usage, QStringLiteral("--wait must be a number from 1 to 60000"));
        } else if (a == QLatin1String("--port")) {
            if (!number(i, 1, 65535, m_port))
                return fail(Usage, QStringLiteral("--port must be a number from 1 to 65535"));
        } else if (a == QLatin1String("--loopback") || a == QLatin1String("--board")) {
            if (i + 1 >= m_args.size())
                return fail(Usage, QStringLiteral("option %1 needs a value").arg(a));
            (a == QLatin1String("--board") ? m_board : loopback) = m_args[++i];
        } else if (a == QLatin1String("--force")) {
            m_force = true;
        } else if (a == QLatin1String("--verify")) {
            m_verify = true;
        } else if (a == QLatin1String("--json")) {
            m_json = true;
        } else if (a == QLatin1String("--no-header")) {
            m_noHeader = true;
        } else if (a == QLatin1String("--verbose")) {
        } else if (a.startsWith(QLatin1String("--"))) {
            return fail(Usage, QStringLiteral("unknown option %1").arg(a));
        } else if (m_command.isEmpty()) {
            m_command = a;
        } else {
            m_positional << a;
        }
    }
    const qsizetype wanted = m_command == QLatin1String("set-ip") ? 2 : 0;
    if (m_positional.size() != wanted)
        return fail(Usage, m_command == QLatin1String("set-ip")
                               ? QStringLiteral("set-ip needs MAC and ADDR")
                               : QStringLiteral("%1 takes no arguments").arg(m_command));
    if (!loopback.isEmpty()) {
        const auto range = LoopbackDiscoveryNetwork::parseRange(loopback.toStdString());
        if (!range)
            return fail(Usage, QStringLiteral("--loopback needs FIRST-LAST loopback addresses "
                                              "(e.g. 127.0.0.1-127.0.0.3, at most %1)")
                                   .arg(LoopbackDiscoveryNetwork::MaxRange));
        if (!m_network) {
            m_ownNetwork = std::make_unique<LoopbackDiscoveryNetwork>(
                std::vector<NetworkAdapter>{LoopbackDiscoveryNetwork::virtualAdapter()},
                range->first, range->second);
        }
    } else if (!m_network) {
        m_ownNetwork = makeDiscoveryNetwork();
    }
    if (!m_network)
        m_network = m_ownNetwork.get();
    if (auto *loop = dynamic_cast<LoopbackDiscoveryNetwork *>(m_network))
        loop->setPingPort(uint16_t(m_port));
    return Ok;
}

int DiscoveryCommands::run()
{
    if (const int parsed = parse(); parsed != Ok)
        return parsed;
    if (m_command == QLatin1String("scan"))
        return scan();
    if (m_command == QLatin1String("adapters"))
        return adapters();
    return setIp();
}

bool DiscoveryCommands::runScan(QLMCScanQuelmoDevice &engine)
{
    const bool sent = engine.scanQuelmoDevice();
    for (const QString &failure : engine.failures())
        m_err << "tarvine-cli: sending failed on " << escaped(failure) << Qt::endl;
    if (engine.unknownVariableCount() > 0)
        m_err << "warning: Unknown variable in IP Packet. (" << engine.unknownVariableCount()
              << " answers)" << Qt::endl;
    std::sort(engine.DeviceList.begin(), engine.DeviceList.end(),
              [](const QLMCQuelmoDevice &a, const QLMCQuelmoDevice &b) {
                  return a.MACText.toLatin1() < b.MACText.toLatin1();
              });
    return sent;
}

int DiscoveryCommands::scan()
{
    QLMCScanQuelmoDevice engine(m_waitMs, *m_network, uint16_t(m_port));
    const bool sent = runScan(engine);
    if (!m_json && !m_noHeader)
        m_out << "MAC\tIP\tTYPE\tMODEL\tFW\tHW\tNAME" << Qt::endl;
    for (const QLMCQuelmoDevice &d : engine.DeviceList) {
        // The model as the identification would name it from type and firmware.
        const QString model =
            identifyDevice((uint32_t(d.TypeCode) << 16) | d.SubType,
                           (uint32_t(d.FWVersion[0]) << 16) | d.FWVersion[1])
                .modelName;
        if (m_json) {
            QJsonObject o;
            o.insert(QStringLiteral("mac"), d.MACText);
            o.insert(QStringLiteral("ip"), d.IPText);
            o.insert(QStringLiteral("type"), int(d.TypeCode));
            o.insert(QStringLiteral("subtype"), int(d.SubType));
            o.insert(QStringLiteral("model"), model);
            o.insert(QStringLiteral("firmware"), d.FWVersionText);
            o.insert(QStringLiteral("hardware"), d.HWVersionText);
            o.insert(QStringLiteral("name"), d.NameText);
            m_out << CliJson::line(o) << Qt::endl;
            continue;
        }
        m_out << escaped(d.MACText) << '\t' << d.IPText << '\t' << d.TypeText << '\t'
              << (model.isEmpty() ? QStringLiteral("-") : model) << '\t' << d.FWVersionText
              << '\t' << d.HWVersionText << '\t' << escaped(d.NameText) << Qt::endl;
    }
    if (engine.DeviceList.empty())
        return fail(sent ? Unanswered : LinkLost, QStringLiteral("no device answered"));
    return sent ? Ok : LinkLost;
}

int DiscoveryCommands::adapters()
{
    QLMCScanQuelmoDevice engine(m_waitMs, *m_network, uint16_t(m_port));
    if (!engine.scanNetworkBoard())
        return fail(LinkLost, QStringLiteral("the adapter list could not be read"));
    for (const QLMCNetBoard &b : engine.BoardList)
        m_out << escaped(b.FriendlyName) << '\t' << b.IPText << '\t' << b.MACText << '\t'
              << escaped(b.Description) << Qt::endl;
    return Ok;
}

int DiscoveryCommands::setIp()
{
    const auto mac = DiscoveryFrames::parseMac(m_positional[0]);
    if (!mac)
        return fail(Usage, QStringLiteral("not a MAC address: %1").arg(escaped(m_positional[0])));
    const QString macText = DiscoveryFrames::macText(*mac);
    const QString addressText = m_positional[1];
    std::array<uint8_t, 4> address{};
    if (!DiscoveryFrames::testIPAddress(addressText, address))
        return fail(Usage, QStringLiteral("IP Address bad format : %1").arg(escaped(addressText)));

    QLMCScanQuelmoDevice engine(m_waitMs, *m_network, uint16_t(m_port));
    engine.scanNetworkBoard();
    const QLMCNetBoard *board = nullptr;
    if (!m_board.isEmpty()) {
        for (const QLMCNetBoard &b : engine.BoardList) {
            if (b.FriendlyName == m_board || b.IPText == m_board)
                board = &b;
        }
        if (!board)
            return fail(Usage, QStringLiteral("no adapter named %1").arg(escaped(m_board)));
    } else if (engine.BoardList.size() == 1) {
        board = &engine.BoardList.front();
    } else {
        return fail(Usage, engine.BoardList.empty()
                               ? QStringLiteral("no network adapter")
                               : QStringLiteral("several adapters: choose one with --board"));
    }
    if (!QLMCScanQuelmoDevice::checkNewAddress(addressText, *board))
        return fail(Usage, QStringLiteral("IP Address bad format : %1 (not an address for %2)")
                               .arg(addressText, board->IPText));

    runScan(engine);
    const QLMCQuelmoDevice *device = engine.findDevice(macText);
    if (!device)
        return fail(Unanswered, QStringLiteral("no device with MAC %1 answered").arg(macText));
    if (!m_force) {
        const PingResult ping = engine.testPing(address);
        if (ping == PingResult::Reply)
            return fail(ValueRefused, QStringLiteral("%1 is already used (it answers a ping); "
                                                     "--force changes it anyway")
                                          .arg(DiscoveryFrames::ipText(address)));
        if (ping == PingResult::Unavailable)
            return fail(ValueRefused, QStringLiteral("%1 could not be tested (no ICMP socket); "
                                                     "--force changes it anyway")
                                          .arg(DiscoveryFrames::ipText(address)));
    }
    const QLMCQuelmoDevice target = *device;
    if (!engine.changeIPAdd(target, *board, addressText))
        return fail(LinkLost, QStringLiteral("changeIPAdd failed"));
    m_out << "IP change sent to " << macText << ": " << DiscoveryFrames::ipText(address) << " mask "
          << board->MaskText << Qt::endl;
    if (!m_verify)
        return Ok;
    runScan(engine);
    const QLMCScanQuelmoDevice::ChangeCheck check = engine.checkChange(macText, address);
    if (!check.answers)
        return fail(Unanswered, check.text);
    m_out << check.text << Qt::endl;
    return Ok;
}
