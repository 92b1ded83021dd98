#include "journal/Journal.h"

#include "EachStore.h"
#include "support/FileSizeLimit.h"
#include "support/PrintQt.h"
#include "support/Raised.h"
#include "support/ReadOnlyFolder.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

const QDateTime Origin(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);

// A clock the test moves: every exchange starts a minute after the one before.
struct SteppingClock {
    std::shared_ptr<QDateTime> now = std::make_shared<QDateTime>(Origin);
    Journal::Options options() const
    {
        return {QStringLiteral("1.2"), [now = now] {
                    const QDateTime at = *now;
                    *now = now->addSecs(60);
                    return at;
                }};
    }
};

ExchangeStart Payment(const QString& bill, qint64 amount, const QByteArray& request)
{
    ExchangeStart start;
    start.operation = QStringLiteral("payment");
    start.service = QStringLiteral("http://127.0.0.1:1/gateway");
    start.soapAction = QStringLiteral("urn:pay");
    start.request = request;
    start.identifiers.supplierBillId = bill;
    start.identifiers.amountKopecks = amount;
    start.identifiers.payerIdentifier = QStringLiteral("1010000000001234567890");
    start.signer = {QStringLiteral("Bank"), QStringLiteral("01AB"), QStringLiteral("CN=Signer")};
    return start;
}

ExchangeEnd Ended(ExchangeOutcome outcome, const QByteArray& reply, const QString& package = {})
{
    ExchangeEnd end;
    end.outcome = outcome;
    end.httpStatus = 200;
    end.reply = reply;
    end.identifiers.packageId = package;
    return end;
}

QList<qint64> Ids(const QList<ExchangeRecord>& rows)
{
    QList<qint64> ids;
    for (const ExchangeRecord& row : rows)
        ids << row.id;
    return ids;
}

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

using JournalStores = EachJournalStore;

} // namespace

INSTANTIATE_FOR_EACH_JOURNAL_STORE(JournalStores);

// The bytes come back exactly (compressed or not), the file is its owner's only, identifiers of
// the reply are added to those of the request, and pages of a filter cover exactly its rows,
// newest first, however they are cut.
TEST_P(JournalStores, KeepsExactBytesAndPagesThroughFilters)
{
    QTemporaryDir dir;
    SteppingClock clock;
    Journal journal(dir.path(), on(clock.options()));
    if (!onServer()) {
        EXPECT_EQ(QFile::permissions(journal.fileName()),
                  QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }

    const QByteArray xml = QByteArray("<?xml version=\"1.0\"?>\r\n<a>") + QByteArray(5000, 'x') + "</a>";
    const QByteArray binary = RandomBytes(3000);
    const qint64 first = journal.begin(Payment(QStringLiteral("18810000000000000001"), 150000, xml));
    journal.complete(first, Ended(ExchangeOutcome::accepted, binary, QStringLiteral("pkg-1")));
    std::optional<ExchangeRecord> stored = journal.exchange(first);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->request, xml);
    EXPECT_EQ(stored->reply, binary);
    EXPECT_EQ(stored->identifiers.packageId, u"pkg-1");
    EXPECT_EQ(stored->identifiers.supplierBillId, u"18810000000000000001");
    EXPECT_EQ(stored->started, Origin);
    EXPECT_EQ(stored->ended, Origin.addSecs(60));

    // 240 more, cycling through operations and outcomes.
    const QList<ExchangeOutcome> outcomes{ExchangeOutcome::accepted, ExchangeOutcome::refused,
                                          ExchangeOutcome::transport};
    for (int i = 0; i < 240; ++i) {
        ExchangeStart start =
            Payment(QStringLiteral("188100000000000%1").arg(i, 5, 10, QLatin1Char('0')), i, xml);
        start.operation = JournalOperationNames()[i % 3];
        journal.complete(journal.begin(start), Ended(outcomes[i % 3], "<r/>"));
    }

    JournalFilter filter;
    filter.from = Origin.addSecs(60 * 100);
    filter.to = Origin.addSecs(60 * 400);
    filter.operation = QStringLiteral("charges");
    QList<qint64> seen;
    std::optional<JournalCursor> cursor;
    do {
        const JournalPage page = journal.page(filter, cursor, 7);
        seen += Ids(page.rows);
        cursor = page.next;
    } while (cursor);
    QList<qint64> expected;
    for (int i = 239; i >= 0; --i) {
        const QDateTime started = Origin.addSecs(60 * (2 + 2 * i));
        if (i % 3 == 2 && started >= filter.from && started < filter.to)
            expected << first + 1 + i;
    }
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(journal.count(filter), expected.size());

    JournalFilter refused;
    refused.outcome = ExchangeOutcome::refused;
    refused.search = QStringLiteral("18810000000000000031");
    EXPECT_EQ(Ids(journal.page(refused).rows), QList<qint64>{first + 1 + 31});
    refused.search = QStringLiteral("18810000000000000030");
    EXPECT_TRUE(journal.page(refused).rows.isEmpty());
    JournalFilter byPackage;
    byPackage.search = QStringLiteral("PKG-1");
    EXPECT_EQ(Ids(journal.page(byPackage).rows), QList<qint64>{first});

    // A reply's key finds the earliest exchange that received it, also after the journal is opened
    // again.
    const QString key = QString(64, u'a');
    for (const qint64 id : {first + 5, first + 9}) {
        ExchangeEnd end = Ended(ExchangeOutcome::unverified, "<r/>");
        end.replyKey = key;
        const qint64 row = journal.begin(Payment(QString::number(id), id, xml));
        journal.complete(row, end);
    }
    const Journal reopened(dir.path(), on(clock.options()));
    const std::optional<qint64> earliest = reopened.firstWithReplyKey(key);
    ASSERT_TRUE(earliest);
    EXPECT_EQ(reopened.exchange(*earliest)->replyKey, key);
    EXPECT_EQ(reopened.exchange(*earliest)->identifiers.supplierBillId, QString::number(first + 5));
    EXPECT_FALSE(reopened.firstWithReplyKey(QString(64, u'b')));
    EXPECT_FALSE(reopened.firstWithReplyKey(QString()));
}

