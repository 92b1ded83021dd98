#include "CommandLine.h"

#include "journal/JournalCommand.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2"));
    if (IsJournalCommand(QCoreApplication::arguments()))
        return RunJournalCommand(QCoreApplication::arguments(), *CommandLineStreams::standard().out,
                                 *CommandLineStreams::standard().err);
    return RunCommandLine(QCoreApplication::arguments(), CommandLineStreams::standard());
}
