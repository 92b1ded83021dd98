#include "journal/StoredValues.h"

#include <QUuid>

namespace {

// Below this a body is kept as it is: compressing it saves next to nothing.
constexpr qsizetype CompressFrom = 256;

} // namespace

QString StoredTimeText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QDateTime StoredTime(const QString& text)
{
    if (text.isEmpty())
        return {};
    return QDateTime::fromString(text, Qt::ISODateWithMs).toUTC();
}

EncodedBody EncodeBody(const QByteArray& bytes)
{
    if (bytes.size() >= CompressFrom) {
        QByteArray compressed = qCompress(bytes);
        if (compressed.size() < bytes.size())
            return {"zlib", std::move(compressed)};
    }
    return {"identity", bytes};
}

std::optional<QByteArray> DecodeBody(const QString& encoding, const QByteArray& stored)
{
    if (encoding != u"zlib")
        return stored;
    QByteArray bytes = qUncompress(stored);
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QString NewOriginKey()
{
    return QUuid::createUuid().toString(QUuid::Id128);
}

const char* const StoredRecordColumns =
    "id, run_id, operation, started_at, ended_at, service, soap_action, http_status, outcome, outcome_code, "
    "outcome_text, supplier_bill_id, amount, payment_date, payer_identifier, package_id, smev_message_id, "
    "order_id, message_guid, status_code, record_count, signer_container, signer_serial, signer_subject, "
    "host, user_name, program_version, origin, reply_key";

QVariantList StoredRecordValues(const ExchangeRecord& record)
{
    // Unknown identifiers are NULL, so that they never match another unknown value.
    const auto orNull = [](const QString& text) { return text.isEmpty() ? QVariant() : QVariant(text); };
    const auto optional = [](const std::optional<qint64>& value) {
        return value ? QVariant(*value) : QVariant();
    };
    const ExchangeIdentifiers& ids = record.identifiers;
    return {record.id,
            record.runId,
            record.operation,
            StoredTimeText(record.started),
            record.ended.isValid() ? QVariant(StoredTimeText(record.ended)) : QVariant(),
            record.service,
            record.soapAction,
            record.httpStatus ? QVariant(qint64(*record.httpStatus)) : QVariant(),
            OutcomeName(record.outcome),
            record.code,
            record.text,
            orNull(ids.supplierBillId),
            optional(ids.amountKopecks),
            orNull(ids.paymentDate),
            orNull(ids.payerIdentifier),
            orNull(ids.packageId),
            orNull(ids.smevMessageId),
            orNull(ids.orderId),
            orNull(ids.messageGuid),
            orNull(ids.statusCode),
            optional(ids.recordCount),
            record.signer.container,
            record.signer.certificateSerial,
            record.signer.certificateSubject,
            record.host,
            record.user,
            record.programVersion,
            record.origin,
            orNull(record.replyKey)};
}
