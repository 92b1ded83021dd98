#include "PostgresServer.h"

#include "LoopbackHttpServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QUrl>
#include <QVersionNumber>

#include <stdexcept>

#include <pwd.h>
#include <unistd.h>

namespace {

// PostgreSQL will not run as root; root hands the server to this user.
const char* const ServerUser = "nobody";

// The newest server Debian's postgresql packages installed.
QString ServerBinDir()
{
    QString best;
    QVersionNumber bestVersion;
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    for (const QString& name : versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QVersionNumber version = QVersionNumber::fromString(name);
        if (QFile::exists(versions.filePath(name + QStringLiteral("/bin/initdb"))) && version > bestVersion) {
            bestVersion = version;
            best = versions.filePath(name + QStringLiteral("/bin"));
        }
    }
    if (best.isEmpty())
        throw std::runtime_error("PostgreSQL's server is not installed (scripts/setup installs it)");
    return best;
}

void Fail(const QString& what)
{
    throw std::runtime_error(what.toStdString());
}

void WriteFile(const QString& path, const QByteArray& bytes, QFile::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        Fail(path + QStringLiteral(": ") + file.errorString());
    file.close();
    file.setPermissions(permissions);
}

void GiveToServerUser(const QString& path)
{
    const passwd* entry = ::getpwnam(ServerUser);
    if (!entry)
        Fail(QStringLiteral("there is no user %1 to run PostgreSQL as").arg(QLatin1String(ServerUser)));
    if (::chown(QFile::encodeName(path).constData(), entry->pw_uid, entry->pw_gid) != 0)
        Fail(QStringLiteral("cannot give %1 to %2").arg(path, QLatin1String(ServerUser)));
}

} // namespace

PostgresServer::PostgresServer() : binDir_(ServerBinDir())
{
    if (!serverDir_.isValid() || !clientDir_.isValid())
        Fail(QStringLiteral("cannot make the server's temporary folders"));
    const QString password = QString::number(QRandomGenerator::system()->generate64(), 36);
    const QString pwFile = serverDir_.filePath(QStringLiteral("password"));
    WriteFile(pwFile, password.toUtf8() + '\n', QFile::ReadOwner | QFile::WriteOwner);
    if (::geteuid() == 0) {
        GiveToServerUser(serverDir_.path());
        GiveToServerUser(pwFile);
    }
    // Passwords over TCP, as a bank's server asks for them; the superuser's own socket is trusted so
    // that the test can set the server up.
    run(QStringLiteral("initdb"),
        {QStringLiteral("--pgdata=") + serverDir_.filePath(QStringLiteral("data")),
         QStringLiteral("--username=") + user_, QStringLiteral("--pwfile=") + pwFile,
         QStringLiteral("--auth-local=trust"), QStringLiteral("--auth-host=scram-sha-256"),
         QStringLiteral("--encoding=UTF8"), QStringLiteral("--no-locale"), QStringLiteral("--no-sync")},
        QStringLiteral("initdb"));
    QFile::remove(pwFile);

    // Several tries: another program may take the free port between its choice and the server's start.
    for (int attempt = 0; !running_; ++attempt) {
        port_ = UnusedLoopbackPort();
        try {
            start();
        } catch (const std::runtime_error&) {
            if (attempt == 2)
                throw;
        }
    }
    run(QStringLiteral("createdb"),
        {QStringLiteral("--host=") + serverDir_.path(), QStringLiteral("--port=") + QString::number(port_),
         QStringLiteral("--username=") + user_, database_},
        QStringLiteral("createdb"));

    passFile_ = clientDir_.filePath(QStringLiteral("pgpass"));
    WriteFile(passFile_, QStringLiteral("127.0.0.1:%1:*:%2:%3\n").arg(port_).arg(user_, password).toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
}

PostgresServer::~PostgresServer()
{
    if (running_) {
        try {
            stop();
        } catch (const std::runtime_error&) {
            // The folder goes with the object; a server left without it stops on its own.
        }
    }
}

QString PostgresServer::address() const
{
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user_).arg(port_).arg(database_);
}

QString PostgresServer::uri() const
{
    return address() + QStringLiteral("?passfile=") + QString::fromLatin1(QUrl::toPercentEncoding(passFile_));
}

QString PostgresServer::runSql(const QString& sql) const
{
    return run(QStringLiteral("psql"),
               {QStringLiteral("--host=") + serverDir_.path(),
                QStringLiteral("--port=") + QString::number(port_), QStringLiteral("--username=") + user_,
                QStringLiteral("--dbname=") + database_, QStringLiteral("--no-psqlrc"),
                QStringLiteral("--tuples-only"), QStringLiteral("--no-align"),
                QStringLiteral("--set=ON_ERROR_STOP=1"), QStringLiteral("--command=") + sql},
               QStringLiteral("psql"));
}

void PostgresServer::stop()
{
    running_ = false;
    run(QStringLiteral("pg_ctl"),
        {QStringLiteral("stop"), QStringLiteral("--pgdata=") + serverDir_.filePath(QStringLiteral("data")),
         QStringLiteral("--mode=immediate"), QStringLiteral("--wait")},
        QStringLiteral("pg_ctl stop"));
}

void PostgresServer::start()
{
    // Small and without syncs: a test's server holds little and never outlives a power cut.
    const QString options =
        QStringLiteral("-c listen_addresses=127.0.0.1 -c port=%1 -c unix_socket_directories='%2' "
                       "-c fsync=off -c shared_buffers=16MB -c max_connections=40")
            .arg(port_)
            .arg(serverDir_.path());
    run(QStringLiteral("pg_ctl"),
        {QStringLiteral("start"), QStringLiteral("--pgdata=") + serverDir_.filePath(QStringLiteral("data")),
         QStringLiteral("--log=") + serverDir_.filePath(QStringLiteral("server.log")),
         QStringLiteral("--wait"), QStringLiteral("--timeout=60"), QStringLiteral("--options=") + options},
        QStringLiteral("pg_ctl start"));
    running_ = true;
}

QString PostgresServer::run(const QString& program, const QStringList& arguments, const QString& step) const
{
    QProcess process;
    process.setWorkingDirectory(serverDir_.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    const QString path = QDir(binDir_).filePath(program);
    if (::geteuid() == 0)
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QLatin1String(ServerUser),
                                                             QStringLiteral("--"), path} +
                                                     arguments);
    else
        process.start(path, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        QString log;
        QFile logFile(serverDir_.filePath(QStringLiteral("server.log")));
        if (logFile.open(QIODevice::ReadOnly))
            log = QString::fromLocal8Bit(logFile.readAll().right(2000));
        Fail(QStringLiteral("%1 failed: %2\n%3\n%4")
                 .arg(step, process.errorString(), QString::fromLocal8Bit(process.readAll()), log));
    }
    return QString::fromUtf8(process.readAll()).trimmed();
}
