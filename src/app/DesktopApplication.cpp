// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/DesktopApplication.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "base/Diagnostics.h"
#include "platform/ConsoleOutput.h"
#include "ui/main/GraphsPanel.h"
#include "ui/main/RecordingControl.h"
#include "ui/remote/TFormKRVRemote.h"
#include "ui/widgets/MessageBoxes.h"
#include "ui/widgets/VirtualController.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <optional>

namespace {

// The application's standard exception box.
void showException(const QString &message)
{
    MessageBoxes::show(nullptr, QApplication::applicationName(), message, MessageIcon::Critical);
}

/// The application object: an exception escaping an event handler is shown in
/// the standard exception box and the program goes on.
class TarvineApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
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

// With TARVINE_SCREENSHOT_VIRTUAL=<model preset>, the screenshot shows the tool
// connected to a virtual controller of that model: started through the
// "Virtual controller..." item's own path, then a move is sent as a user would
// (mode "Speed traj.", a speed consign and "GO"). With
// TARVINE_SCREENSHOT_RECORD=<file.csv> the live values are recorded into that
// file from then on, as File > "Record live values..." does.
void startVirtualController(AppWindows &windows, const QString &preset, bool remoteMove)
{
    auto *virtualController = windows.main().findChild<VirtualController *>();
    const std::optional<SimModel> model = parseSimModel(preset.toStdString());
    if (!virtualController || !model) {
        ConsoleOutput().write(("Unknown virtual controller model " + preset + '\n').toUtf8());
        return;
    }
    VirtualControllerChoice choice;
    choice.model = *model;
    if (!virtualController->startAndConnect(choice))
        return;
    QTimer::singleShot(800, qApp, [&windows, remoteMove] {
        TFormMain &main = windows.main();
        QTabWidget *pages = main.graphPages();
        if (remoteMove) {
            // With the wavelength remote shown: "DRIVE", the third preset and "GO",
            // watched on the "Position um" page.
            TFormKRVRemote &remote = windows.krvRemote();
            remote.BKRVRemoteDriveClick();
            remote.selectWavelength(2);
            remote.BKRVRemoteWaveLengthGoClick();
            pages->setCurrentIndex(GraphsPanel::MicrometrePage);
            return;
        }
        auto *speedMode = main.findChild<QRadioButton *>(QStringLiteral("RBSpePID"));
        auto *consign = main.findChild<QLineEdit *>(QStringLiteral("ECons"));
        auto *go = main.findChild<QPushButton *>(QStringLiteral("BSendCons"));
        if (!speedMode || !consign || !go)
            return;
        speedMode->click();
        consign->setText(QStringLiteral("1500"));
        go->click();
        const QString record = qEnvironmentVariable("TARVINE_SCREENSHOT_RECORD");
        if (auto *recording = main.findChild<RecordingControl *>(); recording && !record.isEmpty())
            recording->start(record);
        // The speed page shows the move: the trajectory against the speed.
        pages->setCurrentIndex(GraphsPanel::SpeedPage);
    });
}

// Diagnostic switch for machines without a display: TARVINE_SCREENSHOT=<file.png>
// saves a picture of the main window (with the windows named by class in
// TARVINE_SCREENSHOT_SHOW, comma-separated, shown over it) after
// TARVINE_SCREENSHOT_DELAY_MS (500 by default) and ends the program.
void armScreenshot(AppWindows &windows)
{
    const QString path = qEnvironmentVariable("TARVINE_SCREENSHOT");
    if (path.isEmpty())
        return;
    bool ok = false;
    int delay = qEnvironmentVariableIntValue("TARVINE_SCREENSHOT_DELAY_MS", &ok);
    if (!ok || delay < 0)
        delay = 500;
    const QStringList shown =
        qEnvironmentVariable("TARVINE_SCREENSHOT_SHOW").split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QString virtualModel = qEnvironmentVariable("TARVINE_SCREENSHOT_VIRTUAL");
    if (!virtualModel.isEmpty())
        startVirtualController(windows, virtualModel,
                               shown.contains(QLatin1String("TFormKRVRemote")));
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

int runDesktopApplication(int &argc, char **argv, const QString &applicationName)
{
    TarvineApplication app(argc, argv);
    QApplication::setApplicationName(applicationName);
    SetLogMessageBoxHandler([](const QString &caption, const QString &text, LogBoxIcon icon) {
        MessageBoxes::showFromAnyThread(
            caption, text, icon == LogBoxIcon::Warning ? MessageIcon::Warning : MessageIcon::None);
    });
    // A picture run shows windows without a person at the bench: a scan
    // window it opens searches the loopback network unless told otherwise.
    if (qEnvironmentVariableIsSet("TARVINE_SCREENSHOT") && !qEnvironmentVariableIsSet("TARVINE_DISCOVERY"))
        qputenv("TARVINE_DISCOVERY", "loopback");
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

const char *desktopHelpText()
{
    return "Usage: tarvine\n"
           "Set-up, tuning and test tool for Ethernet motor controllers.\n"
           "Opens the main window; connect to a controller with\n"
           "Communication > Parameters... (its address, then Open), or try the\n"
           "built-in virtual controller with Communication > Virtual controller....\n"
           "\n"
           "  --help     show this text and exit\n"
           "  --version  show the version and exit\n"
           "\n"
           "Diagnostic logs are written to $XDG_DATA_HOME/tarvine\n"
           "(by default ~/.local/share/tarvine).\n";
}
