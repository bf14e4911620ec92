// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "cli/CliContext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

void CliEvents::addAnswerTime(float ms)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_answerTimes.push_back(ms);
}

std::vector<float> CliEvents::answerTimes() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_answerTimes;
}

bool cliWaitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done())
            QThread::msleep(1);
    }
    return true;
}

bool CliContext::waitFor(const std::function<bool()> &done, int timeoutMs) const
{
    return cliWaitFor(done, timeoutMs);
}

int CliContext::fail(int code, const QString &message) const
{
    err << cliErrorLine(code, message) << Qt::endl;
    return code;
}

QString cliErrorLine(int code, const QString &message)
{
    // One line: a message of several lines (a window's box text) is joined.
    QString line = QStringLiteral("tarvine-cli: ") + message;
    line.replace(QLatin1String("\r\n"), QLatin1String(" "));
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (code == CliExit::Usage)
        line += QStringLiteral("; see tarvine-cli --help");
    return line;
}
