#include "journal/SqliteJournalStore.h"

#include "foundation/ErrorTexts.h"
#include "journal/Journal.h"
#include "journal/StoreTransaction.h"
#include "journal/StoredValues.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Each entry takes the schema from the version before it to its own (the first from nothing to 1).
// A version once released is never edited: a change is a new entry.
constexpr std::array Migrations{
    R"sql(
CREATE TABLE exchange (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    run_id TEXT NOT NULL DEFAULT '',
    operation TEXT NOT NULL,
    started_at TEXT NOT NULL,          -- UTC, yyyy-MM-ddTHH:mm:ss.zzzZ, so text order is time order
    ended_at TEXT,
    service TEXT NOT NULL DEFAULT '',
    soap_action TEXT NOT NULL DEFAULT '',
    http_status INTEGER,
    outcome TEXT NOT NULL CHECK (outcome IN
        ('sending', 'accepted', 'refused', 'transport', 'unverified', 'cancelled', 'unknown')),
    outcome_code TEXT NOT NULL DEFAULT '',
    outcome_text TEXT NOT NULL DEFAULT '',
    supplier_bill_id TEXT COLLATE NOCASE,
    amount INTEGER,                    -- kopecks
    payment_date TEXT,
    payer_identifier TEXT COLLATE NOCASE,
    package_id TEXT COLLATE NOCASE,
    smev_message_id TEXT COLLATE NOCASE,
    order_id TEXT COLLATE NOCASE,
    message_guid TEXT COLLATE NOCASE,
    status_code TEXT,
    record_count INTEGER,
    signer_container TEXT NOT NULL DEFAULT '',
    signer_serial TEXT NOT NULL DEFAULT '',
    signer_subject TEXT NOT NULL DEFAULT '',
    host TEXT NOT NULL,
    user_name TEXT NOT NULL,
    program_version TEXT NOT NULL,
    owner_boot TEXT NOT NULL,          -- with host, pid and start: the process that sends it
    owner_pid INTEGER NOT NULL,
    owner_start INTEGER NOT NULL
);
-- The bytes apart, so that lists and filters never read them. Encoding 'identity' is the bytes
-- themselves; 'zlib' is a 4-byte big-endian length followed by a zlib stream (Qt's qCompress).
CREATE TABLE exchange_body (
    exchange_id INTEGER PRIMARY KEY REFERENCES exchange (id),
    request_encoding TEXT NOT NULL,
    request BLOB NOT NULL,
    reply_encoding TEXT,
    reply BLOB,
    time_stamp_token BLOB
);
CREATE INDEX exchange_started ON exchange (started_at);
CREATE INDEX exchange_outcome ON exchange (outcome, started_at);
-- An exchange without an identifier leaves its index alone: fewer pages written per commit.
CREATE INDEX exchange_bill ON exchange (supplier_bill_id, started_at) WHERE supplier_bill_id IS NOT NULL;
CREATE INDEX exchange_payer ON exchange (payer_identifier) WHERE payer_identifier IS NOT NULL;
CREATE INDEX exchange_package ON exchange (package_id) WHERE package_id IS NOT NULL;
CREATE INDEX exchange_message ON exchange (smev_message_id) WHERE smev_message_id IS NOT NULL;
CREATE INDEX exchange_order ON exchange (order_id) WHERE order_id IS NOT NULL;
CREATE INDEX exchange_guid ON exchange (message_guid) WHERE message_guid IS NOT NULL;
)sql",
    // Each exchange's own key, the same in every store it is copied into, so that a copy adds it once.
    R"sql(
ALTER TABLE exchange ADD COLUMN origin TEXT;
UPDATE exchange SET origin = lower(hex(randomblob(16)));
CREATE UNIQUE INDEX exchange_origin ON exchange (origin);
)sql",
    // A program that runs exchanges for files finds a file's exchanges by their run.
    R"sql(
