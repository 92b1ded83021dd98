// The exchange journal with 100,000 payments of real size: the first page of a list filtered by a
// UIN and by a period, recording one exchange with both of its durable commits, and the file's
// size per exchange. Each figure has beside it the floor measured in the same run: bare SQLite
// doing the same query or the same two commits of the same bytes in the same folder.
//
// The filled journal is kept in bench-data/ beside the build's programs, so that each benchmark
// process does not fill it again; it is filled in memory (/dev/shm) where a sync costs nothing,
// then copied there.
#include "BenchApplication.h"
#include "foundation/CryptHelper.h"
#include "gisgmp/SoapPayment.h"
#include "journal/Journal.h"
#include "sandbox/EnvelopeSigner.h"
#include "sandbox/SandboxIdentity.h"
#include "smev/SmevEnvelope.h"
#include "support/SampleForms.h"
#include "support/StateSystemReplies.h"
#include "support/TestKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>
#include <openssl/x509.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr int Exchanges = 100000;
constexpr qint64 SpacingSeconds = 300; // five minutes apart: 100,000 cover about a year
const QDateTime FirstStart(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
const QString TemplateBill = QStringLiteral("18810177140814735891");

struct Sample {
    QByteArray request; // a signed payment envelope, as the client posts it
    QByteArray reply;   // a signed reply naming the accepted package, as SMEV sends it
};

const Sample& PaymentSample()
{
    static const Sample sample = [] {
        BenchApplication<QCoreApplication>();
        TestKeyStore store;
        store.addContainer(QStringLiteral("bench"));
        FakeSoapValues form = GisGmpPaymentForm();
        ContainerKey key(store.store(), QStringLiteral("bench"));
        Sample made;
        made.request =
            BuildSignedEnvelope(key, SoapCreateImportRequest(key, form), form.identifiers()).toUtf8();
        const SandboxIdentity identity = MakeSandboxIdentity();
        unsigned char* der = nullptr;
        const int length = i2d_X509(identity.signerCertificate.get(), &der);
        const QByteArray certificate(reinterpret_cast<const char*>(der), length);
        OPENSSL_free(der);
        made.reply =
            SignedSoapEnvelope(GisGmpReply(ImportResult(QUuid::createUuid().toString(QUuid::WithoutBraces))),
                               certificate, identity.signerKey.get());
        return made;
    }();
    return sample;
}

QString Bill(int number)
{
    return QStringLiteral("1881%1").arg(number, 16, 10, QLatin1Char('0'));
}

ExchangeStart PaymentStart(int number)
{
    const Sample& sample = PaymentSample();
    ExchangeStart start;
    start.operation = QStringLiteral("payment");
    start.service = QStringLiteral("http://smev-mvf.test.gosuslugi.ru:7777/gateway/services/SID0003663");
    start.soapAction =
        QStringLiteral("http://roskazna.ru/gisgmp/02000000/SmevGISGMPService/GISGMPTransferMsg");
    start.request = sample.request;
    start.request.replace(TemplateBill.toUtf8(), Bill(number).toUtf8());
    start.identifiers.supplierBillId = Bill(number);
    start.identifiers.amountKopecks = 150000 + number % 1000;
    start.identifiers.payerIdentifier = QStringLiteral("1010000000001234567890");
    start.identifiers.paymentDate = QStringLiteral("2026-01-01");
    start.identifiers.smevMessageId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    start.signer = {QStringLiteral("bench"), QStringLiteral("4F1A2B3C4D5E6F70"),
                    QStringLiteral("CN=Bench signer")};
    return start;
}

ExchangeEnd AcceptedEnd()
{
    ExchangeEnd end;
    end.outcome = ExchangeOutcome::accepted;
    end.httpStatus = 200;
    end.reply = PaymentSample().reply;
    end.identifiers.packageId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    return end;
}

// The folder of the filled journal, filled on first use.
QString FilledFolder()
{
    static const QString folder = [] {
        BenchApplication<QCoreApplication>();
        const QString kept = QDir(QCoreApplication::applicationDirPath())
                                 .filePath(QStringLiteral("../bench-data/journal-%1").arg(Exchanges));
        const QString file = Journal::FileIn(kept);
        if (QFile::exists(file))
            return kept;
        QDir().mkpath(kept);
        QTemporaryDir memory(QStringLiteral("/dev/shm/zelvan-journal-XXXXXX"));
        {
            auto moment = std::make_shared<QDateTime>(FirstStart);
            int step = 0;
            Journal journal(memory.path(), {QStringLiteral("bench"), [moment, &step] {
                                                // begin and complete of one exchange a second apart
                                                const int now = step++;
                                                return moment->addSecs(SpacingSeconds * (now / 2) + now % 2);
                                            }});
            for (int i = 0; i < Exchanges; ++i)
                journal.complete(journal.begin(PaymentStart(i)), AcceptedEnd());
        }
        QFile::copy(Journal::FileIn(memory.path()), file + QStringLiteral(".part"));
        QFile::rename(file + QStringLiteral(".part"), file);
        return kept;
    }();
    return folder;
}

Journal& FilledJournal()
{
    static Journal journal(FilledFolder());
    return journal;
}

// Bare SQLite: the statement on the same file, its rows read and dropped.
double BareQueryMs(const char* sql, const std::function<void(sqlite3_stmt*)>& bind, int runs = 50)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(Journal::FileIn(FilledFolder())).constData(), &db, SQLITE_OPEN_READONLY,
                    nullptr);
    QElapsedTimer timer;
    qint64 best = std::numeric_limits<qint64>::max();
    for (int run = 0; run < runs; ++run) {
        timer.start();
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
        bind(statement);
        while (sqlite3_step(statement) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(statement); ++c)
                benchmark::DoNotOptimize(sqlite3_column_text(statement, c));
        sqlite3_finalize(statement);
        best = std::min(best, timer.nsecsElapsed());
    }
    sqlite3_close(db);
    return double(best) / 1e6;
}