// The guard names only what could have been paid: accepted, unknown or still being sent, of the
// same bill, amount and payer; a notification by its order. A guarded begin records nothing while
// it finds one, unless it is the very one the operator agreed to repeat.
TEST_P(JournalStores, RepeatGuardFindsOnlyWhatMayHaveBeenPaid)
{
    QTemporaryDir dir;
    SteppingClock clock;
    Journal journal(dir.path(), on(clock.options()));
    const QString bill = QStringLiteral("18810000000000000777");
    const QString payer = QStringLiteral("1010000000001234567890");
    journal.complete(journal.begin(Payment(bill, 5000, "<p/>")), Ended(ExchangeOutcome::refused, "<f/>"));
    EXPECT_FALSE(journal.findRepeatPayment(bill, 5000, payer));

    const qint64 accepted = journal.begin(Payment(bill, 5000, "<p/>"));
    journal.complete(accepted, Ended(ExchangeOutcome::accepted, "<ok/>", QStringLiteral("pkg-9")));
    const std::optional<RepeatedExchange> repeat = journal.findRepeatPayment(bill, 5000, payer);
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->id, accepted);
    EXPECT_EQ(repeat->outcome, ExchangeOutcome::accepted);
    EXPECT_EQ(repeat->packageId, u"pkg-9");
    EXPECT_EQ(repeat->started, Origin.addSecs(120));
    EXPECT_FALSE(journal.findRepeatPayment(bill, 5001, payer));
    EXPECT_FALSE(journal.findRepeatPayment(bill, 5000, QStringLiteral("2000000000001234567890")));

    const GuardedBegin stopped = journal.beginUnlessRepeated(Payment(bill, 5000, "<p/>"));
    EXPECT_EQ(stopped.id, 0);
    ASSERT_TRUE(stopped.repeat);
    EXPECT_EQ(stopped.repeat->id, accepted);
    EXPECT_EQ(journal.count({}), 2);
    const GuardedBegin repeated = journal.beginUnlessRepeated(Payment(bill, 5000, "<p/>"), accepted);
    EXPECT_FALSE(repeated.repeat);
    EXPECT_EQ(journal.findRepeatPayment(bill, 5000, payer)->id, repeated.id);
    // Agreeing to repeat the accepted one does not cover the repeat now being sent.
    EXPECT_EQ(journal.beginUnlessRepeated(Payment(bill, 5000, "<p/>"), accepted).repeat->id, repeated.id);
    EXPECT_FALSE(journal.beginUnlessRepeated(Payment(bill, 5001, "<p/>")).repeat);

    ExchangeStart order;
    order.operation = QStringLiteral("order");
    order.request = "<o/>";
    order.identifiers.orderId = QStringLiteral("20260301000001");
    const qint64 sent = journal.beginUnlessRepeated(order).id;
    EXPECT_EQ(journal.findRepeatNotification(order.identifiers.orderId)->outcome, ExchangeOutcome::sending);
    EXPECT_EQ(journal.findRepeatNotification(order.identifiers.orderId)->id, sent);
    EXPECT_EQ(journal.beginUnlessRepeated(order).repeat->id, sent);
    EXPECT_FALSE(journal.findRepeatNotification(QStringLiteral("20260301000002")));
}

