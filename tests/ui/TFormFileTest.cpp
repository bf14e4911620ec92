// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The parameter-file window against the virtual controller: save, compare,
// send the ticked rows, close and view the file.
#include "MessageBoxRecorder.h"
#include "UiTestSupport.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/files/TFormFile.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

using uitest::child;
using uitest::waitFor;

namespace {

void shot(QWidget &w, const char *name)
{
    const char *dir = std::getenv("TARVINE_SCREENSHOTS");
    if (dir)
        w.grab().save(QDir(QString::fromLocal8Bit(dir)).filePath(QLatin1String(name)));
}

} // namespace

TEST(FileWindow, SaveCompareSendAndView)
{
    MessageBoxRecorder boxes;
    QTemporaryDir dir;
    const QString path = dir.filePath("tuned");
    const TFormFile::Chooser previous =
        TFormFile::setChooser([&](QWidget *, bool, const QString &filter) {
            EXPECT_EQ(filter, "Qmc files (*.qmc);;All files (*.*)");
            return path + (QFile::exists(path + ".qmc") ? ".qmc" : "");
        });
    SimServerConfig config;
    config.bindAddress = "127.0.0.62";
    auto device = std::make_shared<SimController>(*parseSimModel("NETDC-A"), SimIdentity{});
    SimServer server(config, device);
    ASSERT_TRUE(server.start());
    {
        AppWindows windows;
        TFormMain &main = windows.main();
        TFormFile &file = windows.file();
        main.show();
        QLMCConnection &connection = windows.paramIP().connection();
        connection.setPorts(server.tcpPort(), server.udpPort());
        windows.paramIP().show();
        const QStringList fields{"127", "0", "0", "62"};
        for (int i = 0; i < 4; ++i)
            child<QLineEdit>(windows.paramIP(),
                             QStringLiteral("EAdd%1").arg(i).toLatin1().constData())
                ->setText(fields[i]);
        child<QPushButton>(windows.paramIP(), "BOpen")->click();
        ASSERT_TRUE(waitFor([&] { return main.statusText(4) == "Ver 7.18"; }));

        child<QAction>(main, "MenuFileSave")->trigger();
        ASSERT_TRUE(file.isVisible());
        auto *status = child<QLabel>(file, "LSaveStatusVal");
        EXPECT_EQ(status->text(), "Ready");
        child<QPushButton>(file, "BSave")->click();
        EXPECT_FALSE(child<QPushButton>(file, "BSave")->isEnabled());
        ASSERT_TRUE(waitFor([&] { return status->text() == "Save - Finished"; }, 15000))
            << status->text().toStdString();
        EXPECT_TRUE(child<QPushButton>(file, "BSave")->isEnabled());
        EXPECT_TRUE(QFile::exists(path + ".qmc"));
        shot(file, "file-save-finished.png");

        // Kp changes on the device; the comparison shows that one row, ticked.
        const uint8_t kp[4] = {0x00, 0x02, 0x80, 0x00};
        ASSERT_TRUE(device->writeRegister(Reg::Kp, kp));
        child<QAction>(main, "MenuFileOpen")->trigger();
        EXPECT_EQ(child<QPushButton>(file, "BOpen")->text(), "Open and Send parameters file...");
        child<QPushButton>(file, "BCompare")->click();
        auto *diff = child<QTreeWidget>(file, "LVDiff");
        ASSERT_TRUE(waitFor([&] { return diff->topLevelItemCount() > 0; }, 10000));
        std::vector<QString> ticked;
        for (int i = 0; i < diff->topLevelItemCount(); ++i)
            if (diff->topLevelItem(i)->checkState(0) == Qt::Checked)
                ticked.push_back(diff->topLevelItem(i)->text(0));
        EXPECT_EQ(ticked, std::vector<QString>{"0x33"});
        shot(file, "file-compare.png");

        child<QPushButton>(file, "BSendSelected")->click();
        auto *openStatus = child<QLabel>(file, "LOpenStatusVal");
        ASSERT_TRUE(waitFor([&] { return openStatus->text().startsWith("Sent"); }, 10000));
        EXPECT_EQ(openStatus->text(), "Sent - 0 not taken");
        EXPECT_EQ(device->imageBytes(Reg::Kp), (std::vector<uint8_t>{0, 1, 0, 0}));

        // Closed: the file is only shown.
        connection.closeFromMenu();
        ASSERT_TRUE(waitFor([&] { return !connection.isTcpActive(); }));
        child<QAction>(main, "MenuFileOpen")->trigger();
        EXPECT_EQ(child<QPushButton>(file, "BOpen")->text(), "Open and display parameters file...");
        child<QPushButton>(file, "BOpen")->click();
        EXPECT_EQ(openStatus->text(), "Open - Finished");
        const QString memo = child<QPlainTextEdit>(file, "MemoRegList")->toPlainText();
        EXPECT_TRUE(memo.startsWith("IP Address\nName\nTCP Watchdog\n")) << memo.toStdString();
        ASSERT_TRUE(waitFor([&] {
            return child<QLineEdit>(main, "EKp")->text() == uitest::local("1.00000");
        })) << child<QLineEdit>(main, "EKp")->text().toStdString();
        shot(file, "file-view-memo.png");

        // A bad file: "Open - Failed", nothing changed.
        QFile bad(path + ".qmc");
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("[Register 0]\r\nReg=51\r\nSize=4\r\nValue=0x0002800Z\r\n");
        bad.close();
        child<QPushButton>(file, "BOpen")->click();
        EXPECT_EQ(openStatus->text(), "Open - Failed");
        EXPECT_EQ(child<QPlainTextEdit>(file, "MemoRegList")->toPlainText(), memo);
    }
    TFormFile::setChooser(previous);
    server.stop();
}

TEST(FileWindow, SaveNeverAsksBeforeReplacingAFile)
{
    // The window's own file dialog: a name typed with or without ".qmc"
    // replaces params.qmc alike, without a question.
    MessageBoxRecorder boxes;
    QTemporaryDir dir;
    QFile existing(dir.filePath("params.qmc"));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    AppWindows windows;
    TFormFile &file = windows.file();
    windows.main().show();
    for (const char *typed : {"params", "params.qmc"}) {
        SCOPED_TRACE(typed);
        file.showSaveGroup(true);
        int questions = 0;
        bool chosen = false;
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                ++questions;
                if (QAbstractButton *yes = box->button(QMessageBox::Yes))
                    yes->click();
                else
                    box->accept();
            } else if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                // Typed as a person would, and accepted again on every tick
                // while the dialog stays: an accept that comes before its
                // folder is read is ignored.
                if (!chosen) {
                    chosen = true;
                    dialog->setDirectory(dir.path());
                }
                if (auto *name = dialog->findChild<QLineEdit *>("fileNameEdit"))
                    name->setText(QLatin1String(typed));
                // As the Save button does, once this tick has returned.
                QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
            }
        });
        driver.start(10);
        child<QPushButton>(file, "BSave")->click();
        driver.stop();
        EXPECT_TRUE(chosen);
        EXPECT_EQ(questions, 0);
    }
}
