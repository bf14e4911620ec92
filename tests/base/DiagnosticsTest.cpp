// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "base/Diagnostics.h"
#include "platform/ChildProcess.h"
#include "platform/LogFileLock.h"
#include "platform/RecordingCommandRunner.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <mutex>
#include <thread>

namespace {

struct Box
{
    QString caption;
    QString text;
    LogBoxIcon icon;
};

const QString FileHeaderColumns =
    QStringLiteral("Date Hour File Function Line Error description\r\n\r\n");

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Each test logs into its own folder under its own lock, with the start-up
// settings of the program, and records message boxes.
class Diagnostics : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetLogState();
        lockName = "test_diag_" + std::to_string(getpid());
        LogFileLock::removeObject(lockName);
        SetLogLockName(lockName);
        SetLogMessageBoxHandler(
            [this](const QString &caption, const QString &text, LogBoxIcon icon) {
                std::lock_guard lock(boxMutex);
                boxes.push_back({caption, text, icon});
            });
        folder = dir.path();
    }
    void TearDown() override
    {
        ResetLogState();
        LogFileLock::removeObject(lockName);
    }
    void startUpSettings()
    {
        SetLogTarget(LogOutput::File, folder, "Tarvine");
        SetLogOptions(0, 255, false, true, "Tarvine");
    }
    std::vector<Box> recordedBoxes()
    {
        std::lock_guard lock(boxMutex);
        return boxes;
    }
    QStringList logFiles() const { return QDir(folder).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir dir;
    QString folder;
    std::string lockName;
    std::mutex boxMutex;
    std::vector<Box> boxes;
};

// A pipe standing in for the console.
struct ConsolePipe
{
    ConsolePipe()
    {
        if (pipe(fds) == 0)
            fcntl(fds[0], F_SETFL, O_NONBLOCK);
        SetLogConsoleDescriptor(fds[1]);
    }
    ~ConsolePipe()
    {
        close(fds[0]);
        close(fds[1]);
    }
    QByteArray read() const
    {
        QByteArray all;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
            all.append(buffer, n);
        return all;
    }
    int fds[2] = {-1, -1};
};

QString expectedFileStart(const char *label)
{
    return QString::fromLatin1(label) + "Tarvine\t\t";
}

} // namespace

TEST_F(Diagnostics, DefaultsBeforeStartUpAndTheStartUpSettings)
{
    const LogSettings defaults = CurrentLogSettings();
    EXPECT_EQ(defaults.applicationName, "My QLM Application");
    EXPECT_EQ(defaults.logFolder, ".");
    EXPECT_EQ(defaults.normalOutputs, LogOutput::Console);
    EXPECT_EQ(defaults.errorOutputs, LogOutput::Console);
    EXPECT_EQ(defaults.maxLevel, 255);
    EXPECT_FALSE(defaults.stampNormal);
    EXPECT_FALSE(defaults.singleErrorFile);
    EXPECT_TRUE(LogConsoleEnabled());

    // Before start-up an information message goes to the console, unstamped.
    ConsolePipe console;
    EXPECT_EQ(LogMessage("Main", 1, "main", 255, 0, 0, "hello"), 1);
    EXPECT_EQ(console.read(), QByteArray("hello\r\n"));
}

TEST_F(Diagnostics, HeaderCarriesDateTimeMillisecondsAndSource)
{
    const QDate date(2024, 11, 1);
    const QString dateText = QLocale::system().toString(date, QLocale::ShortFormat);
    for (const auto &[ms, text] : {std::pair{7, ":007 "}, {45, ":045 "}, {123, ":123 "}}) {
        const QString header = FormatLogHeader(QDateTime(date, QTime(13, 5, 9, ms)), "TMotor", 42,
                                               "QLMCIPMotor::DataReceived");
        EXPECT_TRUE(header.startsWith(dateText + ' ')) << header.toStdString();
        EXPECT_TRUE(header.endsWith(QString(text) + "TMotor 42 QLMCIPMotor::DataReceived\r\n"))
            << header.toStdString();
        EXPECT_TRUE(header.contains("05:09")) << header.toStdString();
    }
    // Source names are 8-bit text of the Windows code page.
    EXPECT_TRUE(FormatLogHeader(QDateTime::currentDateTime(), "Pr\xE9", 1, "f")
                    .contains(QString::fromUtf8(" Pré 1 f\r\n")));
}

