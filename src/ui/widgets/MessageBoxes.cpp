// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "ui/widgets/MessageBoxes.h"

#include "platform/ConsoleOutput.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <mutex>

namespace {

std::mutex handlerMutex;
MessageBoxes::Handler installedHandler;
MessageBoxes::Question installedQuestion;

MessageBoxes::Handler currentHandler()
{
    std::lock_guard lock(handlerMutex);
    return installedHandler;
}

QMessageBox::Icon boxIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

void MessageBoxes::show(QWidget *parent, const QString &title, const QString &text,
                        MessageIcon icon)
{
    if (const Handler handler = currentHandler()) {
        handler(title, text, icon);
        return;
    }
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Ok, parent);
    box.exec();
}

void MessageBoxes::showFromAnyThread(const QString &title, const QString &text, MessageIcon icon)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!qobject_cast<QApplication *>(app) || QCoreApplication::closingDown()) {
        if (const Handler handler = currentHandler()) {
            handler(title, text, icon);
            return;
        }
        ConsoleOutput().write((title + QLatin1String(": ") + text + QLatin1Char('\n')).toUtf8());
        return;
    }
    if (QThread::currentThread() == app->thread()) {
        show(nullptr, title, text, icon);
        return;
    }
    QMetaObject::invokeMethod(
        app, [title, text, icon] { show(nullptr, title, text, icon); },
        Qt::BlockingQueuedConnection);
}

MessageBoxes::Handler MessageBoxes::setHandler(Handler handler)
{
    std::lock_guard lock(handlerMutex);
    Handler previous = std::move(installedHandler);
    installedHandler = std::move(handler);
    return previous;
}

bool MessageBoxes::ask(QWidget *parent, const QString &title, const QString &text, MessageIcon icon)
{
    Question question;
    {
        std::lock_guard lock(handlerMutex);
        question = installedQuestion;
    }
    if (question)
        return question(title, text);
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

MessageBoxes::Question MessageBoxes::setQuestionHandler(Question handler)
{
    std::lock_guard lock(handlerMutex);
    std::swap(installedQuestion, handler);
    return handler;
}
