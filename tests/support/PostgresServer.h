#pragma once

#include <QString>
#include <QTemporaryDir>

// A PostgreSQL server of the test's own (Debian's initdb and pg_ctl) on a temporary folder, listening
// on a free port of 127.0.0.1 and on a unix socket in that folder, with one database. Run as root, the
// server runs as the unprivileged user `nobody`: PostgreSQL refuses to run as root. The test reaches
// it with a password kept in a password file of its own, as an operator's ~/.pgpass would keep it.
// Stopped (immediately) when the object goes; `stop()` takes it away in the middle of a test.
class PostgresServer final {
  public:
    // Raises std::runtime_error naming the step and its output when the server cannot be made.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // postgresql://USER@127.0.0.1:PORT/DATABASE: the address as an operator writes it, without the
    // password; the password file has to be named apart (PGPASSFILE or `passFile()` in the URI).
    QString address() const;
    // The address with the test's password file as its `passfile` parameter: what a client connects to.
    QString uri() const;
    const QString& passFile() const { return passFile_; }
    const QString& user() const { return user_; }
    int port() const { return port_; }

    // Runs SQL as the server's superuser through psql on the unix socket; its output, or a
    // std::runtime_error with psql's message.
    QString runSql(const QString& sql) const;

    // Stops the server at once, as a crash or a cut network would; the clients' connections break.
    void stop();
    // Starts it again on the same port and data.
    void start();

  private:
    QString run(const QString& program, const QStringList& arguments, const QString& step) const;

    QTemporaryDir serverDir_; // the server user's: its data, socket and log
    QTemporaryDir clientDir_; // the test's: the password file a client reads
    QString binDir_;
    QString user_ = QStringLiteral("journal_owner");
    QString database_ = QStringLiteral("journal");
    QString passFile_;
    int port_ = 0;
    bool running_ = false;
};
