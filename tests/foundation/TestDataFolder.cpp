#include "support/ReadOnlyFolder.h"

#include "foundation/CryptHelper.h"
#include "foundation/DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QProcessEnvironment Environment(const QString& home, const QString& xdgDataHome = {})
{
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("HOME"), home);
    if (!xdgDataHome.isNull())
        environment.insert(QStringLiteral("XDG_DATA_HOME"), xdgDataHome);
    return environment;
}

QFileDevice::Permissions Mode(const QString& path)
{
    return QFileInfo(path).permissions() &
           (QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
            QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
            QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther);
}

constexpr QFileDevice::Permissions kOwnerOnly =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;

} // namespace

TEST(DataFolder, PortableCopyThenXdgThenHomeAndTheSwitchOverAll)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    const QString program = dir.filePath(QStringLiteral("bin"));
    const QString home = dir.filePath(QStringLiteral("home"));
    QDir().mkpath(program);

    // A build or an installed program: never beside the executable.
    EXPECT_EQ(LocateDataFolder({}, program, Environment(home)),
              home + QStringLiteral("/.local/share/zelvan"));
    EXPECT_EQ(LocateDataFolder({}, program, Environment(home, dir.filePath(QStringLiteral("xdg")))),
              dir.filePath(QStringLiteral("xdg/zelvan")));
    // A relative or empty XDG_DATA_HOME does not count.
    EXPECT_EQ(LocateDataFolder({}, program, Environment(home, QStringLiteral("relative"))),
              home + QStringLiteral("/.local/share/zelvan"));
    EXPECT_EQ(LocateDataFolder({}, program, Environment(home, QStringLiteral(""))),
              home + QStringLiteral("/.local/share/zelvan"));

    // A portable copy is recognised by its settings file or by its key store.
    for (const bool keyStore : {false, true}) {
        const QString path =
            QDir(program).filePath(keyStore ? QStringLiteral("keys") : QStringLiteral("zelvan.ini"));
        keyStore ? QDir().mkdir(path) : QFile(path).open(QIODevice::WriteOnly);
        EXPECT_EQ(LocateDataFolder({}, program, Environment(home)), QDir::cleanPath(program)) << keyStore;
        EXPECT_EQ(LocateDataFolder(QStringLiteral("elsewhere/../data"), program, Environment(home)),
                  QDir::current().filePath(QStringLiteral("data")))
            << "--data wins";
        QDir(path).removeRecursively();
        QFile::remove(path);
    }
}

TEST(DataFolder, MadeForTheOwnerOnlyAndWarnedWhenOpenToOthers)
{
    QTemporaryDir root;
    const QString data = QDir(root.path()).filePath(QStringLiteral("share/zelvan"));
    const QString keys = DataKeyStorePath(data);
    EXPECT_EQ(KeyStoreExposureWarning(data), QString()) << "nothing to warn about before first use";

    PrepareDataFolder(data);
    EXPECT_EQ(Mode(data), kOwnerOnly);
    EXPECT_EQ(Mode(keys), kOwnerOnly);
    EXPECT_EQ(QDir(data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("keys")})
        << "the write probe is gone";
    EXPECT_EQ(KeyStoreExposureWarning(data), QString());

    // A container copied in by hand with a key readable by all, then the store opened up too.
    const QString container = QDir(keys).filePath(QStringLiteral("Банк"));
    QDir().mkdir(container);
    const QString key = QDir(container).filePath(QLatin1String(KeyFileName));
    QFile(key).open(QIODevice::WriteOnly);
    QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    QString warning = KeyStoreExposureWarning(data);
    EXPECT_TRUE(warning.contains(key)) << warning.toStdString();
    EXPECT_FALSE(warning.contains(keys + u'\n')) << warning.toStdString();

    QFile::setPermissions(keys, kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
    PrepareDataFolder(data);
    EXPECT_EQ(Mode(keys), kOwnerOnly | QFileDevice::ReadGroup | QFileDevice::ExeGroup)
        << "the operator's own choice is not changed behind their back";
    warning = KeyStoreExposureWarning(data);
    EXPECT_TRUE(warning.startsWith(QStringLiteral("Закрытые ключи доступны другим пользователям")));
    EXPECT_TRUE(warning.contains(keys + u'\n')) << warning.toStdString();
}

TEST(DataFolder, AFolderThatCannotBeMadeOrWrittenIsNamed)
{
    QTemporaryDir root;
    const QDir dir(root.path());
    // Where a file stands in the way, no folder can be made, whoever runs the test.
    QFile(dir.filePath(QStringLiteral("home"))).open(QIODevice::WriteOnly);
    const QString blocked = dir.filePath(QStringLiteral("home/zelvan"));
    try {
        PrepareDataFolder(blocked);
        ADD_FAILURE() << "no error for a folder that cannot be made";
    } catch (const EDataFolderException& error) {
        EXPECT_EQ(error.message(), QStringLiteral("Не удалось создать папку данных программы:\n") + blocked);
    }

    const QString data = dir.filePath(QStringLiteral("data"));
    QDir().mkpath(DataKeyStorePath(data));
    {
        ReadOnlyFolder readOnly(data);
        if (!readOnly.isReadOnly())
            GTEST_SKIP() << "this file system lets the superuser write everywhere";
        try {
            PrepareDataFolder(data);
            ADD_FAILURE() << "no error for a folder that cannot be written";
        } catch (const EDataFolderException& error) {
            EXPECT_TRUE(error.message().startsWith(
                QStringLiteral("В папку данных программы нельзя записать файл:\n") + data + u'\n'))
                << error.message().toStdString();
        }
    }
    EXPECT_EQ(QDir(data).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("keys")})
        << "nothing half-written";
}
