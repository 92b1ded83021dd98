#pragma once

#include "journal/JournalStore.h"

#include <memory>

// The journal on a PostgreSQL server, shared by the workstations of a bank. The same tables as the
// SQLite file (timestamptz for times, bytea for bytes), their version in the table journal_schema,
// made on first use when the user may. Each program holds a session-level advisory lock named after
// itself (host, boot, process and its start) for as long as it is connected: a row left `sending` by
// a program whose lock is free belongs to a program that is gone, on whichever host it ran.
class PostgresJournalStore final : public JournalStore {
  public:
    // Connects to `uri` (postgresql://user@host:port/dbname, its password from ~/.pgpass or
    // PGPASSFILE) and migrates the schema. Raises EJournalError naming the server and why.
    explicit PostgresJournalStore(const QString& uri);
    ~PostgresJournalStore() override;
    PostgresJournalStore(const PostgresJournalStore&) = delete;
    PostgresJournalStore& operator=(const PostgresJournalStore&) = delete;

    qint64 begin(const ExchangeStart& start, const QDateTime& at, const RowOrigin& origin) override;
    GuardedBegin beginUnlessRepeated(const ExchangeStart& start, const RepeatQuery& query,
                                     std::optional<qint64> acknowledged, const QDateTime& at,
                                     const RowOrigin& origin) override;
    void complete(qint64 id, const ExchangeEnd& end, const QDateTime& at) override;
    qsizetype abandonSending(const std::function<bool(const ProcessOwner&)>& isGone,
                             const QString& text) override;
    std::optional<RepeatedExchange> findRepeat(const RepeatQuery& query) override;
    JournalPage page(const JournalFilter& filter, const std::optional<JournalCursor>& after,
                     int limit) override;
    qint64 count(const JournalFilter& filter) override;
    std::optional<ExchangeRecord> exchange(qint64 id) override;
    std::optional<qint64> lastOfRun(const QString& runId) override;
    std::optional<qint64> firstWithReplyKey(const QString& replyKey) override;
    QStringList check() override;
    qint64 archive(const QDateTime& before, const QString& archiveFile) override;
    qint64 import(const QList<ExchangeRecord>& records, bool keepIds) override;

    // The schema version this program writes.
    static int schemaVersion();
    // What a `JournalDatabase` value is wrong with (a password in it, not a postgresql:// URI), or
    // the empty text when it may be used.
    static QString uriProblem(const QString& uri);

    // The connection, whose failures name the server (PostgresJournalStore.cpp).
    class Connection;

  private:
    std::unique_ptr<Connection> db_;
};
