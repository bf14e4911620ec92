#pragma once

#include <QStringList>
#include <QTextStream>

#include <memory>

class DiscoveryNetwork;

/// The discovery commands of tarvine-cli, which need no device address:
///   scan [--wait MS] [--port P] [--loopback FIRST-LAST]
///   adapters [--loopback FIRST-LAST]
///   set-ip MAC ADDR [--board NAME|IP] [--force] [--verify] [--wait MS] [--port P]
///          [--loopback FIRST-LAST]
/// Without --loopback they use the machine's network (real broadcasts), or
/// the loopback network when TARVINE_DISCOVERY=loopback.
class DiscoveryCommands
{
public:
    enum ExitCode { Ok = 0, Usage = 1, SendFailed = 2, NotFound = 3, AddressInUse = 5 };

    /// True when \a args name one of the discovery commands.
    static bool handles(const QStringList &args);
    static QString usage();

    /// \a network replaces the chosen network (tests).
    DiscoveryCommands(QStringList args, QTextStream &out, QTextStream &err,
                      DiscoveryNetwork *network = nullptr);
    ~DiscoveryCommands();

    int run();

    /// \a text with control characters written as \xNN.
    static QString escaped(const QString &text);

private:
    int parse();
    int scan();
    int adapters();
    int setIp();
    int fail(int code, const QString &message);
    bool runScan(class QLMCScanQuelmoDevice &engine);

    QStringList m_args;
    QTextStream &m_out;
    QTextStream &m_err;
    DiscoveryNetwork *m_network = nullptr;
    std::unique_ptr<DiscoveryNetwork> m_ownNetwork;
    QString m_command;
    QStringList m_positional;
    int m_waitMs = 500;
    int m_port = 7010;
    QString m_board;
    bool m_force = false;
    bool m_verify = false;
};