TEST_F(Diagnostics, ErrorsLandInOneFileWithItsHeaderOnce)
{
    startUpSettings();
    const int line = __LINE__ + 1;
    EXPECT_EQ(LOG_ERROR("TMotor", "QLMCIPMotor::DataReceived", "first"), 1);
    EXPECT_EQ(LogMessage("TFormFile", 7, "TFormFile::openFile", 255, -1, 0,
                         QString::fromUtf8("second é")),
              1);
    EXPECT_EQ(logFiles(), QStringList{"Error_Tarvine.log"});
    const QString text = QString::fromUtf8(readFile(folder + "/Error_Tarvine.log"));
    EXPECT_TRUE(text.startsWith(expectedFileStart("Error Log File\t\t")));
    EXPECT_EQ(text.count("Error Log File"), 1);
    const qsizetype body = text.indexOf(FileHeaderColumns);
    ASSERT_GT(body, 0);
    const QStringList entries = text.mid(body + FileHeaderColumns.size()).split("\r\n\r\n");
    ASSERT_EQ(entries.size(), 3);
    EXPECT_TRUE(entries[0].endsWith(" TMotor " + QString::number(line)
                                    + " QLMCIPMotor::DataReceived\r\nfirst"))
        << entries[0].toStdString();
    EXPECT_TRUE(
        entries[1].endsWith(QString::fromUtf8(" TFormFile 7 TFormFile::openFile\r\nsecond é")));
    EXPECT_EQ(entries[2], "");
    EXPECT_TRUE(recordedBoxes().empty());
}

TEST_F(Diagnostics, LevelsAndOutputMasksAfterStartUp)
{
    startUpSettings();
    ConsolePipe console;
    EXPECT_EQ(LogMessage("Main", 1, "f", 255, 0, 0, "nowhere"), 1);
    EXPECT_EQ(LogMessage("Main", 1, "f", 7, 256, 0, "above MaxLevel"), 1);
    EXPECT_TRUE(logFiles().isEmpty());
    EXPECT_TRUE(console.read().isEmpty());
    EXPECT_TRUE(recordedBoxes().empty());

    LogMessage("Main", 1, "f", LogOutput::MessageBox, 0, 0, "notice");
    LogMessage("TMotor", 5, "g", LogOutput::MessageBox | LogOutput::Console, -1, 0, "broken");
    const std::vector<Box> boxes = recordedBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Tarvine");
    EXPECT_EQ(boxes[0].text, "notice");
    EXPECT_EQ(boxes[0].icon, LogBoxIcon::None);
    EXPECT_EQ(boxes[1].caption, "Tarvine error");
    EXPECT_TRUE(boxes[1].text.endsWith(" TMotor 5 g\r\nbroken"));
    const QByteArray consoleText = console.read();
    EXPECT_TRUE(consoleText.endsWith(" TMotor 5 g\r\nerror:broken\r\n")) << consoleText.data();

    // Information messages go to "Log_" unless every message goes to the error file.
    SetLogOptions(0, 255, true, false, "Tarvine");
    LogMessage("Main", 3, "h", LogOutput::File, 0, 0, "info");
    EXPECT_EQ(logFiles(), QStringList{"Log_Tarvine.log"});
    const QString text = QString::fromUtf8(readFile(folder + "/Log_Tarvine.log"));
    EXPECT_TRUE(text.startsWith(expectedFileStart("Log File\t\t")));
    EXPECT_TRUE(text.endsWith(" Main 3 h\r\ninfo\r\n\r\n")) << "stamped when StampNormal is on";
}

TEST_F(Diagnostics, ConsoleThatCannotOpenWarnsOnceAndStaysOff)
{
    startUpSettings();
    SetLogConsoleDescriptor(1000);
    LogMessage("Main", 1, "f", LogOutput::Console, -1, 0, "one");
    LogMessage("Main", 2, "f", LogOutput::Console, -1, 0, "two");
    EXPECT_FALSE(LogConsoleEnabled());
    const std::vector<Box> boxes = recordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Tarvine");
    EXPECT_EQ(boxes[0].text, "Unable to open output console (error 0x0009)");
    EXPECT_EQ(boxes[0].icon, LogBoxIcon::Warning);
}

TEST_F(Diagnostics, EventWaitResultsBecomeErrorMessages)
{
    SetLogTarget(LogOutput::MessageBox, folder, "Tarvine");
    ReportThreadEventWait(WaitResult::Signalled, "EventAnswer", "QLMCThreadSendPacket::Execute");
    EXPECT_TRUE(recordedBoxes().empty());

    const std::pair<int, const char *> cases[] = {
        {WaitResult::Timeout, "Event EventAnswer Timeout reached"},
        {WaitResult::Abandoned, "Event EventAnswer Abandoned"},
        {WaitResult::Failed, "Wait on Event EventAnswer failed"},
        {42, "Event EventAnswer Unknown error"},
    };
    for (const auto &[result, message] : cases)
        ReportThreadEventWait(result, "EventAnswer", "QLMCThreadSendPacket::Execute");
    std::vector<Box> boxes = recordedBoxes();
    ASSERT_EQ(boxes.size(), 4u);
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].caption, "Tarvine error");
        EXPECT_TRUE(boxes[i].text.endsWith(QString(" - 0 -\r\n") + cases[i].second))
            << boxes[i].text.toStdString();
    }

    ReportEventWait("TThreadInputTimer", 12, "TThreadInputTimer::Execute", LogOutput::File,
                    WaitResult::Timeout, "EventTimer");
    EXPECT_EQ(recordedBoxes().size(), 4u);
    EXPECT_TRUE(readFile(folder + "/Error_Tarvine.log")
                    .endsWith(" TThreadInputTimer 12 TThreadInputTimer::Execute\r\n"
                              "Event EventTimer Timeout reached\r\n\r\n"));
}

