// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Diagnostics.h"

#include "platform/ConsoleOutput.h"
#include "platform/Cp1252.h"
#include "platform/LogFileLock.h"
#include "platform/SpawnCommandRunner.h"

#include <QFile>
#include <QLocale>
#include <QRandomGenerator>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

constexpr int DefaultLockWaitMs = 5000;
const char *const NewFileNotice = "Diagnostic messages of the program, oldest first";

// The settings are written at start-up and read by every thread that logs; a
// mutex keeps those reads clean. The lock handle is created on the first file
// write and kept for the rest of the run.
struct LogState
{
    std::mutex mutex;
    LogSettings settings;
    LogMessageBoxHandler boxHandler;
    CommandRunner *runner = nullptr;
    std::function<void(int)> exit;
    std::string lockName = LogFileLock::DefaultName;
    int lockWaitMs = DefaultLockWaitMs;
    std::shared_ptr<LogFileLock> lock;

    std::mutex consoleMutex;
    int consoleFd = STDERR_FILENO;
    bool consoleOpened = false;
    std::atomic<bool> consoleEnabled{true};
};

LogState &state()
{
    static LogState instance;
    return instance;
}

QString fromAnsi(const char *text)
{
    return text ? Cp1252::toUnicode(QByteArrayView(text)) : QString();
}

void showBox(const QString &caption, const QString &text, LogBoxIcon icon)
{
    LogMessageBoxHandler handler;
    {
        std::lock_guard lock(state().mutex);
        handler = state().boxHandler;
    }
    if (handler) {
        handler(caption, text, icon);
        return;
    }
    ConsoleOutput().write((caption + QLatin1String(": ") + text + QLatin1Char('\n')).toUtf8());
}

// The long time format without its time zone, as the time of day is shown on
// Windows ("HH:mm:ss", "h:mm:ss AP").
QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            result += c;
            continue;
        }
        if (quoted || c != QLatin1Char('t')) {
            result += c;
            continue;
        }
        while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t'))
            ++i;
        while (result.endsWith(QLatin1Char(' ')))
            result.chop(1);
        if (result.isEmpty()) {
            while (i + 1 < format.size() && format[i + 1] == QLatin1Char(' '))
                ++i;
        }
    }
    return result.trimmed();
}

// The C library's time-zone state is shared by every local-time conversion; the
// threads that log take turns at it.
QDateTime localNow()
{
    static std::mutex timeMutex;
    std::lock_guard lock(timeMutex);
    return QDateTime::currentDateTime();
}

std::shared_ptr<LogFileLock> logLock()
{
    std::lock_guard guard(state().mutex);
    if (!state().lock) {
        auto lock = std::make_shared<LogFileLock>(state().lockName);
        if (lock->create())
            state().lock = std::move(lock);
    }
    return state().lock;
}

} // namespace

void SetLogTarget(uint8_t errorOutputs, const QString &folder, const QString &applicationName)
{
    std::lock_guard lock(state().mutex);
    state().settings.errorOutputs = errorOutputs;
    state().settings.logFolder = folder;
    state().settings.applicationName = applicationName;
}

void SetLogOptions(uint8_t normalOutputs, int32_t maxLevel, bool stampNormal, bool singleErrorFile,
                   const QString &applicationName)
{
    std::lock_guard lock(state().mutex);
    state().settings.normalOutputs = normalOutputs;
    state().settings.maxLevel = maxLevel;
    state().settings.stampNormal = stampNormal;
    state().settings.singleErrorFile = singleErrorFile;
    state().settings.applicationName = applicationName;
}

LogSettings CurrentLogSettings()
{
    std::lock_guard lock(state().mutex);
    return state().settings;
}

bool LogConsoleEnabled()
{
    return state().consoleEnabled.load();
}