// Nothing may be sent that the journal could not record: a folder that cannot be written, a full
// disk and a damaged file all refuse, name the file and leave it as it was.
TEST(Journal, RefusesWhatItCannotRecord)
{
    QTemporaryDir dir;
    const QString file = Journal::FileIn(dir.path());
    {
        Journal journal(dir.path());
        journal.begin(Payment(QStringLiteral("1"), 1, "<p/>"));
        // A full disk: the request does not fit under the limit.
        const ScopedFileSizeLimit limit(QFile(file + QStringLiteral("-wal")).size() + 4096);
        const QString message = Raised<EJournalError>(
            [&] { journal.begin(Payment(QStringLiteral("2"), 2, RandomBytes(1 << 20))); });
        EXPECT_TRUE(message.contains(file)) << message.toStdString();
        EXPECT_FALSE(message.section(u'\n', 1).isEmpty()) << message.toStdString();
    }
    EXPECT_EQ(Journal(dir.path()).count({}), 1);

    QTemporaryDir damagedDir;
    const QByteArray garbage = QByteArray("not a journal at all ") + RandomBytes(8000);
    QFile damaged(Journal::FileIn(damagedDir.path()));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(garbage);
    damaged.close();
    const QString message = Raised<EJournalError>([&] { Journal journal(damagedDir.path()); });
    EXPECT_TRUE(message.contains(damaged.fileName())) << message.toStdString();
    EXPECT_TRUE(message.contains(u"not a database")) << message.toStdString();
    ASSERT_TRUE(damaged.open(QIODevice::ReadOnly));
    EXPECT_EQ(damaged.readAll(), garbage);

    {
        const ReadOnlyFolder readOnly(dir.path());
        if (!readOnly.isReadOnly())
            GTEST_SKIP() << "the folder could not be made read-only here";
        const QString message = Raised<EJournalError>([&] { Journal journal(dir.path()); });
        EXPECT_TRUE(message.contains(file)) << message.toStdString();
    }
}

// Archiving moves exactly the finished exchanges begun before the date, with their bytes, into a
// file that passes the integrity check; a row still being sent stays; a second run adds to it.
TEST_P(JournalStores, ArchiveMovesExactlyTheRowsAsked)
{
    QTemporaryDir dir;
    QTemporaryDir archiveDir;
    SteppingClock clock;
    Journal journal(dir.path(), on(clock.options()));
    const qint64 stillSending = journal.begin(Payment(QStringLiteral("0"), 0, "<p/>"));
    QList<qint64> finished;
    for (int i = 1; i < 10; ++i) {
        finished << journal.begin(Payment(QString::number(i), i, RandomBytes(900 + i)));
        journal.complete(finished.last(), Ended(ExchangeOutcome::accepted, QByteArray(i, 'r')));
    }
    // Exchanges start every two minutes: the sending one, then the nine finished ones.
    const QString archiveFile = Journal::FileIn(archiveDir.path());
    EXPECT_EQ(journal.archive(Origin.addSecs(60 * 7), archiveFile), 3);
    EXPECT_EQ(journal.archive(Origin.addSecs(60 * 11), archiveFile), 2);
    EXPECT_TRUE(journal.check().isEmpty());

    JournalFilter all;
    EXPECT_EQ(Ids(journal.page(all).rows),
              (QList<qint64>{finished[8], finished[7], finished[6], finished[5], stillSending}));
    const std::optional<ExchangeRecord> kept = journal.exchange(finished[1]);
    EXPECT_FALSE(kept);

    const QByteArray movedRequest = RandomBytes(902);
    Journal archive(archiveDir.path());
    EXPECT_TRUE(archive.check().isEmpty());
    EXPECT_EQ(Ids(archive.page(all).rows),
              (QList<qint64>{finished[4], finished[3], finished[2], finished[1], finished[0]}));
    EXPECT_EQ(archive.exchange(finished[1])->request, movedRequest);
    EXPECT_EQ(archive.exchange(finished[1])->reply, QByteArray(2, 'r'));
}