const char* const BareColumns =
    "SELECT id, run_id, operation, started_at, ended_at, service, soap_action, http_status, outcome, "
    "outcome_code, "
    "outcome_text, supplier_bill_id, amount, payment_date, payer_identifier, package_id, smev_message_id, "
    "order_id, message_guid, status_code, record_count, signer_container, signer_serial, signer_subject, "
    "host, user_name, program_version FROM exchange ";

void FirstPageByUin(benchmark::State& state)
{
    JournalFilter filter;
    filter.search = Bill(Exchanges / 2);
    FilledJournal();
    for (auto _ : state) {
        const JournalPage page = FilledJournal().page(filter);
        if (page.rows.size() != 1)
            state.SkipWithError("the UIN's payment was not found");
    }
    const QByteArray bill = Bill(Exchanges / 2).toUtf8();
    state.counters["floor_ms"] = BareQueryMs(
        (QByteArray(BareColumns) + "WHERE supplier_bill_id = ?1 ORDER BY started_at DESC, id DESC LIMIT 101")
            .constData(),
        [&](sqlite3_stmt* s) { sqlite3_bind_text(s, 1, bill.constData(), int(bill.size()), SQLITE_STATIC); });
}
BENCHMARK(FirstPageByUin)->Unit(benchmark::kMillisecond);

void FirstPageOfPeriod(benchmark::State& state)
{
    JournalFilter filter;
    filter.from = FirstStart.addDays(200);
    filter.to = filter.from.addDays(1);
    FilledJournal();
    for (auto _ : state) {
        const JournalPage page = FilledJournal().page(filter);
        if (page.rows.size() != 100)
            state.SkipWithError("the period's first page is not full");
    }
    const QByteArray from = filter.from.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")).toUtf8();
    const QByteArray to = filter.to.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ")).toUtf8();
    state.counters["floor_ms"] =
        BareQueryMs((QByteArray(BareColumns) +
                     "WHERE started_at >= ?1 AND started_at < ?2 ORDER BY started_at DESC, id DESC LIMIT 101")
                        .constData(),
                    [&](sqlite3_stmt* s) {
                        sqlite3_bind_text(s, 1, from.constData(), int(from.size()), SQLITE_STATIC);
                        sqlite3_bind_text(s, 2, to.constData(), int(to.size()), SQLITE_STATIC);
                    });
}
BENCHMARK(FirstPageOfPeriod)->Unit(benchmark::kMillisecond);

