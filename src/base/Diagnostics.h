// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/WaitResult.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class CommandRunner;

// The diagnostic log: every part of the program reports internal failures and
// notices through LogMessage. Entries go to the log file in the log folder (shared
// by all running instances, serialised by the "LOG_FILE" lock), the output console
// (standard error) and message boxes, as selected per message.

/// Output mask bits of LogMessage.
namespace LogOutput {
inline constexpr uint8_t File = 1;
inline constexpr uint8_t Console = 2;
inline constexpr uint8_t MessageBox = 4;
/// Selects ErrorOutputs for errors, NormalOutputs otherwise.
inline constexpr uint8_t Default = 255;
} // namespace LogOutput

/// Message levels: -1 error, 0 and above information.
inline constexpr int32_t LogLevelError = -1;
inline constexpr int32_t LogLevelInfo = 0;

/// Follow-up actions of LogMessage.
inline constexpr int LogActionNone = 0;
inline constexpr int LogActionRestart = 1;
inline constexpr int LogActionExit = 2;

/// Icon of a message box raised by the log.
enum class LogBoxIcon { None, Warning };

/// Shows a modal message box with an OK button (caption, text, icon).
using LogMessageBoxHandler =
    std::function<void(const QString &caption, const QString &text, LogBoxIcon icon)>;

/// Sets ErrorOutputs, LogFolder (without trailing separator) and ApplicationName.
void SetLogTarget(uint8_t errorOutputs, const QString &folder, const QString &applicationName);

/// Sets NormalOutputs, MaxLevel, StampNormal, SingleErrorFile and ApplicationName.
void SetLogOptions(uint8_t normalOutputs, int32_t maxLevel, bool stampNormal, bool singleErrorFile,
                   const QString &applicationName);

/// Logs \a message from \a sourceFile (name without folder or extension), line
/// \a sourceLine, \a functionName ("Class::Method") to the outputs of the mask
/// \a outputs (LogOutput::Default: the mask of the message's kind), unless \a level
/// is above MaxLevel. Then runs \a action. Returns 1, or for LogActionRestart the
/// result of RestartWindows(); LogActionExit ends the process with exit code 0.
int32_t LogMessage(const char *sourceFile, int sourceLine, const char *functionName,
                   uint8_t outputs, int32_t level, int action, const QString &message);

/// Logs an error for a wait on the event \a eventName that did not end signalled.
void ReportEventWait(const char *sourceFile, int sourceLine, const char *functionName,
                     uint8_t outputs, int waitResult, const QString &eventName);

/// ReportEventWait with source "-", line 0, function "-" and the default outputs;
/// \a functionName is not used.
void ReportThreadEventWait(int waitResult, const QString &eventName, const char *functionName);

/// Appends \a text to the log file under the "LOG_FILE" lock (at most 5000 ms).
/// When the lock is not obtained cleanly, the entry goes to a separate randomly
/// numbered file with the reason in front. Returns 1 when written under the lock
/// and the lock was released, else 0.
int WriteLogFile(const QString &text, bool isError);

/// Writes \a text to the output console while ConsoleEnabled is on.
void WriteConsoleText(const QString &text);

/// Asks the system to restart. Returns 1 when the restart was accepted, else 0.
int RestartWindows();

/// The header line of an entry: local date and time with milliseconds, source
/// file, line and function, ending with CR LF.
QString FormatLogHeader(const QDateTime &when, const char *sourceFile, int sourceLine,
                        const char *functionName);

/// The process-wide log settings; the initial values are those in force before
/// start-up configures the log.
struct LogSettings
{
    QString logFolder = QStringLiteral(".");
    QString applicationName = QStringLiteral("My QLM Application");
    uint8_t normalOutputs = LogOutput::Console;
    uint8_t errorOutputs = LogOutput::Console;
    int32_t maxLevel = 255;
    bool stampNormal = false;
    bool singleErrorFile = false;
};

/// A copy of the current settings.
LogSettings CurrentLogSettings();
/// ConsoleEnabled: false for the rest of the run once the console could not be opened.
bool LogConsoleEnabled();

// Hooks for the window layer and for tests.

/// Installs the message-box handler; an empty handler restores the default, which
/// writes the box text to standard error.
void SetLogMessageBoxHandler(LogMessageBoxHandler handler);
/// Installs the runner of the restart command; nullptr restores the real one.
void SetLogCommandRunner(CommandRunner *runner);
/// Installs what ends the process for LogActionExit; empty restores std::_Exit.
void SetLogProcessExit(std::function<void(int exitCode)> exit);
/// Uses the lock named \a name from the next file write on.
void SetLogLockName(const std::string &name);
/// Longest wait for the log-file lock (5000 ms unless changed).
void SetLogLockWaitMs(int milliseconds);
/// Writes console text to \a fd instead of standard error; resets the console state.
void SetLogConsoleDescriptor(int fd);
/// Restores the settings and every hook to their state at program start.
void ResetLogState();

/// Logs an error from the calling source \a file (the name the system uses for it)
/// and \a function with the default outputs.
#define LOG_ERROR(file, function, text)                                                            \
    LogMessage((file), __LINE__, (function), LogOutput::Default, LogLevelError, LogActionNone,     \
               (text))

/// Logs an information message with the default outputs.
#define LOG_INFO(file, function, text)                                                             \
    LogMessage((file), __LINE__, (function), LogOutput::Default, LogLevelInfo, LogActionNone,      \
               (text))
