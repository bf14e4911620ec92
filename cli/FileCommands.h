#pragma once

#include "cli/CliOptions.h"
#include "files/ParameterSave.h"

#include <QObject>
#include <QTextStream>

#include <functional>

class CliLink;
class QLMCConnection;
class QLMCSession;

/// The parameter-file commands of tarvine-cli: save, view, send and diff,
/// over the same core as the parameter-file window.
class FileCommands : public QObject, public ParameterSaveListener
{
    Q_OBJECT

public:
    enum ExitCode { LinkLost = 2, Unanswered = 3, BadFile = 6, Differs = 7 };

    /// What the runner lends the commands.
    struct Context
    {
        QLMCSession &session;
        QLMCConnection &connection;
        const CliOptions &options;
        QTextStream &out;
        QTextStream &err;
        /// Runs the event loop until \a done or \a timeoutMs; false on time-out.
        std::function<bool(const std::function<bool()> &done, int timeoutMs)> waitFor;
        /// Reads and writes that count only what this connection answered.
        CliLink &link;
        /// True once the connection failed or closed.
        std::function<bool()> failed;
    };

    /// True for the commands that need a connection (save, send, diff).
    static bool handles(const QString &command);
    /// view FILE: reads a file without a controller and lists its registers.
    static int view(const CliOptions &options, QTextStream &out, QTextStream &err);

    explicit FileCommands(Context context);
    ~FileCommands() override;

    /// Runs save, send or diff on the open connection.
    int run();
    /// The decoder stored 0x5B (queued onto this thread by the runner).
    void limitsReceived();

    // ParameterSaveListener
    void saveStatus(const QString &text) override;
    void saveEnded(bool written, const QString &failure) override;

private:
    int save();
    int send();
    int diff();
    int fail(int code, const QString &message);
    /// Reads the readable value registers of \a content back; 0 or an exit code.
    int readBack(const ParameterFileContent &content);

    Context m_c;
    std::unique_ptr<ParameterSave> m_save;
    bool m_saveEnded = false;
    bool m_saveWritten = false;
    QString m_saveFailure;
};
