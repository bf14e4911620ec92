// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/ChildProcess.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

// Run only in a child process started by child::spawn().
TEST(ChildProcess, DISABLED_Body)
{
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--child"));
    ASSERT_GE(at, 0);
    ASSERT_LT(at + 1, arguments.size());
    const auto body = child::registry().find(arguments[at + 1].toStdString());
    ASSERT_NE(body, child::registry().end());
    std::vector<std::string> args;
    for (qsizetype i = at + 2; i < arguments.size(); ++i)
        args.push_back(arguments[i].toStdString());
    const int code = body->second(args);
    std::fflush(nullptr);
    std::_Exit(code);
}
