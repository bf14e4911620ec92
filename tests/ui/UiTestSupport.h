#pragma once

#include "app/NumberText.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

namespace uitest {

/// Runs the event loop until \a done or \a timeoutMs.
inline bool waitFor(const std::function<bool()> &done, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

/// The child of \a root named \a name; fails the test when there is none.
template<typename T>
T *child(const QObject &root, const char *name)
{
    T *found = root.findChild<T *>(QLatin1String(name));
    EXPECT_NE(found, nullptr) << "no " << name;
    return found;
}

/// \a text with "." replaced by the locale's decimal separator.
inline QString local(QString text)
{
    return text.replace(QLatin1Char('.'), localeDecimalSeparator());
}

} // namespace uitest
