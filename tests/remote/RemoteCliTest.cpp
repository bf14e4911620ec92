// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// tarvine-cli remote-settings on the shipped example and on rejected files.
#include "support/CliRun.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(RemoteSettingsCli, ExampleRejectedAndMissingFiles)
{
    const QString example = QStringLiteral(TARVINE_SOURCE_DIR "/docs/KRVRemote.example.ini");
    const testsupport::CliResult shown = testsupport::runCli({QStringLiteral("remote-settings"), example});
    EXPECT_EQ(shown.code, 0) << shown.err.toStdString();
    for (const char *line : {"factor 2.500 pulses/um", "presets 4 (min 1000, max 5000, margin 200)",
                             "0 532 -> 1000", "3 1064 -> 5000", "axis 320.0 .. 2080.0 um"})
        EXPECT_TRUE(shown.out.contains(QLatin1String(line))) << line << "\n" << shown.out.toStdString();

    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("bad.ini"));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[File Header]\r\nFile version=2\r\n");
    file.close();
    const struct
    {
        QStringList args;
        int code;
        const char *error;
    } cases[] = {
        {{QStringLiteral("remote-settings"), bad}, 1, "Version du fichier ini KRV Remote non valide."},
        {{QStringLiteral("remote-settings"), dir.filePath(QStringLiteral("none.ini"))}, 6, "cannot read"},
        {{QStringLiteral("remote-settings")}, 1, "usage: remote-settings FILE"},
    };
    for (const auto &c : cases) {
        const testsupport::CliResult result = testsupport::runCli(c.args);
        EXPECT_EQ(result.code, c.code) << c.error;
        EXPECT_TRUE(result.err.contains(QString::fromUtf8(c.error))) << result.err.toStdString();
    }
}

} // namespace
