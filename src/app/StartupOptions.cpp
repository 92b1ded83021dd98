#include "app/StartupOptions.h"

#include "app/PasswordDialog.h"

#include <QCoreApplication>
#include <QFileInfo>

StartupOptions StartupOptions::fromApplication()
{
    return {QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1),
            QProcessEnvironment::systemEnvironment()};
}

QString StartupOptions::dataOption() const
{
    const QString prefix = QStringLiteral("--data=");
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == u"--data" && i + 1 < arguments.size())
            return arguments[i + 1];
        if (arguments[i].startsWith(prefix))
            return arguments[i].mid(prefix.size());
    }
    return {};
}

SessionOptions StartupOptions::sessionOptions() const
{
    const QFileInfo executable(executablePath);
    SessionOptions options;
    options.executableFolder = executable.absolutePath();
    options.clientFileName = executable.fileName();
    options.dataOption = dataOption();
    options.debug = HasCommandLineSwitch(arguments, QStringLiteral("debug"));
    options.environment = environment;
    options.passwords = ContainerPasswordDialog();
    return options;
}

bool HasCommandLineSwitch(const QStringList& arguments, const QString& name)
{
    for (const QString& argument : arguments) {
        if (argument.size() < 2 || (argument[0] != u'-' && argument[0] != u'/'))
            continue;
        if (QStringView(argument).mid(1).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}