TEST_F(Diagnostics, ActionsRestartThroughTheRunnerOrEndTheProcess)
{
    startUpSettings();
    RecordingCommandRunner runner(true);
    SetLogCommandRunner(&runner);
    EXPECT_EQ(LogMessage("Main", 1, "f", 255, -1, LogActionRestart, "going down"), 1);
    ASSERT_EQ(runner.commands().size(), 1);
    EXPECT_EQ(runner.commands()[0], QStringList({"systemctl", "reboot"}));
    runner.setResult(false);
    EXPECT_EQ(LogMessage("Main", 1, "f", 0, -1, LogActionRestart, "again"), 0);
    const QByteArray log = readFile(folder + "/Error_Tarvine.log");
    EXPECT_EQ(log.count("Restart windows\r\n\r\n"), 2);
    EXPECT_TRUE(log.endsWith("Restart windows\r\n\r\nRestart Windows failed\r\n\r\n"));

    int exitCode = -1;
    SetLogProcessExit([&](int code) { exitCode = code; });
    LogMessage("Main", 1, "f", 0, -1, LogActionExit, "bye");
    EXPECT_EQ(exitCode, 0);
}

// args: lock name, ready file, hold ms, "release" or "die"
TARVINE_CHILD(log_lock_holder)
{
    LogFileLock lock(args.at(0));
    if (!lock.create() || lock.wait(5000) != WaitResult::Signalled)
        return 2;
    child::touch(args.at(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(args.at(2))));
    if (args.at(3) == "die")
        _exit(0);
    return lock.release() ? 0 : 3;
}

TEST_F(Diagnostics, LockHeldTooLongSendsTheEntryToANumberedFile)
{
    startUpSettings();
    SetLogLockWaitMs(150);
    const QString ready = folder + "/ready";
    const pid_t holder =
        child::spawn("log_lock_holder", {lockName, ready.toStdString(), "1500", "release"});
    ASSERT_GT(holder, 0);
    ASSERT_TRUE(child::waitForFile(ready));
    QFile::remove(ready);

    EXPECT_EQ(WriteLogFile("late entry\r\n\r\n", true), 0);
    const QStringList files = logFiles();
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(
        QRegularExpression("^Error_Tarvine_[1-9][0-9]{6}\\.log$").match(files[0]).hasMatch())
        << files[0].toStdString();
    const QString text = QString::fromUtf8(readFile(folder + '/' + files[0]));
    EXPECT_TRUE(text.startsWith(expectedFileStart("Error Log File\t\t")));
    EXPECT_TRUE(
        text.endsWith(FileHeaderColumns
                      + "Unable to write the log file (Mutex Timeout)\r\n\r\nlate entry\r\n\r\n"));
    const std::vector<Box> boxes = recordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unable to release Mutex for Log File writing");
    EXPECT_EQ(boxes[0].caption, "Tarvine");
    EXPECT_EQ(boxes[0].icon, LogBoxIcon::Warning);

    EXPECT_EQ(child::wait(holder), 0);
    SetLogLockWaitMs(5000);
    EXPECT_EQ(WriteLogFile("on time\r\n\r\n", true), 1);
    EXPECT_TRUE(QFile::exists(folder + "/Error_Tarvine.log"));
}

TEST_F(Diagnostics, AbandonedLockIsReportedOnceAndThenWorks)
{
    startUpSettings();
    const QString ready = folder + "/ready";
    const pid_t holder =
        child::spawn("log_lock_holder", {lockName, ready.toStdString(), "0", "die"});
    ASSERT_GT(holder, 0);
    EXPECT_EQ(child::wait(holder), 0);
    QFile::remove(ready);

    EXPECT_EQ(WriteLogFile("after the crash\r\n\r\n", true), 0);
    ASSERT_EQ(logFiles().size(), 1);
    EXPECT_TRUE(readFile(folder + '/' + logFiles()[0])
                    .endsWith("Unable to write the log file (Mutex Abandoned)\r\n\r\n"
                              "after the crash\r\n\r\n"));
    EXPECT_TRUE(recordedBoxes().empty()) << "the abandoned lock is held and released";
    EXPECT_EQ(WriteLogFile("normal\r\n\r\n", true), 1);
    EXPECT_TRUE(QFile::exists(folder + "/Error_Tarvine.log"));
}

