// Test programs need a Qt application object: text codecs, QUuid, file helpers and the
// window all expect one. GUI test folders are built with ZELVAN_TEST_GUI and get the client's
// own application object, so an error that leaves a handler is shown exactly as in the client.
#include <gtest/gtest.h>

#ifdef ZELVAN_TEST_GUI
#include "app/Application.h"
using TestApplication = TApplication;
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
