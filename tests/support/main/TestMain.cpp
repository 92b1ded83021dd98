// Test programs need a Qt application object: text codecs, QUuid, file helpers and the
// window all expect one. GUI test folders are built with ZELVAN_TEST_GUI.
#include <gtest/gtest.h>

#ifdef ZELVAN_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
