// Shared main for every test program: a Qt application object exists for the whole run, so event loops,
// QSettings and QImage plug-ins work the same way as in the real programs.
#include <gtest/gtest.h>

#include <cstdlib>

#ifdef QT_WIDGETS_LIB
#include <QApplication>
using TestApp = QApplication;
#else
#include <QCoreApplication>
using TestApp = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Tests never need a real display, test discovery at build time included.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TestApp app(argc, argv);
    return RUN_ALL_TESTS();
}
