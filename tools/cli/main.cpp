#include "CommandLine.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2"));
    return RunCommandLine(QCoreApplication::arguments(), CommandLineStreams::standard());
}