// Both durable commits of one exchange in a copy of the filled journal on the disk, beside bare
// SQLite committing the same bytes twice (WAL, synchronous FULL) in the same folder.
void RecordOneExchange(benchmark::State& state)
{
    QTemporaryDir disk(QDir(FilledFolder()).filePath(QStringLiteral("../record-XXXXXX")));
    QFile::copy(Journal::FileIn(FilledFolder()), Journal::FileIn(disk.path()));
    // The copy on its way to the disk would otherwise be written back during the measurement.
    ::sync();
    Journal journal(disk.path());
    const ExchangeStart start = PaymentStart(Exchanges + 1);
    const ExchangeEnd end = AcceptedEnd();
    for (auto _ : state)
        journal.complete(journal.begin(start), end);

    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(QDir(disk.path()).filePath(QStringLiteral("bare.sqlite"))).constData(),
                 &db);
    sqlite3_exec(db,
                 "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; "
                 "CREATE TABLE t (id INTEGER PRIMARY KEY, request BLOB NOT NULL, reply BLOB)",
                 nullptr, nullptr, nullptr);
    QElapsedTimer timer;
    qint64 best = std::numeric_limits<qint64>::max();
    for (int run = 0; run < 30; ++run) {
        timer.start();
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t (request) VALUES (?)", -1, &insert, nullptr);
        sqlite3_bind_blob(insert, 1, start.request.constData(), int(start.request.size()), SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_finalize(insert);
        sqlite3_stmt* update = nullptr;
        sqlite3_prepare_v2(db, "UPDATE t SET reply = ? WHERE id = ?", -1, &update, nullptr);
        sqlite3_bind_blob(update, 1, end.reply.constData(), int(end.reply.size()), SQLITE_STATIC);
        sqlite3_bind_int64(update, 2, sqlite3_last_insert_rowid(db));
        sqlite3_step(update);
        sqlite3_finalize(update);
        best = std::min(best, timer.nsecsElapsed());
    }
    sqlite3_close(db);
    state.counters["floor_ms"] = double(best) / 1e6;
}
BENCHMARK(RecordOneExchange)->Unit(benchmark::kMillisecond);

// The file per exchange against the bytes it keeps; bare SQLite keeping the same bytes
// uncompressed in a table of two blobs is the floor.
void FileSizePerExchange(benchmark::State& state)
{
    const qint64 fileBytes = QFileInfo(Journal::FileIn(FilledFolder())).size();
    const qint64 kept = qint64(PaymentSample().request.size() + PaymentSample().reply.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(fileBytes);
    state.counters["ratio"] = double(fileBytes) / double(Exchanges) / double(kept);
    state.counters["exchange_bytes"] = double(kept);

    QTemporaryDir dir(QDir(FilledFolder()).filePath(QStringLiteral("../bare-XXXXXX")));
    const QString bare = QDir(dir.path()).filePath(QStringLiteral("bare.sqlite"));
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(bare).constData(), &db);
    sqlite3_exec(
        db,
        "PRAGMA synchronous = OFF; CREATE TABLE t (id INTEGER PRIMARY KEY, request BLOB, reply BLOB); BEGIN",
        nullptr, nullptr, nullptr);
    constexpr int BareRows = 10000;
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t (request, reply) VALUES (?, ?)", -1, &insert, nullptr);
    for (int i = 0; i < BareRows; ++i) {
        sqlite3_bind_blob(insert, 1, PaymentSample().request.constData(), int(PaymentSample().request.size()),
                          SQLITE_STATIC);
        sqlite3_bind_blob(insert, 2, PaymentSample().reply.constData(), int(PaymentSample().reply.size()),
                          SQLITE_STATIC);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    state.counters["floor_ratio"] = double(QFileInfo(bare).size()) / double(BareRows) / double(kept);
}
BENCHMARK(FileSizePerExchange)->Iterations(1);

} // namespace
