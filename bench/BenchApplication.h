#pragma once

// The one application object of a benchmark program (QCoreApplication, or QApplication where
// widgets are measured), made on first use and kept until the program ends.
template <class TApplication> TApplication& BenchApplication()
{
    static int argc = 1;
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static TApplication application(argc, argv);
    return application;
}
