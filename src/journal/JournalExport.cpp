#include "journal/JournalExport.h"

#include "foundation/AtomicFileWriter.h"
#include "foundation/Convert.h"
#include "journal/Journal.h"

#include <QStringList>

namespace {

QByteArray CsvLine(const QStringList& fields)
{
    QByteArray line;
    for (const QString& field : fields) {
        if (!line.isEmpty())
            line += ';';
        QString quoted = field;
        line += '"' + quoted.replace(u'"', QStringLiteral("\"\"")).toUtf8() + '"';
    }
    return line + "\r\n";
}

QString NumberText(const std::optional<qint64>& value)
{
    return value ? QString::number(*value) : QString();
}

} // namespace

QString JournalAmountText(const std::optional<qint64>& kopecks)
{
    return kopecks ? FormatDecimalText(QString::number(*kopecks), 2, -2) : QString();
}

QString JournalSubjectText(const ExchangeRecord& record)
{
    return record.identifiers.supplierBillId.isEmpty() ? record.identifiers.orderId
                                                       : record.identifiers.supplierBillId;
}

QString JournalTimeText(const QDateTime& time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
}

QByteArray JournalCsvHeader()
{
    return CsvLine({QStringLiteral("Номер"),
                    QStringLiteral("Начало"),
                    QStringLiteral("Окончание"),
                    QStringLiteral("Операция"),
                    QStringLiteral("Исход"),
                    QStringLiteral("Код"),
                    QStringLiteral("Текст"),
                    QStringLiteral("УИН"),
                    QStringLiteral("Сумма"),
                    QStringLiteral("Дата платежа"),
                    QStringLiteral("Идентификатор плательщика"),
                    QStringLiteral("Идентификатор пакета"),
                    QStringLiteral("MessageID"),
                    QStringLiteral("Идентификатор распоряжения"),
                    QStringLiteral("MessageGUID"),
                    QStringLiteral("Код статуса"),
                    QStringLiteral("Записей"),
                    QStringLiteral("HTTP"),
                    QStringLiteral("Адрес сервиса"),
                    QStringLiteral("SOAPAction"),
                    QStringLiteral("Контейнер"),
                    QStringLiteral("Серийный номер сертификата"),
                    QStringLiteral("Владелец сертификата"),
                    QStringLiteral("Компьютер"),
                    QStringLiteral("Пользователь"),
                    QStringLiteral("Версия")});
}

QByteArray JournalCsvRow(const ExchangeRecord& record)
{
    const ExchangeIdentifiers& ids = record.identifiers;
    return CsvLine({QString::number(record.id),
                    JournalTimeText(record.started),
                    JournalTimeText(record.ended),
                    OperationCaption(record.operation),
                    OutcomeCaption(record.outcome),
                    record.code,
                    record.text,
                    ids.supplierBillId,
                    JournalAmountText(ids.amountKopecks).replace(u'.', u','),
                    ids.paymentDate,
                    ids.payerIdentifier,
                    ids.packageId,
                    ids.smevMessageId,
                    ids.orderId,
                    ids.messageGuid,
                    ids.statusCode,
                    NumberText(ids.recordCount),
                    record.httpStatus ? QString::number(*record.httpStatus) : QString(),
                    record.service,
                    record.soapAction,
                    record.signer.container,
                    record.signer.certificateSerial,
                    record.signer.certificateSubject,
                    record.host,
                    record.user,
                    record.programVersion});
}

void ForEachExchange(const Journal& journal, const JournalFilter& filter,
                     const std::function<void(const QList<ExchangeRecord>& page)>& visit)
{
    std::optional<JournalCursor> cursor;
    do {
        const JournalPage page = journal.page(filter, cursor, 500);
        visit(page.rows);
        cursor = page.next;
    } while (cursor);
}

qint64 ExportJournalCsv(const Journal& journal, const JournalFilter& filter, const QString& fileName)
{
    qint64 count = 0;
    WriteFileAtomically(fileName, [&](const AtomicWriteSink& write) {
        write("\xEF\xBB\xBF" + JournalCsvHeader());
        ForEachExchange(journal, filter, [&](const QList<ExchangeRecord>& rows) {
            QByteArray piece;
            for (const ExchangeRecord& record : rows)
                piece += JournalCsvRow(record);
            write(piece);
            count += rows.size();
        });
    });
    return count;
}
