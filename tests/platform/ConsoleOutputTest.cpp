// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/ConsoleOutput.h"

#include <QByteArray>
#include <QString>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>

TEST(ConsoleOutput, WritesAllBytesToItsDescriptor)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const ConsoleOutput console(fds[1]);
    EXPECT_EQ(console.open(), 0);
    const QByteArray text = QString::fromUtf8("Préréglage\r\n").toUtf8();
    EXPECT_TRUE(console.write(text));
    close(fds[1]);
    char buffer[64] = {};
    EXPECT_EQ(read(fds[0], buffer, sizeof buffer), text.size());
    EXPECT_EQ(QByteArray(buffer, text.size()), text);
    close(fds[0]);
}

TEST(ConsoleOutput, UnusableDescriptorsAreReported)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_EQ(ConsoleOutput(fds[0]).open(), EBADF) << "read end is not writable";
    close(fds[0]);
    // The reader is gone: the write fails and the process lives on.
    EXPECT_FALSE(ConsoleOutput(fds[1]).write("lost"));
    close(fds[1]);
    EXPECT_EQ(ConsoleOutput(fds[1]).open(), EBADF);
    EXPECT_FALSE(ConsoleOutput(fds[1]).write("x"));
}