CREATE INDEX exchange_run ON exchange (run_id) WHERE run_id <> '';
)sql",
    // A reply received again is known by the key of its signature, whatever bytes carried it.
    R"sql(
ALTER TABLE exchange ADD COLUMN reply_key TEXT;
CREATE INDEX exchange_reply ON exchange (reply_key) WHERE reply_key IS NOT NULL;
)sql",
};

constexpr int BusyTimeoutMs = 5000;

const char* const SearchedColumns[] = {"supplier_bill_id", "payer_identifier", "package_id",
                                       "smev_message_id",  "order_id",         "message_guid"};

// Creates the file for its owner only, before SQLite opens it: SQLite would make it readable by
// others, and its WAL and shared-memory files take the database file's mode.
void CreatePrivateFile(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    const int descriptor =
        ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) {
        if (errno == EEXIST)
            return;
        throw EJournalError(JournalOpenErrorText(fileName, QString::fromLocal8Bit(std::strerror(errno))));
    }
    ::close(descriptor);
}

} // namespace

// One connection and the words for its failures. Errors name the file and SQLite's reason, with
// the system's own when SQLite has one (a full disk, a file too large).
class SqliteJournalStore::Database final {
  public:
    using Purpose = StorePurpose;

    Database(QString fileName, bool archive) : fileName_(std::move(fileName))
    {
        CreatePrivateFile(fileName_);
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
        const int rc = sqlite3_open_v2(QFile::encodeName(fileName_).constData(), &db_, flags, nullptr);
        if (rc != SQLITE_OK) {
            const QString reason = db_ ? reasonText() : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(db_);
            db_ = nullptr;
            throw EJournalError(JournalOpenErrorText(fileName_, reason));
        }
        try {
            prepare(archive);
        } catch (...) {
            sqlite3_close_v2(db_);
            throw;
        }
    }
    ~Database() { sqlite3_close_v2(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return db_; }
    const QString& fileName() const { return fileName_; }

    QString reasonText() const
    {
        QString reason = QString::fromUtf8(sqlite3_errmsg(db_));
        if (const int system = sqlite3_system_errno(db_))
            reason += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(system)));
        return reason;
    }

    [[noreturn]] void fail(Purpose purpose, const QString& reason) const
    {
        RaiseJournalError(purpose, fileName_, reason);
    }
    [[noreturn]] void fail(Purpose purpose) const { fail(purpose, reasonText()); }

    void exec(const char* sql, Purpose purpose) const
    {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail(purpose);
    }

    // A write transaction taken at once, so that two programs never wait for each other's upgrade.
    void begin(Purpose purpose) const { exec("BEGIN IMMEDIATE", purpose); }
    void rollback() const { sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr); }
    using Transaction = StoreTransaction<Database>;

  private:
    void prepare(bool archive)
    {
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_timeout(db_, BusyTimeoutMs);
        // A file SQLite could only open for reading would take every begin and refuse it later.
        if (sqlite3_db_readonly(db_, "main") == 1)
            fail(Purpose::open, QStringLiteral("attempt to write a readonly database"));
        // Every commit is synced, and what it costs grows with the bytes it writes: small pages keep
        // an exchange's index entries from rewriting whole 4 KB pages. Only a new file takes it.
        exec("PRAGMA page_size = 1024", Purpose::open);
        // An archive is one self-contained file: carried away or copied, it holds everything.
        exec(archive ? "PRAGMA journal_mode = DELETE" : "PRAGMA journal_mode = WAL", Purpose::open);
        exec("PRAGMA synchronous = FULL", Purpose::open);
        exec("PRAGMA foreign_keys = ON", Purpose::open);
        migrate();
    }

    void migrate()
    {
        Transaction transaction(*this, Purpose::open);
        int version = 0;
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &statement, nullptr) != SQLITE_OK)
            fail(Purpose::open);
        if (sqlite3_step(statement) == SQLITE_ROW)
            version = sqlite3_column_int(statement, 0);
        sqlite3_finalize(statement);
        if (version > int(Migrations.size()))
            fail(Purpose::open, QStringLiteral("the journal's schema %1 is newer than this program's (%2)")
                                    .arg(version)
                                    .arg(Migrations.size()));
        if (version == int(Migrations.size()))
            return;
        for (std::size_t step = std::size_t(version); step < Migrations.size(); ++step)
            exec(Migrations[step], Purpose::open);
        exec(QByteArray("PRAGMA user_version = " + QByteArray::number(qsizetype(Migrations.size())))
                 .constData(),
             Purpose::open);
        transaction.commit();
    }

    QString fileName_;
    sqlite3* db_ = nullptr;
};

