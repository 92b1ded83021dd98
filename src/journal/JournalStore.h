#pragma once

#include "journal/Exchange.h"
#include "journal/ProcessOwner.h"

#include <QStringList>

#include <functional>

// Where and by whom a row is written.
struct RowOrigin {
    QString host;
    QString user;
    QString programVersion;
    ProcessOwner owner;
};

// The earlier exchange the repeat guard looks for: a payment by its bill, amount and payer, a
// notification by its order.
struct RepeatQuery {
    QString operation;
    QString supplierBillId;
    std::optional<qint64> amountKopecks;
    QString payerIdentifier;
    QString orderId;
};

// One kind of storage behind the journal (a SQLite file; a shared server later). The journal
// serialises the calls; a store raises EJournalError naming itself and the store's own reason.
class JournalStore {
  public:
    virtual ~JournalStore() = default;

    // Written and made durable before it returns.
    virtual qint64 begin(const ExchangeStart& start, const QDateTime& at, const RowOrigin& origin) = 0;
    // Begins unless `findRepeat(query)` finds an exchange other than `acknowledged` (the one the
    // operator already agreed to repeat). The search and the new row are one transaction that no
    // other program's guard of the same query can interleave with, so two cannot both begin.
    virtual GuardedBegin beginUnlessRepeated(const ExchangeStart& start, const RepeatQuery& query,
                                             std::optional<qint64> acknowledged, const QDateTime& at,
                                             const RowOrigin& origin) = 0;
    virtual void complete(qint64 id, const ExchangeEnd& end, const QDateTime& at) = 0;
    // Turns the rows still `sending` whose owner `isGone` into `unknown` with `text`; their count.
    virtual qsizetype abandonSending(const std::function<bool(const ProcessOwner&)>& isGone,
                                     const QString& text) = 0;
    // The newest matching exchange whose outcome is accepted, unknown or sending.
    virtual std::optional<RepeatedExchange> findRepeat(const RepeatQuery& query) = 0;
    virtual JournalPage page(const JournalFilter& filter, const std::optional<JournalCursor>& after,
                             int limit) = 0;
    virtual qint64 count(const JournalFilter& filter) = 0;
    virtual std::optional<ExchangeRecord> exchange(qint64 id) = 0;
    // The newest exchange of the run, of any outcome.
    virtual std::optional<qint64> lastOfRun(const QString& runId) = 0;
    // The earliest exchange whose reply has the key (ExchangeEnd::replyKey).
    virtual std::optional<qint64> firstWithReplyKey(const QString& replyKey) = 0;
    // The store's own consistency check: empty when all is well, else each problem it names.
    virtual QStringList check() = 0;
    // Moves the finished exchanges that started before `before` into the SQLite file `archiveFile`
    // (made when missing); the archive is written and synced before anything leaves the store.
    virtual qint64 archive(const QDateTime& before, const QString& archiveFile) = 0;
    // Adds finished exchanges of another journal (with their bytes and origin keys) in one
    // transaction, leaving out those whose origin key the store already holds; how many it added.
    // `keepIds`: under their own identifiers (an archive), else under new ones (a copy).
    virtual qint64 import(const QList<ExchangeRecord>& records, bool keepIds) = 0;
};
