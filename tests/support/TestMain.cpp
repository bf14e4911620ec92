// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Test entry: GoogleTest under a Qt application object (QApplication for the
// window tests, QCoreApplication otherwise) so that event loops and timers work.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <QtGlobal>

#ifdef TARVINE_TEST_GUI
#include <QApplication>
#include <QThreadPool>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char **argv)
{
    // Discovery in tests never reaches this machine's interfaces: windows and
    // programs the tests start use the loopback network unless a test injects
    // its own (namespace tests build the system network inside their namespaces).
    qputenv("TARVINE_DISCOVERY", "loopback");
    if (qEnvironmentVariableIsEmpty("TARVINE_DISCOVERY_RANGE"))
        qputenv("TARVINE_DISCOVERY_RANGE", "127.0.0.1-127.0.0.8");
    // The change journal and logs of the programs under test go to a folder of
    // this run, never into the user's data folder.
    QTemporaryDir dataHome;
    qunsetenv("USERPROFILE");
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
#ifdef TARVINE_TEST_GUI
    // Qt hands painting work to its worker pool; one worker keeps the window
    // tests deterministic (and free of Qt-internal reports under
    // ThreadSanitizer, Qt itself not being instrumented).
    QThreadPool::globalInstance()->setMaxThreadCount(1);
#endif
    return RUN_ALL_TESTS();
}
