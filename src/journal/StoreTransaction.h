#pragma once

#include "foundation/ErrorTexts.h"
#include "journal/Journal.h"

// What a store's connection was doing when it failed, and so the words its message takes.
enum class StorePurpose { open, read, write };

// Raises EJournalError naming the store's file or server and giving the store's reason.
[[noreturn]] inline void RaiseJournalError(StorePurpose purpose, const QString& location,
                                           const QString& reason)
{
    switch (purpose) {
    case StorePurpose::open:
        throw EJournalError(JournalOpenErrorText(location, reason));
    case StorePurpose::read:
        throw EJournalError(JournalReadErrorText(location, reason));
    case StorePurpose::write:
        break;
    }
    throw EJournalError(JournalWriteErrorText(location, reason));
}

// A transaction of a store's connection `Db` (its begin(purpose), exec(sql, purpose) and
// rollback()), rolled back unless committed.
template <class Db> class StoreTransaction final {
  public:
    StoreTransaction(const Db& db, StorePurpose purpose) : db_(db), purpose_(purpose) { db_.begin(purpose_); }
    ~StoreTransaction()
    {
        if (!done_)
            db_.rollback();
    }
    StoreTransaction(const StoreTransaction&) = delete;
    StoreTransaction& operator=(const StoreTransaction&) = delete;
    void commit()
    {
        db_.exec("COMMIT", purpose_);
        done_ = true;
    }

  private:
    const Db& db_;
    StorePurpose purpose_;
    bool done_ = false;
};
