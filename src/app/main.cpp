// Program entry of the desktop tool: data folder and log, the application
// object, the sixteen windows, the message loop.
#include "app/Diagnostics.h"
#include "app/TFormMain.h"
#include "platform/ConsoleOutput.h"
#include "platform/DataFolder.h"
#include "ui/AppWindows.h"
#include "ui/widgets/MessageBoxes.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <exception>

namespace {

const QString ApplicationName = QStringLiteral("Tarvine");

// The application's standard exception box.
void showException(const QString &message) {
    MessageBoxes::show(nullptr, ApplicationName, message, MessageIcon::Critical);
}

/// The application object: an exception escaping an event handler is shown in
/// the standard exception box and the program goes on.
class TarvineApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception &error) {
            showException(QString::fromLocal8Bit(error.what()));
        } catch (...) {
            showException(QString());
        }
        return false;
    }
};

// Diagnostic switch for machines without a display: TARVINE_SCREENSHOT=<file.png>
// saves a picture of the main window (with the windows named by class in
// TARVINE_SCREENSHOT_SHOW, comma-separated, shown over it) after
// TARVINE_SCREENSHOT_DELAY_MS (500 by default) and ends the program.
void armScreenshot(const AppWindows &windows) {
    const QString path = qEnvironmentVariable("TARVINE_SCREENSHOT");
    if (path.isEmpty())
        return;
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("TARVINE_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delay < 0)
        delay = 500;
    const QStringList shown =
        qEnvironmentVariable("TARVINE_SCREENSHOT_SHOW").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QWidget *window : windows.all())
        if (shown.contains(QLatin1String(window->metaObject()->className())))
            window->show();

    QTimer::singleShot(delay, qApp, [&windows, path] {
        QWidget &main = windows.main();
        QImage shot = main.grab().toImage();
        QPainter painter(&shot);
        for (QWidget *window : windows.all()) {
            if (window == &main || !window->isVisible())
                continue;
            // A tool window as it stands over the main window, with a plain title bar.
            const QPoint at = window->pos() - main.pos();
            const int barHeight = window->windowTitle().isEmpty() ? 0 : 22;
            const QRect frame(at.x() - 1, at.y() - barHeight - 1, window->width() + 1,
                              window->height() + barHeight + 1);
            painter.fillRect(frame, QColor(0x2B, 0x57, 0x9A));
            painter.setPen(Qt::white);
            painter.drawText(frame.adjusted(8, 0, 0, -window->height()), Qt::AlignVCenter,
                             window->windowTitle());
            painter.drawPixmap(at, window->grab());
            painter.setPen(QColor(0x2B, 0x57, 0x9A));
            painter.drawRect(frame);
        }
        painter.end();
        if (!shot.save(path))
            ConsoleOutput().write(("Cannot write the screenshot " + path + '\n').toUtf8());
        QCoreApplication::exit(0);
    });
}

} // namespace

int main(int argc, char **argv) {
    // The data folder in the user profile (the program's folder when the
    // profile does not expand), then the log: errors to the log file only,
    // information nowhere, everything in one file.
    const DataFolder::Result folder = DataFolder::prepare(DataFolder::programFolder());
    SetLogTarget(LogOutput::File, folder.path, ApplicationName);
    SetLogOptions(0, 255, false, true, ApplicationName);

    TarvineApplication app(argc, argv);
    QApplication::setApplicationName(ApplicationName);
    SetLogMessageBoxHandler([](const QString &caption, const QString &text, LogBoxIcon icon) {
        MessageBoxes::showFromAnyThread(
            caption, text, icon == LogBoxIcon::Warning ? MessageIcon::Warning : MessageIcon::None);
    });
    try {
        AppWindows windows;
        windows.main().show();
        armScreenshot(windows);
        QApplication::exec();
        // No box from another thread may wait for this thread from now on.
        SetLogMessageBoxHandler({});
    } catch (const std::exception &error) {
        SetLogMessageBoxHandler({});
        showException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        SetLogMessageBoxHandler({});
        showException(QString());
    }
    return 0;
}
