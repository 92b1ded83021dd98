#include "app/Application.h"
#include "app/StartupOptions.h"
#include "app/fZelvan.h"
#include "client/Session.h"

#include <QCommandLineParser>

namespace {

// --help and --version answer and end the program; every other argument is the window's to read
// (the debug switch keeps its old spellings -debug and /debug, in any case), so an argument the
// parser does not know is no error here.
void AnswerCommandLine()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("СМЭВ клиент: подписанные запросы к ГИС ГМП и ГИС ЖКХ."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("debug"),
        QStringLiteral("Сохранять запросы и ответы в файлы в папке данных (также -debug и /debug)")));
    parser.addOption(QCommandLineOption(QStringLiteral("data"),
                                        QStringLiteral("Папка данных: настройки, состояние окна, отладочные "
                                                       "файлы и хранилище ключей keys"),
                                        QStringLiteral("DIR")));
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp();
}

} // namespace

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELVAN_VERSION));
    AnswerCommandLine();
    // The containers are those of the data folder's key store, the one zelvan-keytool fills; an
    // encrypted container key is unlocked by asking the operator.
    Session session(StartupOptions::fromApplication().sessionOptions());
    TfmZelvan window(session);
    window.show();
    return application.exec();
}