TEST_F(Diagnostics, LockOrFileFailuresLoseOnlyTheirEntry)
{
    startUpSettings();
    SetLogLockName(std::string(300, 'x'));
    EXPECT_EQ(WriteLogFile("no lock", true), 0);
    EXPECT_EQ(WriteLogFile("still no lock", true), 0);
    std::vector<Box> boxes = recordedBoxes();
    ASSERT_EQ(boxes.size(), 2u) << "each write retries the creation";
    EXPECT_EQ(boxes[0].text, "Unable to Create Mutex for Log File writing");
    EXPECT_EQ(boxes[0].caption, "Tarvine");
    EXPECT_TRUE(logFiles().isEmpty());

    SetLogLockName(lockName);
    SetLogTarget(LogOutput::File, folder + "/missing", "Tarvine");
    EXPECT_EQ(WriteLogFile("dropped", true), 0);
    EXPECT_EQ(recordedBoxes().size(), 2u) << "an unopenable file is dropped silently";
    // The lock was released: another thread gets it at once.
    SetLogTarget(LogOutput::File, folder, "Tarvine");
    int result = -1;
    std::thread([&] { result = WriteLogFile("kept\r\n\r\n", true); }).join();
    EXPECT_EQ(result, 1);
}

namespace {
QString payload(int writer, int entry)
{
    return QString(60 + entry % 300, QChar('a' + writer));
}

// Checks that the log holds every entry of every writer whole and in order.
void expectWholeEntries(const QString &text, int writers, int entriesEach)
{
    ASSERT_TRUE(text.startsWith(expectedFileStart("Error Log File\t\t")));
    ASSERT_EQ(text.count("Error Log File"), 1);
    const qsizetype body = text.indexOf(FileHeaderColumns);
    ASSERT_GT(body, 0);
    QStringList entries = text.mid(body + FileHeaderColumns.size()).split("\r\n\r\n");
    ASSERT_EQ(entries.takeLast(), "");
    ASSERT_EQ(entries.size(), writers * entriesEach);
    const QRegularExpression shape("^\\S.*:\\d{3} Writer (\\d+) Writer::Run\\r\\n"
                                   "writer (\\d+) entry (\\d+) ([a-z]+)$");
    std::vector<int> next(size_t(writers), 0);
    for (const QString &entry : std::as_const(entries)) {
        const auto match = shape.match(entry);
        ASSERT_TRUE(match.hasMatch()) << entry.left(200).toStdString();
        const int writer = match.captured(2).toInt();
        const int index = match.captured(3).toInt();
        ASSERT_LT(writer, writers);
        EXPECT_EQ(match.captured(1).toInt(), index);
        EXPECT_EQ(index, next[size_t(writer)]++);
        EXPECT_EQ(match.captured(4), payload(writer, index));
    }
}

void writeEntries(int writer, int count)
{
    for (int i = 0; i < count; ++i) {
        LogMessage("Writer", i, "Writer::Run", 255, -1, 0,
                   QString("writer %1 entry %2 ").arg(writer).arg(i) + payload(writer, i));
    }
}
} // namespace

// args: folder, lock name, writer number, entries
TARVINE_CHILD(log_writer)
{
    const QString folder = QString::fromStdString(args.at(0));
    SetLogTarget(LogOutput::File, folder, "Tarvine");
    SetLogOptions(0, 255, false, true, "Tarvine");
    SetLogLockName(args.at(1));
    writeEntries(std::stoi(args.at(2)), std::stoi(args.at(3)));
    return 0;
}

TEST_F(Diagnostics, TwoProcessesLoggingAtOnceNeverInterleave)
{
    constexpr int Entries = 300;
    const pid_t a =
        child::spawn("log_writer", {folder.toStdString(), lockName, "0", std::to_string(Entries)});
    const pid_t b =
        child::spawn("log_writer", {folder.toStdString(), lockName, "1", std::to_string(Entries)});
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(child::wait(a), 0);
    EXPECT_EQ(child::wait(b), 0);
    EXPECT_EQ(logFiles(), QStringList{"Error_Tarvine.log"});
    expectWholeEntries(QString::fromUtf8(readFile(folder + "/Error_Tarvine.log")), 2, Entries);
}

TEST_F(Diagnostics, ThreadsLoggingAtOnceNeverInterleave)
{
    startUpSettings();
    constexpr int Threads = 4;
    constexpr int Entries = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back(writeEntries, t, Entries);
    for (std::thread &thread : threads)
        thread.join();
    expectWholeEntries(QString::fromUtf8(readFile(folder + "/Error_Tarvine.log")), Threads,
                       Entries);
}
