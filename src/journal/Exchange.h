#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// What one exchange with a state system leaves in the journal: the exact bytes in both directions
// and what identifies it, so that it can be shown years later and a payment is not sent twice.

// How an exchange ended. `sending` is the state of a row written before its request leaves;
// `unknown` is a request that left without an answer anyone knows of (a crash, a stop after sending).
enum class ExchangeOutcome { sending, accepted, refused, transport, unverified, cancelled, unknown };

// The stored names ("accepted", …) and the operator's words for them.
QString OutcomeName(ExchangeOutcome outcome);
std::optional<ExchangeOutcome> OutcomeFromName(const QString& name);
QString OutcomeCaption(ExchangeOutcome outcome);

// The operations by the names zelvan-cli gives them ("payment", "package-status", "charges",
// "document-details", "order", "cancellation", "get-state"), and their captions.
const QList<QString>& JournalOperationNames();
QString OperationCaption(const QString& operation);

// The identifiers a request or its reply carries. Empty texts and unset numbers are unknown.
struct ExchangeIdentifiers {
    QString supplierBillId;
    std::optional<qint64> amountKopecks;
    QString paymentDate;
    QString payerIdentifier;
    QString packageId;
    QString smevMessageId;
    QString orderId;
    QString messageGuid;
    QString statusCode;
    std::optional<qint64> recordCount;
};

// Who signed the request.
struct ExchangeSigner {
    QString container;
    QString certificateSerial;
    QString certificateSubject;
};

// What is known before the request leaves.
struct ExchangeStart {
    QString operation; // one of JournalOperationNames()
    // Groups the exchanges of one operation run: the pages of a charges request, a follow-up.
    QString runId;
    QString service;
    QString soapAction;
    QByteArray request; // exactly as posted
    QByteArray timeStampToken;
    ExchangeIdentifiers identifiers;
    ExchangeSigner signer;
};

// What is known when the exchange ends.
struct ExchangeEnd {
    ExchangeOutcome outcome = ExchangeOutcome::unknown;
    std::optional<int> httpStatus;
    QByteArray reply; // exactly as received, also when it could not be read
    QString code;     // the fault's or the negative result's code
    QString text;     // its text, or the error's message
    // What the reply names; fills in what the start did not know (a package's identifier).
    ExchangeIdentifiers identifiers;
    // The key of a reply whose signature verified (CheckReplySignature), kept even when the reply
    // was then refused: the same reply served again has the same key.
    QString replyKey;
};

// One exchange as the journal holds it. The bytes are read only when one exchange is asked for.
struct ExchangeRecord {
    qint64 id = 0;
    QString operation;
    QString runId;
    QDateTime started; // UTC
    QDateTime ended;   // invalid while sending or when it never ended
    QString service;
    QString soapAction;
    std::optional<int> httpStatus;
    ExchangeOutcome outcome = ExchangeOutcome::sending;
    QString code;
    QString text;
    ExchangeIdentifiers identifiers;
    ExchangeSigner signer;
    QString host;
    QString user;
    QString programVersion;
    // The exchange's own key, kept when it is copied into another journal.
    QString origin;
    QString replyKey; // ExchangeEnd::replyKey
    QByteArray request;
    QByteArray reply;
    QByteArray timeStampToken;
};

// Which exchanges a list shows. Unset parts do not filter.
struct JournalFilter {
    QDateTime from; // inclusive
    QDateTime to;   // exclusive
    QString operation;
    std::optional<ExchangeOutcome> outcome;
    // An identifier the exchange carries (UIN, payer, package, MessageID, order, MessageGUID),
    // whole, letter case aside.
    QString search;
};

// Where the next page starts: after this row, in the newest-first order.
struct JournalCursor {
    QDateTime started;
    qint64 id = 0;
};

struct JournalPage {
    QList<ExchangeRecord> rows;
    std::optional<JournalCursor> next; // nothing when this was the last page
};

// An earlier exchange the repeat guard found: what the question to the operator names.
struct RepeatedExchange {
    qint64 id = 0;
    QDateTime started; // UTC
    ExchangeOutcome outcome = ExchangeOutcome::sending;
    QString packageId;
    QString messageGuid;
};

// A begin that the repeat guard may stop: the new exchange's identifier, or the earlier exchange
// that stopped it (and then nothing was recorded).
struct GuardedBegin {
    qint64 id = 0;
    std::optional<RepeatedExchange> repeat;
};
