#include "cli/DiscoveryCommands.h"

#include "discovery/DiscoveryFrames.h"
#include "discovery/DiscoveryNetworkChoice.h"
#include "discovery/QLMCScanQuelmoDevice.h"
#include "platform/LoopbackDiscoveryNetwork.h"

#include <algorithm>

namespace {

const QStringList Commands{QStringLiteral("scan"), QStringLiteral("adapters"),
                           QStringLiteral("set-ip")};

QString commandOf(const QStringList &args)
{
    // The first word that is neither an option nor an option's value.
    static const QStringList withValue{QStringLiteral("--wait"),     QStringLiteral("--port"),
                                       QStringLiteral("--loopback"), QStringLiteral("--board"),
                                       QStringLiteral("--ip"),       QStringLiteral("--i2c"),
                                       QStringLiteral("--timeout")};
    for (int i = 0; i < args.size(); ++i) {
        if (withValue.contains(args[i])) {
            ++i;
            continue;
        }
        if (!args[i].startsWith(QLatin1String("--")))
            return args[i];
    }
    return {};
}

} // namespace

bool DiscoveryCommands::handles(const QStringList &args)
{
    return Commands.contains(commandOf(args));
}

QString DiscoveryCommands::usage()
{
    return QStringLiteral(
        "Discovery (no --ip):\n"
        "  scan [--wait MS] [--port P] [--loopback FIRST-LAST]\n"
        "                                devices answering a broadcast on every network:\n"
        "                                MAC, IP, type, FW, HW, name (tab-separated, by MAC)\n"
        "  adapters [--loopback FIRST-LAST]\n"
        "                                local adapters: name, IP, MAC, description\n"
        "  set-ip MAC ADDR [--board NAME|IP] [--force] [--verify]\n"
        "                                gives the device with MAC the address ADDR\n"
        "  --loopback 127.0.0.1-127.0.0.3 replaces the broadcast by datagrams to each\n"
        "  loopback address of the range (virtual controllers). Exit codes: 2 sending\n"
        "  failed, 3 no device found (set-ip: MAC not found, or not at ADDR after\n"
        "  --verify), 5 ADDR answers a ping or could not be tested (--force sends anyway).\n");
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
    m_err << "tarvine-cli: " << message << Qt::endl;
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
    for (const QLMCQuelmoDevice &d : engine.DeviceList) {
        m_out << escaped(d.MACText) << '\t' << d.IPText << '\t' << d.TypeText << '\t'
              << d.FWVersionText << '\t' << d.HWVersionText << '\t' << escaped(d.NameText)
              << Qt::endl;
    }
    if (engine.DeviceList.empty())
        return fail(sent ? NotFound : SendFailed, QStringLiteral("no device answered"));
    return sent ? Ok : SendFailed;
}

int DiscoveryCommands::adapters()
{
    QLMCScanQuelmoDevice engine(m_waitMs, *m_network, uint16_t(m_port));
    if (!engine.scanNetworkBoard())
        return fail(SendFailed, QStringLiteral("the adapter list could not be read"));
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
        return fail(NotFound, QStringLiteral("no device with MAC %1 answered").arg(macText));
    if (!m_force) {
        const PingResult ping = engine.testPing(address);
        if (ping == PingResult::Reply)
            return fail(AddressInUse, QStringLiteral("%1 is already used (it answers a ping); "
                                                     "--force changes it anyway")
                                          .arg(DiscoveryFrames::ipText(address)));
        if (ping == PingResult::Unavailable)
            return fail(AddressInUse, QStringLiteral("%1 could not be tested (no ICMP socket); "
                                                     "--force changes it anyway")
                                          .arg(DiscoveryFrames::ipText(address)));
    }
    const QLMCQuelmoDevice target = *device;
    if (!engine.changeIPAdd(target, *board, addressText))
        return fail(SendFailed, QStringLiteral("changeIPAdd failed"));
    m_out << "IP change sent to " << macText << ": " << DiscoveryFrames::ipText(address) << " mask "
          << board->MaskText << Qt::endl;
    if (!m_verify)
        return Ok;
    runScan(engine);
    const QLMCScanQuelmoDevice::ChangeCheck check = engine.checkChange(macText, address);
    if (!check.answers)
        return fail(NotFound, check.text);
    m_out << check.text << Qt::endl;
    return Ok;
}
