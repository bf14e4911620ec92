// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// scripts/run without a display: its pictures go into the build folder, never
// over the tracked pictures of the checkout. Run on a stand-in build whose
// "tool" only saves the picture it is asked for.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(Scripts, RunWithoutADisplayWritesItsPicturesIntoTheBuildFolder)
{
    const QDir root(QStringLiteral(TARVINE_SOURCE_DIR));
    ASSERT_TRUE(QFileInfo(root.filePath(QStringLiteral("scripts/run"))).isExecutable());
    QTemporaryDir build;
    ASSERT_TRUE(build.isValid());
    ASSERT_TRUE(QDir(build.path()).mkpath(QStringLiteral("src/app")));
    const QString tool = build.filePath(QStringLiteral("src/app/tarvine"));
    {
        QFile file(tool);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nprintf 'picture' > \"$TARVINE_SCREENSHOT\"\n");
    }
    QFile::setPermissions(tool, QFile::permissions(tool) | QFile::ExeOwner);

    // The tracked pictures as they are before the run.
    const QDir tracked(root.filePath(QStringLiteral("screenshots")));
    QMap<QString, QDateTime> before;
    for (const QFileInfo &file : tracked.entryInfoList(QDir::Files))
        before[file.fileName()] = file.lastModified();

    QProcess run;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("TARVINE_SKIP_BUILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("TARVINE_BUILD_DIR"), build.path());
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(root.filePath(QStringLiteral("scripts/run")), {});
    ASSERT_TRUE(run.waitForFinished(60000));
    EXPECT_EQ(run.exitCode(), 0) << run.readAll().toStdString();

    for (const char *name : {"main-window-start.png", "connection-window.png", "main-window.png"})
        EXPECT_TRUE(QFileInfo::exists(build.filePath(QStringLiteral("screenshots/") + name)))
            << name;
    QMap<QString, QDateTime> after;
    for (const QFileInfo &file : tracked.entryInfoList(QDir::Files))
        after[file.fileName()] = file.lastModified();
    EXPECT_EQ(after, before);
}
