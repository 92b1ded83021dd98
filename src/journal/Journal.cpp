#include "journal/Journal.h"

#include "journal/PostgresJournalStore.h"
#include "journal/SqliteJournalStore.h"

#include <QDir>

namespace {

const QString AbandonedText = QStringLiteral(
    "Программа завершилась во время обмена: получен ли запрос, неизвестно. Узнайте его статус, прежде чем "
    "отправлять снова.");

// What the repeat guard looks for before `operation` with these identifiers is sent: a payment of
// the same bill, amount and payer, a notification of the same order; nothing for the rest.
std::optional<RepeatQuery> RepeatQueryOf(const QString& operation, const ExchangeIdentifiers& ids)
{
    if (operation == u"payment")
        return RepeatQuery{operation, ids.supplierBillId, ids.amountKopecks, ids.payerIdentifier, {}};
    if (operation == u"order" && !ids.orderId.isEmpty())
        return RepeatQuery{operation, {}, std::nullopt, {}, ids.orderId};
    return std::nullopt;
}

} // namespace

QString Journal::FileIn(const QString& folder)
{
    return QDir(folder).filePath(QStringLiteral("journal.sqlite"));
}

Journal::Journal(const QString& folder) : Journal(folder, Options()) {}

Journal::Journal(const QString& folder, Options options)
    : fileName_(options.database.isEmpty() ? FileIn(folder) : options.database), options_(std::move(options))
{
    if (!options_.clock)
        options_.clock = [] { return QDateTime::currentDateTimeUtc(); };
    if (options_.database.isEmpty())
        store_ = std::make_unique<SqliteJournalStore>(fileName_);
    else
        store_ = std::make_unique<PostgresJournalStore>(fileName_);
    const ProcessOwner self = CurrentProcessOwner();
    origin_ = {self.host, CurrentUserName(), options_.programVersion, self};
    recovered_ = store_->abandonSending(
        [&self](const ProcessOwner& owner) { return OwnerIsGone(owner, self); }, AbandonedText);
}

Journal::~Journal() = default;

qint64 Journal::begin(const ExchangeStart& start)
{
    const std::lock_guard lock(mutex_);
    return store_->begin(start, options_.clock(), origin_);
}

GuardedBegin Journal::beginUnlessRepeated(const ExchangeStart& start, std::optional<qint64> acknowledged)
{
    const std::optional<RepeatQuery> query = RepeatQueryOf(start.operation, start.identifiers);
    if (!query)
        return {begin(start), std::nullopt};
    const std::lock_guard lock(mutex_);
    return store_->beginUnlessRepeated(start, *query, acknowledged, options_.clock(), origin_);
}

void Journal::complete(qint64 id, const ExchangeEnd& end)
{
    const std::lock_guard lock(mutex_);
    store_->complete(id, end, options_.clock());
}

std::optional<RepeatedExchange> Journal::findRepeat(const QString& operation,
                                                    const ExchangeIdentifiers& identifiers) const
{
    const std::optional<RepeatQuery> query = RepeatQueryOf(operation, identifiers);
    if (!query)
        return std::nullopt;
    const std::lock_guard lock(mutex_);
    return store_->findRepeat(*query);
}

std::optional<RepeatedExchange> Journal::findRepeatPayment(const QString& supplierBillId,
                                                           std::optional<qint64> amountKopecks,
                                                           const QString& payerIdentifier) const
{
    ExchangeIdentifiers identifiers;
    identifiers.supplierBillId = supplierBillId;
    identifiers.amountKopecks = amountKopecks;
    identifiers.payerIdentifier = payerIdentifier;
    return findRepeat(QStringLiteral("payment"), identifiers);
}

std::optional<RepeatedExchange> Journal::findRepeatNotification(const QString& orderId) const
{
    ExchangeIdentifiers identifiers;
    identifiers.orderId = orderId;
    return findRepeat(QStringLiteral("order"), identifiers);
}

JournalPage Journal::page(const JournalFilter& filter, const std::optional<JournalCursor>& after,
                          int limit) const
{
    const std::lock_guard lock(mutex_);
    return store_->page(filter, after, limit);
}

qint64 Journal::count(const JournalFilter& filter) const
{
    const std::lock_guard lock(mutex_);
    return store_->count(filter);
}

std::optional<ExchangeRecord> Journal::exchange(qint64 id) const
{
    const std::lock_guard lock(mutex_);
    return store_->exchange(id);
}

std::optional<ExchangeRecord> Journal::lastOfRun(const QString& runId) const
{
    const std::lock_guard lock(mutex_);
    const std::optional<qint64> id = store_->lastOfRun(runId);
    return id ? store_->exchange(*id) : std::nullopt;
}

std::optional<qint64> Journal::firstWithReplyKey(const QString& replyKey) const
{
    const std::lock_guard lock(mutex_);
    return store_->firstWithReplyKey(replyKey);
}

QStringList Journal::check() const
{
    const std::lock_guard lock(mutex_);
    return store_->check();
}

qint64 Journal::archive(const QDateTime& before, const QString& archiveFile)
{
    const std::lock_guard lock(mutex_);
    return store_->archive(before, archiveFile);
}

qint64 Journal::copyInto(Journal& target) const
{
    const std::scoped_lock lock(mutex_, target.mutex_);
    qint64 added = 0;
    std::optional<JournalCursor> cursor;
    do {
        const JournalPage page = store_->page({}, cursor, 100);
        QList<ExchangeRecord> records;
        for (const ExchangeRecord& row : page.rows) {
            // A row still being sent belongs to a live program; it is copied once it has ended.
            if (row.outcome == ExchangeOutcome::sending)
                continue;
            if (std::optional<ExchangeRecord> record = store_->exchange(row.id))
                records << *std::move(record);
        }
        added += target.store_->import(records, false);
        cursor = page.next;
    } while (cursor);
    return added;
}
