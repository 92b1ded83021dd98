#pragma once

#include "journal/JournalStore.h"

#include <memory>

// The journal in one SQLite file: WAL, every commit synced (synchronous FULL), a 5 s wait for a
// lock held by another program, the schema's version in PRAGMA user_version. Request and reply are
// kept zlib-compressed when that makes them smaller, and always come back as the exact bytes.
class SqliteJournalStore final : public JournalStore {
  public:
    // A journal in WAL mode; an archive is kept as one self-contained file.
    enum class Kind { journal, archive };

    // Opens `fileName`, making it (mode 0600) when it is missing, and migrates its schema.
    explicit SqliteJournalStore(const QString& fileName, Kind kind = Kind::journal);
    ~SqliteJournalStore() override;
    SqliteJournalStore(const SqliteJournalStore&) = delete;
    SqliteJournalStore& operator=(const SqliteJournalStore&) = delete;

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

    // The connection, whose failures name the file (SqliteJournalStore.cpp).
    class Database;

  private:
    std::unique_ptr<Database> db_;
};
