#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// The command line of tarvine-cli.
struct CliOptions
{
    QString ip;
    int comMode = 0; ///< 0 TCP direct, 1 UDP, 2 gateway
    int i2cAddress = 1;
    int port = 0;              ///< 0: the mode's standard port
    QString command;           ///< identify, read, write, poll
    QStringList arguments;     ///< registers for read, REG=VALUE for write
    double seconds = 5.0;      ///< poll duration
    QString csvFile;           ///< poll: record the read cycles into this CSV file
    int refreshMs = 20;        ///< poll: packets per send cycle (the window's "Interface refresh")
    int timeoutMs = 5000;      ///< longest wait for the connection and each answer set
    int answerTimeoutMs = 250; ///< the sender's wait for one answer before it counts it lost
    bool verbose = false;      ///< internal errors of the log on standard error
    QString groups;            ///< save: the groups to save (comma-separated), empty = all
    QString only;              ///< send: the registers to send (comma-separated), empty = all

    /// Parses argv (without the program name). On failure returns nullopt and
    /// sets \a error to a one-line message.
    static std::optional<CliOptions> parse(const QStringList &args, QString &error);
    static QString usage();
};
