#pragma once

#include "journal/Exchange.h"

#include <QVariantList>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// How every store keeps times and bytes, so that an exchange moved from one store into another (an
// archive, a copy into a shared journal) comes out the same.

// UTC as yyyy-MM-ddTHH:mm:ss.zzzZ: text order is time order.
QString StoredTimeText(const QDateTime& time);
// The time of such a text; invalid for the empty text.
QDateTime StoredTime(const QString& text);

// Bytes as a store keeps them: `identity` is the bytes themselves; `zlib` a 4-byte big-endian length
// followed by a zlib stream (Qt's qCompress), used when it makes them smaller.
struct EncodedBody {
    const char* encoding;
    QByteArray bytes;
};
EncodedBody EncodeBody(const QByteArray& bytes);
// The exact bytes, or nothing when a compressed body is damaged.
std::optional<QByteArray> DecodeBody(const QString& encoding, const QByteArray& stored);

// A new exchange's origin key: 32 random hexadecimal digits.
QString NewOriginKey();

// An exchange's columns in every store, in the order ReadStoredRecord reads them and
// StoredRecordValues gives them (the owner and the bytes apart).
extern const char* const StoredRecordColumns;
constexpr int StoredRecordColumnCount = 29;

// The values of those columns: texts, integers, and a null QVariant for what is unknown.
QVariantList StoredRecordValues(const ExchangeRecord& record);

// An exchange from a row of a store's statement whose first columns are StoredRecordColumns, read
// with its text(), integer() and optionalInteger().
template <class Row> ExchangeRecord ReadStoredRecord(const Row& row)
{
    ExchangeRecord record;
    int c = 0;
    record.id = row.integer(c++);
    record.runId = row.text(c++);
    record.operation = row.text(c++);
    record.started = StoredTime(row.text(c++));
    record.ended = StoredTime(row.text(c++));
    record.service = row.text(c++);
    record.soapAction = row.text(c++);
    if (const auto status = row.optionalInteger(c++))
        record.httpStatus = int(*status);
    record.outcome = OutcomeFromName(row.text(c++)).value_or(ExchangeOutcome::unknown);
    record.code = row.text(c++);
    record.text = row.text(c++);
    ExchangeIdentifiers& ids = record.identifiers;
    ids.supplierBillId = row.text(c++);
    ids.amountKopecks = row.optionalInteger(c++);
    ids.paymentDate = row.text(c++);
    ids.payerIdentifier = row.text(c++);
    ids.packageId = row.text(c++);
    ids.smevMessageId = row.text(c++);
    ids.orderId = row.text(c++);
    ids.messageGuid = row.text(c++);
    ids.statusCode = row.text(c++);
    ids.recordCount = row.optionalInteger(c++);
    record.signer.container = row.text(c++);
    record.signer.certificateSerial = row.text(c++);
    record.signer.certificateSubject = row.text(c++);
    record.host = row.text(c++);
    record.user = row.text(c++);
    record.programVersion = row.text(c++);
    record.origin = row.text(c++);
    record.replyKey = row.text(c++);
    return record;
}
