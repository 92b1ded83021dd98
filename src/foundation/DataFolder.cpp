#include "foundation/DataFolder.h"

#include "foundation/CryptHelper.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

constexpr QFileDevice::Permissions kOwnerOnlyFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions kOpenToOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                   QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                   QFileDevice::WriteOther | QFileDevice::ExeOther;

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

} // namespace

void MakeOwnerOnlyFolder(const QString& path)
{
    if (QFileInfo(path).isDir())
        return;
    const QString parent = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(parent) || !QDir().mkdir(path, kOwnerOnlyFolder))
        throw EDataFolderException(
            QStringLiteral("Не удалось создать папку данных программы:\n%1").arg(Native(path)));
}

QString LocateDataFolder(const QString& dataOption, const QString& executableFolder,
                         const QProcessEnvironment& environment)
{
    if (!dataOption.isEmpty())
        return QDir::cleanPath(QDir(dataOption).absolutePath());

    const QDir beside(executableFolder);
    if (QFileInfo::exists(beside.filePath(QStringLiteral("zelvan.ini"))) ||
        QFileInfo::exists(beside.filePath(QStringLiteral("keys"))))
        return QDir::cleanPath(beside.absolutePath());

    // A relative XDG_DATA_HOME is to be ignored, as freedesktop.org's base directory rules say.
    QString base = environment.value(QStringLiteral("XDG_DATA_HOME"));
    if (!QDir::isAbsolutePath(base)) {
        QString home = environment.value(QStringLiteral("HOME"));
        if (!QDir::isAbsolutePath(home))
            home = QDir::homePath();
        base = QDir(home).filePath(QStringLiteral(".local/share"));
    }
    return QDir::cleanPath(QDir(base).filePath(QStringLiteral("zelvan")));
}

QString DataKeyStorePath(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("keys"));
}

void PrepareDataFolder(const QString& dataFolder)
{
    MakeOwnerOnlyFolder(dataFolder);
    MakeOwnerOnlyFolder(DataKeyStorePath(dataFolder));

    // Permission bits do not tell about a read-only mount or a full disk; a real write does.
    QTemporaryFile probe(QDir(dataFolder).filePath(QStringLiteral(".zelvan-probe-XXXXXX")));
    if (!probe.open() || probe.write("probe") != 5 || !probe.flush())
        throw EDataFolderException(QStringLiteral("В папку данных программы нельзя записать файл:\n%1\n%2")
                                       .arg(Native(dataFolder), probe.errorString()));
}

QString KeyStoreExposureWarning(const QString& dataFolder)
{
    const QString store = DataKeyStorePath(dataFolder);
    if (!QFileInfo(store).isDir())
        return {};
    QStringList exposed;
    if (QFileInfo(store).permissions() & kOpenToOthers)
        exposed << Native(store);
    for (const QString& container : QDir(store).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QFileInfo key(QDir(QDir(store).filePath(container)).filePath(QLatin1String(KeyFileName)));
        if (key.isFile() && (key.permissions() & kOpenToOthers))
            exposed << Native(key.filePath());
    }
    if (exposed.isEmpty())
        return {};
    return QStringLiteral("Закрытые ключи доступны другим пользователям компьютера:\n%1\n"
                          "Оставьте доступ только себе (chmod go-rwx).")
        .arg(exposed.join(u'\n'));
}