QString FormatLogHeader(const QDateTime &when, const char *sourceFile, int sourceLine,
                        const char *functionName)
{
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
           + locale.toString(when.time(), timeFormatWithoutZone(locale)) + QLatin1Char(':')
           + QStringLiteral("%1").arg(when.time().msec(), 3, 10, QLatin1Char('0'))
           + QLatin1Char(' ') + fromAnsi(sourceFile) + QLatin1Char(' ')
           + QString::number(sourceLine) + QLatin1Char(' ') + fromAnsi(functionName)
           + QLatin1String("\r\n");
}

int32_t LogMessage(const char *sourceFile, int sourceLine, const char *functionName,
                   uint8_t outputs, int32_t level, int action, const QString &message)
{
    const LogSettings settings = CurrentLogSettings();
    if (settings.maxLevel < level)
        return 1;
    const bool isError = level == LogLevelError;
    QString header;
    if (isError || settings.stampNormal)
        header = FormatLogHeader(localNow(), sourceFile, sourceLine, functionName);
    const uint8_t mask = outputs != LogOutput::Default ? outputs
                         : isError                     ? settings.errorOutputs
                                                       : settings.normalOutputs;
    if (mask & LogOutput::File)
        WriteLogFile(header + message + QLatin1String("\r\n\r\n"), isError);
    if (mask & LogOutput::Console) {
        WriteConsoleText(header + (isError ? QLatin1String("error:") : QLatin1String()) + message
                         + QLatin1String("\r\n"));
    }
    if (mask & LogOutput::MessageBox) {
        showBox(settings.applicationName + (isError ? QLatin1String(" error") : QLatin1String()),
                header + message, LogBoxIcon::None);
    }
    if (action == LogActionRestart)
        return RestartWindows();
    if (action == LogActionExit) {
        std::function<void(int)> exit;
        {
            std::lock_guard lock(state().mutex);
            exit = state().exit;
        }
        if (exit) {
            exit(0);
        } else {
            std::fflush(nullptr);
            std::_Exit(0);
        }
    }
    return 1;
}

void ReportEventWait(const char *sourceFile, int sourceLine, const char *functionName,
                     uint8_t outputs, int waitResult, const QString &eventName)
{
    QString message;
    switch (waitResult) {
    case WaitResult::Signalled:
        return;
    case WaitResult::Timeout:
        message = QLatin1String("Event ") + eventName + QLatin1String(" Timeout reached");
        break;
    case WaitResult::Abandoned:
        message = QLatin1String("Event ") + eventName + QLatin1String(" Abandoned");
        break;
    case WaitResult::Failed:
        message = QLatin1String("Wait on Event ") + eventName + QLatin1String(" failed");
        break;
    default:
        message = QLatin1String("Event ") + eventName + QLatin1String(" Unknown error");
        break;
    }
    LogMessage(sourceFile, sourceLine, functionName, outputs, LogLevelError, LogActionNone,
               message);
}

void ReportThreadEventWait(int waitResult, const QString &eventName, const char *)
{
    ReportEventWait("-", 0, "-", LogOutput::Default, waitResult, eventName);
}

