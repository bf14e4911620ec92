#pragma once

#include "cli/CliOptions.h"
#include "device/SessionListener.h"

#include <QObject>
#include <QTextStream>

#include <atomic>
#include <memory>

class QLMCConnection;
class QLMCSession;

/// Runs one tarvine-cli command over the same core objects the desktop tool
/// uses: opens the connection, waits for the identification, then reads,
/// writes or polls, and reports on standard output and standard error.
class CliRunner : public QObject, public SessionListener
{
    Q_OBJECT

public:
    enum ExitCode {
        Ok = 0,
        Usage = 1,
        ConnectionFailed = 2,
        TimedOut = 3,
        DeviceRefused = 4,
        RegisterRefused = 5
    };

    CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err);
    ~CliRunner() override;

    /// Runs the command to its end and returns the exit code.
    int run();

    // SessionListener: with a display divider of 0 every decoded answer arms
    // the display, which tells the runner that an answer came in.
    void armMainDisplay() override;
    void startWindowDisplay(Display window) override;

private:
    bool waitFor(const std::function<bool()> &done, int timeoutMs);
    bool waitUntilSettled(int timeoutMs);
    int openAndIdentify();
    int identify();
    int read();
    int write();
    int poll();
    void printRegister(int address);
    int fail(int code, const QString &message);

    CliOptions m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<QLMCSession> m_session;
    std::unique_ptr<QLMCConnection> m_connection;
    bool m_identified = false;
    bool m_refused = false;
    QString m_refusal;
    bool m_failed = false;
    QString m_status0;
    QString m_status3;
    bool m_answer = false;
    std::atomic<int> m_tuningStatuses{0}; ///< decoded 0x39 values
};
