#pragma once

#include "foundation/Exceptions.h"
#include "journal/Exchange.h"
#include "journal/JournalStore.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>

// The journal could not be opened, read or written. The message names the file (or server) and
// gives the store's own reason; nothing may be sent while the journal cannot record it.
ZELVAN_DECLARE_EXCEPTION(EJournalError, Exception);

// The exchange journal: every request exactly as it left and every reply exactly as it came,
// written before the request is posted and completed when the exchange ends. One object per
// program (held by its session); its calls may come from any thread. The program never deletes or
// rewrites what it recorded: archiving moves exchanges into another file of the same schema.
// The settings key naming a shared journal.
inline const QString JournalDatabaseKey = QStringLiteral("JournalDatabase");

class Journal final {
  public:
    struct Options {
        QString programVersion;
        std::function<QDateTime()> clock; // the current time; the system's UTC clock when empty
        // A shared journal's PostgreSQL URI (the settings' JournalDatabase); empty: the data
        // folder's SQLite file. Initialised so that options braced without it stay complete.
        QString database = {};
    };

    // The journal file of a data folder.
    static QString FileIn(const QString& folder);

    // Opens the journal of `folder` (journal.sqlite, made with mode 0600 when missing), or the
    // shared one `options.database` names, brings its schema up to date (making its tables on a
    // server where the user may) and turns rows left `sending` by processes that are gone into
    // `unknown`. A journal that cannot be opened raises EJournalError and is left as it is; a
    // server that cannot be reached is never replaced by the file.
    explicit Journal(const QString& folder);
    Journal(const QString& folder, Options options);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // The file, or the server's address (without a password).
    const QString& fileName() const { return fileName_; }
    // How many rows opening turned from `sending` into `unknown`.
    qsizetype recoveredOnOpen() const { return recovered_; }

    // Records an exchange as `sending`, durably, and returns its identifier. Call it after the
    // request is signed and before it is posted; when it raises, the request must not be posted.
    qint64 begin(const ExchangeStart& start);
    // Ends the exchange `begin` returned. A request that was posted but got no answer anyone knows
    // (a stop after sending) ends `unknown`; one stopped before posting ends `cancelled`.
    void complete(qint64 id, const ExchangeEnd& end);
    // `begin` for a payment or a notification, unless the repeat guard finds an earlier one other
    // than `acknowledged` (the one the operator already agreed to repeat): then nothing is recorded
    // and that one is returned. The search and the new row are one transaction, so programs sending
    // the same payment at the same moment cannot both begin it. Other operations just begin.
    GuardedBegin beginUnlessRepeated(const ExchangeStart& start,
                                     std::optional<qint64> acknowledged = std::nullopt);

    // The repeat guard: the newest payment of the same bill, amount and payer, or notification of
    // the same order, that was accepted, is unknown or is being sent (by any process). Operations
    // the guard does not watch find nothing.
    std::optional<RepeatedExchange> findRepeat(const QString& operation,
                                               const ExchangeIdentifiers& identifiers) const;
    std::optional<RepeatedExchange> findRepeatPayment(const QString& supplierBillId,
                                                      std::optional<qint64> amountKopecks,
                                                      const QString& payerIdentifier) const;
    std::optional<RepeatedExchange> findRepeatNotification(const QString& orderId) const;

    // Exchanges newest first, `limit` at a time: pass the previous page's `next` for the one after.
    JournalPage page(const JournalFilter& filter, const std::optional<JournalCursor>& after = std::nullopt,
                     int limit = 100) const;
    qint64 count(const JournalFilter& filter) const;
    // One exchange with its exact bytes.
    std::optional<ExchangeRecord> exchange(qint64 id) const;
    // The newest exchange of a run (ExchangeStart::runId), of any outcome, with its exact bytes.
    std::optional<ExchangeRecord> lastOfRun(const QString& runId) const;
    // The earliest exchange that received a reply with this key (ExchangeEnd::replyKey), of any
    // outcome; a row still being sent has no key yet.
    std::optional<qint64> firstWithReplyKey(const QString& replyKey) const;

    // The integrity check: empty when the file is sound, else what is wrong.
    QStringList check() const;
    // Moves the finished exchanges that started before `before` into `archiveFile` (a journal file
    // of the same schema, made when missing); returns how many moved.
    qint64 archive(const QDateTime& before, const QString& archiveFile);

    // Copies the finished exchanges of this journal into `target` (a workstation's file into the
    // shared journal) with their bytes, leaving out those it already holds; how many it added.
    qint64 copyInto(Journal& target) const;

  private:
    QString fileName_;
    Options options_;
    mutable std::mutex mutex_;
    std::unique_ptr<JournalStore> store_;
    // Who writes this program's rows; the process does not change while the journal is open.
    RowOrigin origin_;
    qsizetype recovered_ = 0;
};
