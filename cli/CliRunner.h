#pragma once

#include "cli/CliLink.h"
#include "cli/CliOptions.h"
#include "device/ReceivedValues.h"
#include "device/RegisterTable.h"
#include "device/SessionListener.h"

#include <QObject>
#include <QTextStream>

#include <bitset>
#include <functional>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

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
        RegisterRefused = 5,
        BadFile = 6,
        Differs = 7 ///< the device did not take what was written (or differs from a file)
    };

    CliRunner(const CliOptions &options, QTextStream &out, QTextStream &err);
    ~CliRunner() override;

    /// Runs the command to its end and returns the exit code.
    int run();

    // SessionListener: with a display divider of 0 every decoded answer arms
    // the display, which tells the runner that an answer came in.
    void armMainDisplay() override;
    /// 0x5B arrived: a parameter-file save may write its file.
    void limitsReceived() override;
    void startWindowDisplay(Display window) override;

private:
    bool waitFor(const std::function<bool()> &done, int timeoutMs);
    /// True once nothing is pending; false on a time-out or when the link was
    /// lost (a lost link leaves its requests unanswered, never "settled").
    bool waitUntilSettled(int timeoutMs);
    int openAndIdentify();
    bool reopen();
    void addToTotals();
    QString statisticsLine();
    int identify();
    int read();
    int write();
    int poll();
    /// The values of the answer just decoded when it was a live read cycle
    /// (position or speed arrived); none for a write answer or other reads.
    std::optional<ReceivedValues> takeCycleValues(std::bitset<RegisterCount> *received = nullptr);
    int chart();
    void printRegister(int address);
    int fail(int code, const QString &message);

    CliOptions m_options;
    QTextStream &m_out;
    QTextStream &m_err;
    std::unique_ptr<QLMCSession> m_session;
    std::unique_ptr<QLMCConnection> m_connection;
    std::unique_ptr<CliLink> m_link;
    bool m_identified = false;
    bool m_refused = false;
    QString m_refusal;
    bool m_failed = false;
    QString m_status0;
    QString m_status3;
    bool m_answer = false;

    // Poll statistics over every connection of the run (counters restart at each open).
    struct Totals
    {
        int64_t requests = 0;
        int64_t answers = 0;
        int64_t checksumErrors = 0;
        int reopens = 0;
    } m_totals;
    std::mutex m_timesMutex;
    std::vector<float> m_answerTimes; ///< ms, one per decoded answer (any thread appends)
    std::function<void()> m_limitsHook; ///< set while a file command runs
    std::atomic<int> m_tuningStatuses{0}; ///< decoded 0x39 values
};