namespace {

using Purpose = SqliteJournalStore::Database::Purpose;

// A prepared statement whose failures are the database's.
class Statement final {
  public:
    Statement(const SqliteJournalStore::Database& db, const QByteArray& sql, Purpose purpose)
        : db_(db), purpose_(purpose)
    {
        if (sqlite3_prepare_v2(db_.handle(), sql.constData(), int(sql.size()), &statement_, nullptr) !=
            SQLITE_OK)
            db_.fail(purpose_);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        check(sqlite3_bind_text(statement_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
        return *this;
    }
    // Empty is unknown, kept as NULL so that it never matches another unknown value.
    Statement& bindOrNull(int index, const QString& text)
    {
        return text.isEmpty() ? bindNull(index) : bind(index, text);
    }
    Statement& bind(int index, qint64 value)
    {
        check(sqlite3_bind_int64(statement_, index, value));
        return *this;
    }
    Statement& bind(int index, std::optional<qint64> value)
    {
        return value ? bind(index, *value) : bindNull(index);
    }
    Statement& bindBlob(int index, const QByteArray& bytes)
    {
        // An empty blob is still a value, not NULL: the request that was posted was empty.
        check(sqlite3_bind_blob64(statement_, index, bytes.constData() ? bytes.constData() : "",
                                  sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int index, const QVariant& value)
    {
        if (value.isNull())
            return bindNull(index);
        if (value.typeId() == QMetaType::QString)
            return bind(index, value.toString());
        return bind(index, value.toLongLong());
    }
    Statement& bindNull(int index)
    {
        check(sqlite3_bind_null(statement_, index));
        return *this;
    }

    // Binds the parameters in order, one after the other.
    template <class Value> Statement& next(const Value& value) { return bind(nextIndex_++, value); }
    Statement& nextOrNull(const QString& text) { return bindOrNull(nextIndex_++, text); }

    void reset()
    {
        sqlite3_reset(statement_);
        nextIndex_ = 1;
    }

    // True while there is a row.
    bool step()
    {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            db_.fail(purpose_);
        return false;
    }

    QString text(int column) const
    {
        const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(statement_, column));
    }
    bool isNull(int column) const { return sqlite3_column_type(statement_, column) == SQLITE_NULL; }
    qint64 integer(int column) const { return sqlite3_column_int64(statement_, column); }
    std::optional<qint64> optionalInteger(int column) const
    {
        return isNull(column) ? std::nullopt : std::optional<qint64>(integer(column));
    }
    QByteArray blob(int column) const
    {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
        return QByteArray(bytes, sqlite3_column_bytes(statement_, column));
    }

  private:
    void check(int rc) const
    {
        if (rc != SQLITE_OK)
            db_.fail(purpose_);
    }

    const SqliteJournalStore::Database& db_;
    Purpose purpose_;
    sqlite3_stmt* statement_ = nullptr;
    int nextIndex_ = 1;
};

// The WHERE terms of a filter and what they are bound to, in order.
struct FilterSql {
    QByteArray where;
    QStringList texts;

    void add(const QByteArray& term, const QStringList& values = {})
    {
        where += where.isEmpty() ? " WHERE " : " AND ";
        where += term;
        texts += values;
    }

    void bind(Statement& statement) const
    {
        for (qsizetype i = 0; i < texts.size(); ++i)
            statement.bind(int(i + 1), texts[i]);
    }
};

FilterSql FilterTerms(const JournalFilter& filter)
{
    FilterSql sql;
    if (filter.from.isValid())
        sql.add("started_at >= ?", {StoredTimeText(filter.from)});
    if (filter.to.isValid())
        sql.add("started_at < ?", {StoredTimeText(filter.to)});
    if (!filter.operation.isEmpty())
        sql.add("operation = ?", {filter.operation});
    if (filter.outcome)
        sql.add("outcome = ?", {OutcomeName(*filter.outcome)});
    const QString search = filter.search.trimmed();
    if (!search.isEmpty()) {
        // Each column has its own index, so SQLite looks the value up in each and joins the few rows.
        QByteArray any = "(";
        QStringList values;
        for (const char* column : SearchedColumns) {
            if (!values.isEmpty())
                any += " OR ";
            any += QByteArray(column) + " = ?";
            values << search;
        }
        sql.add(any + ')', values);
    }
    return sql;
}

} // namespace

SqliteJournalStore::SqliteJournalStore(const QString& fileName, Kind kind)
    : db_(std::make_unique<Database>(fileName, kind == Kind::archive))
{
}

SqliteJournalStore::~SqliteJournalStore() = default;

int SqliteJournalStore::schemaVersion()
{
    return int(Migrations.size());
}

namespace {

// The row of a new exchange and its request, inside the caller's transaction.
qint64 InsertExchange(const SqliteJournalStore::Database& db, const ExchangeStart& start, const QDateTime& at,
                      const RowOrigin& origin)
{
    Statement row(
        db,
        "INSERT INTO exchange (run_id, operation, started_at, service, soap_action, outcome, "
        "supplier_bill_id, amount, payment_date, payer_identifier, package_id, smev_message_id, "
        "order_id, message_guid, status_code, record_count, signer_container, signer_serial, "
        "signer_subject, host, user_name, program_version, owner_boot, owner_pid, owner_start, origin) "
        "VALUES (?, ?, ?, ?, ?, 'sending', ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
        Purpose::write);
    const ExchangeIdentifiers& ids = start.identifiers;
    row.next(start.runId)
        .next(start.operation)
        .next(StoredTimeText(at))
        .next(start.service)
        .next(start.soapAction);
    row.nextOrNull(ids.supplierBillId).next(ids.amountKopecks).nextOrNull(ids.paymentDate);
    row.nextOrNull(ids.payerIdentifier).nextOrNull(ids.packageId).nextOrNull(ids.smevMessageId);
    row.nextOrNull(ids.orderId).nextOrNull(ids.messageGuid).nextOrNull(ids.statusCode).next(ids.recordCount);
    row.next(start.signer.container)
        .next(start.signer.certificateSerial)
        .next(start.signer.certificateSubject);
    row.next(origin.host).next(origin.user).next(origin.programVersion);
    row.next(origin.owner.bootId).next(origin.owner.pid).next(origin.owner.startTicks);
    row.next(NewOriginKey());
    row.step();
    const qint64 id = sqlite3_last_insert_rowid(db.handle());

    const EncodedBody request = EncodeBody(start.request);
    Statement body(db,
                   "INSERT INTO exchange_body (exchange_id, request_encoding, request, time_stamp_token) "
                   "VALUES (?, ?, ?, ?)",
                   Purpose::write);
    body.bind(1, id).bind(2, QString::fromLatin1(request.encoding)).bindBlob(3, request.bytes);
    if (start.timeStampToken.isEmpty())
        body.bindNull(4);
    else
        body.bindBlob(4, start.timeStampToken);
    body.step();
    return id;
}

std::optional<RepeatedExchange> FindRepeat(const SqliteJournalStore::Database& db, const RepeatQuery& query)
{
    QByteArray sql = "SELECT id, started_at, outcome, package_id, message_guid FROM exchange "
                     "WHERE operation = ? AND outcome IN ('accepted', 'unknown', 'sending')";
    const bool payment = query.operation == u"payment";
    // `IS` so that an unknown payer matches an unknown payer: the same payment either way.
    sql +=
        payment ? " AND supplier_bill_id = ? AND amount IS ? AND payer_identifier IS ?" : " AND order_id = ?";
    sql += " ORDER BY started_at DESC, id DESC LIMIT 1";
    Statement row(db, sql, Purpose::read);
    row.bind(1, query.operation);
    if (payment)
        row.bind(2, query.supplierBillId).bind(3, query.amountKopecks).bindOrNull(4, query.payerIdentifier);
    else
        row.bind(2, query.orderId);
    if (!row.step())
        return std::nullopt;
    return RepeatedExchange{row.integer(0), StoredTime(row.text(1)),
                            OutcomeFromName(row.text(2)).value_or(ExchangeOutcome::unknown), row.text(3),
                            row.text(4)};
}

} // namespace

qint64 SqliteJournalStore::begin(const ExchangeStart& start, const QDateTime& at, const RowOrigin& origin)
{
    Database::Transaction transaction(*db_, Purpose::write);
    const qint64 id = InsertExchange(*db_, start, at, origin);
    transaction.commit();
    return id;
}

GuardedBegin SqliteJournalStore::beginUnlessRepeated(const ExchangeStart& start, const RepeatQuery& query,
                                                     std::optional<qint64> acknowledged, const QDateTime& at,
                                                     const RowOrigin& origin)
{
    // BEGIN IMMEDIATE takes the file's write lock before the search: another program's guard waits
    // until this row is committed, and then finds it.
    Database::Transaction transaction(*db_, Purpose::write);
    std::optional<RepeatedExchange> repeat = FindRepeat(*db_, query);
    if (repeat && repeat->id != acknowledged)
        return {0, std::move(repeat)};
    const qint64 id = InsertExchange(*db_, start, at, origin);
    transaction.commit();
    return {id, std::nullopt};
}

void SqliteJournalStore::complete(qint64 id, const ExchangeEnd& end, const QDateTime& at)
{
    Database::Transaction transaction(*db_, Purpose::write);
    // What the reply names fills in what the request did not carry; nothing known is erased.
    Statement row(*db_,
                  "UPDATE exchange SET ended_at = ?, http_status = ?, outcome = ?, outcome_code = ?, "
                  "outcome_text = ?, "
                  "supplier_bill_id = coalesce(?, supplier_bill_id), amount = coalesce(?, amount), "
                  "payment_date = coalesce(?, payment_date), "
                  "payer_identifier = coalesce(?, payer_identifier), package_id = coalesce(?, package_id), "
                  "smev_message_id = coalesce(?, smev_message_id), order_id = coalesce(?, order_id), "
                  "message_guid = coalesce(?, message_guid), status_code = coalesce(?, status_code), "
                  "record_count = coalesce(?, record_count), reply_key = ? "
                  "WHERE id = ? AND outcome = 'sending'",
                  Purpose::write);
    const ExchangeIdentifiers& ids = end.identifiers;
    row.next(StoredTimeText(at));
    row.next(end.httpStatus ? std::optional<qint64>(*end.httpStatus) : std::nullopt);
    row.next(OutcomeName(end.outcome)).next(end.code).next(end.text);
    row.nextOrNull(ids.supplierBillId).next(ids.amountKopecks).nextOrNull(ids.paymentDate);
    row.nextOrNull(ids.payerIdentifier).nextOrNull(ids.packageId).nextOrNull(ids.smevMessageId);
    row.nextOrNull(ids.orderId).nextOrNull(ids.messageGuid).nextOrNull(ids.statusCode).next(ids.recordCount);
    row.nextOrNull(end.replyKey).next(id);
    row.step();
    if (sqlite3_changes(db_->handle()) != 1)
        db_->fail(Purpose::write, QStringLiteral("exchange %1 is not being sent").arg(id));

    const EncodedBody reply = EncodeBody(end.reply);
    Statement body(*db_, "UPDATE exchange_body SET reply_encoding = ?, reply = ? WHERE exchange_id = ?",
                   Purpose::write);
    body.bind(1, QString::fromLatin1(reply.encoding)).bindBlob(2, reply.bytes).bind(3, id);
    body.step();
    transaction.commit();
}

qsizetype SqliteJournalStore::abandonSending(const std::function<bool(const ProcessOwner&)>& isGone,
                                             const QString& text)
{
    QList<qint64> gone;
    {
        Statement rows(*db_,
                       "SELECT id, host, owner_boot, owner_pid, owner_start FROM exchange "
                       "WHERE outcome = 'sending'",
                       Purpose::open);
        while (rows.step())
            if (isGone({rows.text(1), rows.text(2), rows.integer(3), rows.integer(4)}))
                gone << rows.integer(0);
    }
    if (gone.isEmpty())
        return 0;
    Database::Transaction transaction(*db_, Purpose::open);
    Statement update(*db_,
                     "UPDATE exchange SET outcome = 'unknown', outcome_text = ? "
                     "WHERE id = ? AND outcome = 'sending'",
                     Purpose::open);
    qsizetype changed = 0;
    for (const qint64 id : gone) {
        update.bind(1, text).bind(2, id);
        update.step();
        changed += sqlite3_changes(db_->handle());
        update.reset();
    }
    transaction.commit();
    return changed;
}

std::optional<RepeatedExchange> SqliteJournalStore::findRepeat(const RepeatQuery& query)
{
    return FindRepeat(*db_, query);
}

JournalPage SqliteJournalStore::page(const JournalFilter& filter, const std::optional<JournalCursor>& after,
                                     int limit)
{
    FilterSql sql = FilterTerms(filter);
    if (after) {
        // Keyset paging: the index on the start time goes straight to the next page, however far.
        const QString started = StoredTimeText(after->started);
        sql.add("started_at <= ? AND (started_at < ? OR id < " + QByteArray::number(after->id) + ')',
                {started, started});
    }
    Statement rows(*db_,
                   QByteArray("SELECT ") + StoredRecordColumns + " FROM exchange" + sql.where +
                       " ORDER BY started_at DESC, id DESC LIMIT " + QByteArray::number(limit + 1),
                   Purpose::read);
    sql.bind(rows);
    JournalPage page;
    while (rows.step()) {
        if (page.rows.size() == limit) {
            const ExchangeRecord& last = page.rows.last();
            page.next = JournalCursor{last.started, last.id};
            break;
        }
        page.rows.append(ReadStoredRecord(rows));
    }
    return page;
}

qint64 SqliteJournalStore::count(const JournalFilter& filter)
{
    const FilterSql sql = FilterTerms(filter);
    Statement rows(*db_, "SELECT count(*) FROM exchange" + sql.where, Purpose::read);
    sql.bind(rows);
    rows.step();
    return rows.integer(0);
}

std::optional<qint64> SqliteJournalStore::lastOfRun(const QString& runId)
{
    Statement row(*db_, "SELECT id FROM exchange WHERE run_id = ? AND run_id <> '' ORDER BY id DESC LIMIT 1",
                  Purpose::read);
    row.bind(1, runId);
    if (!row.step())
        return std::nullopt;
    return row.integer(0);
}

std::optional<qint64> SqliteJournalStore::firstWithReplyKey(const QString& replyKey)
{
    Statement row(*db_, "SELECT id FROM exchange WHERE reply_key = ? ORDER BY started_at, id LIMIT 1",
                  Purpose::read);
    row.bind(1, replyKey);
    if (!row.step())
        return std::nullopt;
    return row.integer(0);
}

std::optional<ExchangeRecord> SqliteJournalStore::exchange(qint64 id)
{
    Statement row(*db_,
                  QByteArray("SELECT ") + StoredRecordColumns +
                      ", b.request_encoding, b.request, b.reply_encoding, b.reply, b.time_stamp_token "
                      "FROM exchange LEFT JOIN exchange_body b ON b.exchange_id = exchange.id WHERE id = ?",
                  Purpose::read);
    row.bind(1, id);
    if (!row.step())
        return std::nullopt;
    ExchangeRecord record = ReadStoredRecord(row);
    const int first = StoredRecordColumnCount;
    const auto decode = [&](int column) -> QByteArray {
        std::optional<QByteArray> bytes = DecodeBody(row.text(column), row.blob(column + 1));
        if (!bytes)
            db_->fail(Purpose::read, QStringLiteral("the bytes of exchange %1 are damaged").arg(id));
        return *std::move(bytes);
    };
    record.request = decode(first);
    record.reply = decode(first + 2);
    record.timeStampToken = row.blob(first + 4);
    return record;
}

QStringList SqliteJournalStore::check()
{
    Statement rows(*db_, "PRAGMA integrity_check", Purpose::read);
    QStringList problems;
    while (rows.step()) {
        const QString line = rows.text(0);
        if (line != u"ok")
            problems << line;
    }
    return problems;
}

qint64 SqliteJournalStore::archive(const QDateTime& before, const QString& archiveFile)
{
    if (QFileInfo(archiveFile).absoluteFilePath() == QFileInfo(db_->fileName()).absoluteFilePath())
        db_->fail(Purpose::write, QStringLiteral("the archive must be another file"));
    // Made (or checked and migrated) as a journal of its own, in a mode that keeps it one file.
    {
        const Database archive(archiveFile, true);
    }

    Statement attach(*db_, "ATTACH DATABASE ? AS archive", Purpose::write);
    attach.bind(1, archiveFile);
    attach.step();
    struct Detach {
        const Database& db;
        ~Detach() { sqlite3_exec(db.handle(), "DETACH DATABASE archive", nullptr, nullptr, nullptr); }
    } detach{*db_};
    db_->exec("PRAGMA archive.synchronous = FULL", Purpose::write);
    const QString until = StoredTimeText(before);
    const QByteArray moving = "SELECT id FROM main.exchange WHERE started_at < ?1 AND outcome <> 'sending'";

    {
        // First the archive, committed and synced on its own; finished exchanges never change, so
        // what is copied is what will be taken out below.
        Database::Transaction transaction(*db_, Purpose::write);
        Statement clash(*db_,
                        "SELECT count(*) FROM main.exchange m JOIN archive.exchange a ON a.id = m.id "
                        "WHERE m.started_at < ?1 AND (a.started_at <> m.started_at OR a.host <> m.host "
                        "OR a.owner_pid <> m.owner_pid)",
                        Purpose::write);
        clash.bind(1, until);
        clash.step();
        if (clash.integer(0) > 0)
            db_->fail(Purpose::write,
                      QStringLiteral("the archive \"%1\" holds other exchanges under the same numbers")
                          .arg(archiveFile));
        Statement rows(*db_,
                       "INSERT INTO archive.exchange SELECT * FROM main.exchange WHERE id IN (" + moving +
                           ") AND id NOT IN (SELECT id FROM archive.exchange)",
                       Purpose::write);
        rows.bind(1, until);
        rows.step();
        Statement bodies(*db_,
                         "INSERT INTO archive.exchange_body SELECT * FROM main.exchange_body "
                         "WHERE exchange_id IN (" +
                             moving +
                             ") AND exchange_id NOT IN (SELECT exchange_id FROM archive.exchange_body)",
                         Purpose::write);
        bodies.bind(1, until);
        bodies.step();
        transaction.commit();
    }

    // Then only what the archive holds, byte for byte, leaves the journal.
    Database::Transaction transaction(*db_, Purpose::write);
    const QByteArray archived =
        "SELECT m.exchange_id FROM main.exchange_body m JOIN archive.exchange_body a "
        "ON a.exchange_id = m.exchange_id AND a.request = m.request AND a.reply IS m.reply "
        "AND a.time_stamp_token IS m.time_stamp_token WHERE m.exchange_id IN (" +
        moving + ')';
    Statement bodies(*db_, "DELETE FROM main.exchange_body WHERE exchange_id IN (" + archived + ')',
                     Purpose::write);
    bodies.bind(1, until);
    bodies.step();
    const qint64 moved = sqlite3_changes(db_->handle());
    Statement rows(*db_,
                   "DELETE FROM main.exchange WHERE id IN (" + moving +
                       ") AND id NOT IN (SELECT exchange_id FROM main.exchange_body)",
                   Purpose::write);
    rows.bind(1, until);
    rows.step();
    if (sqlite3_changes(db_->handle()) != moved)
        db_->fail(Purpose::write, QStringLiteral("the archive does not hold every exchange it should"));
    transaction.commit();
    return moved;
}

qint64 SqliteJournalStore::import(const QList<ExchangeRecord>& records, bool keepIds)
{
    Database::Transaction transaction(*db_, Purpose::write);
    Statement known(*db_, "SELECT origin FROM exchange WHERE id = ? OR origin = ?", Purpose::write);
    QByteArray placeholders = "?";
    for (int i = 1; i < StoredRecordColumnCount + 3; ++i)
        placeholders += ", ?";
    Statement row(*db_,
                  QByteArray("INSERT INTO exchange (") + StoredRecordColumns +
                      ", owner_boot, owner_pid, owner_start) VALUES (" + placeholders + ')',
                  Purpose::write);
    Statement body(
        *db_,
        "INSERT INTO exchange_body (exchange_id, request_encoding, request, reply_encoding, reply, "
        "time_stamp_token) VALUES (?, ?, ?, ?, ?, ?)",
        Purpose::write);
    qint64 added = 0;
    for (const ExchangeRecord& record : records) {
        if (record.origin.isEmpty() || record.outcome == ExchangeOutcome::sending)
            db_->fail(Purpose::write, QStringLiteral("exchange %1 cannot be copied").arg(record.id));
        known.reset();
        known.bind(1, keepIds ? record.id : qint64(0)).bind(2, record.origin);
        if (known.step()) {
            if (known.text(0) == record.origin)
                continue;
            db_->fail(Purpose::write,
                      QStringLiteral("the journal holds another exchange under number %1").arg(record.id));
        }
        const QVariantList values = StoredRecordValues(record);
        row.reset();
        for (int i = 0; i < StoredRecordColumnCount; ++i)
            row.bind(i + 1, values[i]);
        if (!keepIds)
            row.bindNull(1);
        // The process that sent it means nothing in another journal: it is finished.
        row.bind(StoredRecordColumnCount + 1, QString()).bind(StoredRecordColumnCount + 2, qint64(0));
        row.bind(StoredRecordColumnCount + 3, qint64(0));
        row.step();
        const EncodedBody request = EncodeBody(record.request);
        const EncodedBody reply = EncodeBody(record.reply);
        body.reset();
        body.bind(1, qint64(sqlite3_last_insert_rowid(db_->handle())));
        body.bind(2, QString::fromLatin1(request.encoding)).bindBlob(3, request.bytes);
        body.bind(4, QString::fromLatin1(reply.encoding)).bindBlob(5, reply.bytes);
        if (record.timeStampToken.isEmpty())
            body.bindNull(6);
        else
            body.bindBlob(6, record.timeStampToken);
        body.step();
        ++added;
    }
    transaction.commit();
    return added;
}
