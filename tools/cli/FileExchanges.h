#pragma once

// The exchange journal as the exchange folders use it: every exchange of an inbox file recorded
// under the file's identity (its name and a hash of its content), so that a service killed at any
// moment finds on restart what became of the file, and the journal's repeat guard applied to it.

#include "client/Operations.h"
#include "journal/Journal.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <exception>
#include <optional>

// The journal already holds a payment or a notification like the one about to be signed.
ZELVAN_DECLARE_EXCEPTION(ERepeatedExchange, Exception);

class FileExchanges final {
  public:
    // `shownName`: the file's name in the inbox; `content`: its bytes as it lies there.
    FileExchanges(Journal& journal, Operation operation, const QString& shownName, const QByteArray& content);

    // The newest exchange recorded for this file by an earlier run, with its bytes.
    std::optional<ExchangeRecord> earlier() const;

    // For OperationInputs::posting: the repeat guard, then the exchange recorded `sending`.
    // Raises ERepeatedExchange or EJournalError; the request then does not leave.
    void posting(const QString& service, const QString& soapAction, const QByteArray& request);
    // For OperationInputs::received.
    void received(const QByteArray& reply);
    bool posted() const { return !rows_.isEmpty(); }

    // Ends every exchange of the file: all accepted when `error` is null, else every one but the
    // last, which ends as the error says; `mayHaveArrived`: a request that may have reached the
    // state system without an answer ends `unknown`.
    void complete(const std::exception_ptr& error, const QString& message, bool mayHaveArrived,
                  const QString& packageId, const QString& messageGuid);

  private:
    struct Row {
        qint64 id = 0;
        QByteArray reply;
    };

    Journal& journal_;
    Operation operation_;
    QString runId_;
    QList<Row> rows_;
};
