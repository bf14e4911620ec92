// Test entry: GoogleTest under a Qt application object (QApplication for the
// window tests, QCoreApplication otherwise) so that event loops and timers work.
#include <gtest/gtest.h>

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