int WriteLogFile(const QString &text, bool isError)
{
    const LogSettings settings = CurrentLogSettings();
    const std::shared_ptr<LogFileLock> lock = logLock();
    if (!lock) {
        showBox(settings.applicationName,
                QStringLiteral("Unable to Create Mutex for Log File writing"), LogBoxIcon::Warning);
        return 0;
    }
    int waitMs;
    {
        std::lock_guard guard(state().mutex);
        waitMs = state().lockWaitMs;
    }
    const int waitResult = lock->wait(waitMs);

    const QString base =
        settings.logFolder
        + (settings.singleErrorFile || isError ? QLatin1String("/Error_") : QLatin1String("/Log_"))
        + settings.applicationName;
    QString path;
    QString prefix;
    if (waitResult == WaitResult::Signalled) {
        path = base + QLatin1String(".log");
    } else {
        // Never write the shared file without the lock: this entry gets a file of
        // its own with the reason at its top.
        switch (waitResult) {
        case WaitResult::Timeout:
            prefix = QStringLiteral("Unable to write the log file (Mutex Timeout)\r\n\r\n");
            break;
        case WaitResult::Abandoned:
            prefix = QStringLiteral("Unable to write the log file (Mutex Abandoned)\r\n\r\n");
            break;
        default:
            prefix = QStringLiteral("Unable to write the log file (Mutex Unknown error)\r\n\r\n");
            break;
        }
        path = base + QLatin1Char('_')
               + QString::number(QRandomGenerator::global()->bounded(1000000, 10000000))
               + QLatin1String(".log");
    }

    QString content;
    if (!QFile::exists(path)) {
        content = (isError ? QLatin1String("Error Log File\t\t") : QLatin1String("Log File\t\t"))
                  + settings.applicationName + QLatin1String("\t\t") + QLatin1String(NewFileNotice)
                  + QLatin1String("\r\n\r\n")
                  + QLatin1String("Date Hour File Function Line Error description\r\n\r\n");
    }
    content += prefix + text;

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        lock->release();
        return 0;
    }
    const QByteArray bytes = content.toUtf8();
    const bool written = file.write(bytes) == bytes.size();
    file.close();

    const bool released = lock->release();
    if (!released) {
        showBox(settings.applicationName,
                QStringLiteral("Unable to release Mutex for Log File writing"),
                LogBoxIcon::Warning);
    }
    return waitResult == WaitResult::Signalled && released && written ? 1 : 0;
}

void WriteConsoleText(const QString &text)
{
    LogState &s = state();
    if (!s.consoleEnabled.load())
        return;
    std::unique_lock lock(s.consoleMutex);
    if (!s.consoleEnabled.load())
        return;
    const ConsoleOutput console(s.consoleFd);
    if (!s.consoleOpened) {
        const int error = console.open();
        if (error != 0) {
            s.consoleEnabled.store(false);
            lock.unlock();
            showBox(CurrentLogSettings().applicationName,
                    QStringLiteral("Unable to open output console (error 0x%1)")
                        .arg(QString::number(error, 16).toUpper(), 4, QLatin1Char('0')),
                    LogBoxIcon::Warning);
            return;
        }
        s.consoleOpened = true;
    }
    console.write(text.toUtf8());
}

int RestartWindows()
{
    CommandRunner *runner;
    {
        std::lock_guard lock(state().mutex);
        runner = state().runner;
    }
    if (!runner)
        runner = &SpawnCommandRunner::instance();
    WriteLogFile(QStringLiteral("Restart windows\r\n\r\n"), true);
    if (runner->run({QStringLiteral("systemctl"), QStringLiteral("reboot")}))
        return 1;
    WriteLogFile(QStringLiteral("Restart Windows failed\r\n\r\n"), true);
    return 0;
}

void SetLogMessageBoxHandler(LogMessageBoxHandler handler)
{
    std::lock_guard lock(state().mutex);
    state().boxHandler = std::move(handler);
}

void SetLogCommandRunner(CommandRunner *runner)
{
    std::lock_guard lock(state().mutex);
    state().runner = runner;
}

void SetLogProcessExit(std::function<void(int)> exit)
{
    std::lock_guard lock(state().mutex);
    state().exit = std::move(exit);
}

void SetLogLockName(const std::string &name)
{
    std::lock_guard lock(state().mutex);
    state().lockName = name;
    state().lock.reset();
}

void SetLogLockWaitMs(int milliseconds)
{
    std::lock_guard lock(state().mutex);
    state().lockWaitMs = milliseconds;
}

void SetLogConsoleDescriptor(int fd)
{
    std::lock_guard lock(state().consoleMutex);
    state().consoleFd = fd;
    state().consoleOpened = false;
    state().consoleEnabled.store(true);
}

void ResetLogState()
{
    {
        std::lock_guard lock(state().mutex);
        state().settings = LogSettings();
        state().boxHandler = nullptr;
        state().runner = nullptr;
        state().exit = nullptr;
        state().lockName = LogFileLock::DefaultName;
        state().lockWaitMs = DefaultLockWaitMs;
        state().lock.reset();
    }
    SetLogConsoleDescriptor(STDERR_FILENO);
}
