#include "journal/JournalCommand.h"

#include "foundation/AtomicFileWriter.h"
#include "foundation/DataFolder.h"
#include "foundation/KeyValueFile.h"
#include "journal/Journal.h"
#include "journal/JournalExport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace {

constexpr int Done = 0;
constexpr int Damaged = 1;
constexpr int Failed = 2;

class UsageError final : public Exception {
  public:
    using Exception::Exception;
};

// A local date (yyyy-MM-dd) or date and time; `endOfDay` moves a bare date to the next midnight, so
// that "--to 2026-12-09" includes that day.
QDateTime LocalMoment(const QString& text, bool endOfDay)
{
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid())
        return QDateTime(endOfDay ? date.addDays(1) : date, QTime(0, 0), Qt::LocalTime);
    QDateTime moment = QDateTime::fromString(text, Qt::ISODate);
    if (!moment.isValid())
        throw UsageError(QStringLiteral("Неверная дата: ") + text);
    return moment;
}

// The journal the settings of the data folder name: the shared one of JournalDatabase, else the file.
Journal::Options JournalOptionsIn(const QString& folder)
{
    Journal::Options options;
    const QString settings = QDir(folder).filePath(QStringLiteral("zelvan.ini"));
    if (QFileInfo::exists(settings))
        options.database = KeyValue(ReadKeyValueFile(settings), JournalDatabaseKey);
    return options;
}

QJsonObject JsonOf(const ExchangeRecord& record)
{
    const ExchangeIdentifiers& ids = record.identifiers;
    QJsonObject object{
        {QStringLiteral("id"), record.id},
        {QStringLiteral("operation"), record.operation},
        {QStringLiteral("started"), record.started.toString(Qt::ISODateWithMs)},
        {QStringLiteral("ended"),
         record.ended.isValid() ? record.ended.toString(Qt::ISODateWithMs) : QString()},
        {QStringLiteral("outcome"), OutcomeName(record.outcome)},
        {QStringLiteral("code"), record.code},
        {QStringLiteral("text"), record.text},
        {QStringLiteral("service"), record.service},
        {QStringLiteral("soapAction"), record.soapAction},
        {QStringLiteral("supplierBillId"), ids.supplierBillId},
        {QStringLiteral("amount"), JournalAmountText(ids.amountKopecks)},
        {QStringLiteral("paymentDate"), ids.paymentDate},
        {QStringLiteral("payerIdentifier"), ids.payerIdentifier},
        {QStringLiteral("packageId"), ids.packageId},
        {QStringLiteral("smevMessageId"), ids.smevMessageId},
        {QStringLiteral("orderId"), ids.orderId},
        {QStringLiteral("messageGuid"), ids.messageGuid},
        {QStringLiteral("statusCode"), ids.statusCode},
        {QStringLiteral("container"), record.signer.container},
        {QStringLiteral("certificateSerial"), record.signer.certificateSerial},
        {QStringLiteral("certificateSubject"), record.signer.certificateSubject},
        {QStringLiteral("host"), record.host},
        {QStringLiteral("user"), record.user},
        {QStringLiteral("programVersion"), record.programVersion},
    };
    if (record.httpStatus)
        object.insert(QStringLiteral("httpStatus"), *record.httpStatus);
    if (ids.recordCount)
        object.insert(QStringLiteral("recordCount"), *ids.recordCount);
    return object;
}

QString TextLine(const ExchangeRecord& record)
{
    return QStringList{QString::number(record.id),
                       JournalTimeText(record.started),
                       record.operation,
                       OutcomeName(record.outcome),
                       JournalSubjectText(record),
                       JournalAmountText(record.identifiers.amountKopecks),
                       record.identifiers.packageId.isEmpty() ? record.identifiers.messageGuid
                                                              : record.identifiers.packageId,
                       record.signer.container}
        .join(u'\t');
}

void List(const Journal& journal, const JournalFilter& filter, const QString& format, QTextStream& out)
{
    if (format == u"csv") {
        // The stream writes UTF-8: the byte-order mark and CR LF go out as the file has them.
        out << QChar(QChar::ByteOrderMark) << QString::fromUtf8(JournalCsvHeader());
        ForEachExchange(journal, filter, [&](const QList<ExchangeRecord>& rows) {
            for (const ExchangeRecord& record : rows)
                out << QString::fromUtf8(JournalCsvRow(record));
        });
        return;
    }
    const bool json = format == u"json";
    bool first = true;
    if (json)
        out << "[";
    ForEachExchange(journal, filter, [&](const QList<ExchangeRecord>& rows) {
        for (const ExchangeRecord& record : rows) {
            if (json)
                out << (first ? "\n" : ",\n")
                    << QString::fromUtf8(QJsonDocument(JsonOf(record)).toJson(QJsonDocument::Compact));
            else
                out << TextLine(record) << '\n';
            first = false;
        }
        out.flush();
    });
    if (json)
        out << "\n]\n";
}

void Show(const Journal& journal, qint64 id, const QString& requestFile, const QString& replyFile,
          QTextStream& out)
{
    const std::optional<ExchangeRecord> record = journal.exchange(id);
    if (!record)
        throw UsageError(QStringLiteral("В журнале нет обмена %1.").arg(id));
    const QJsonObject object = JsonOf(*record);
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString value =
            it.value().isDouble() ? QString::number(it.value().toInteger()) : it.value().toString();
        if (!value.isEmpty())
            out << it.key() << ": " << value << '\n';
    }
    out << "requestBytes: " << record->request.size() << '\n';
    out << "replyBytes: " << record->reply.size() << '\n';
    if (!requestFile.isEmpty())
        WriteFileAtomically(requestFile, record->request);
    if (!replyFile.isEmpty())
        WriteFileAtomically(replyFile, record->reply);
}

} // namespace

bool IsJournalCommand(const QStringList& arguments)
{
    return arguments.size() > 1 && arguments[1] == u"journal";
}

int RunJournalCommand(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The exchange journal.\nCOMMAND: list, show ID, check, archive --before DATE FILE, copy --to URI."));
    parser.addPositionalArgument(QStringLiteral("journal"), QStringLiteral("journal"));
    parser.addPositionalArgument(QStringLiteral("COMMAND"),
                                 QStringLiteral("list, show, check, archive or copy."));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("The client's data folder."),
                                  QStringLiteral("DIR"));
    const QCommandLineOption from(QStringLiteral("from"), QStringLiteral("From this local date."),
                                  QStringLiteral("DATE"));
    const QCommandLineOption to(QStringLiteral("to"),
                                QStringLiteral("list: up to this local date, inclusive; copy: the shared "
                                               "journal (postgresql://user@host:port/dbname)."),
                                QStringLiteral("DATE|URI"));
    const QCommandLineOption operation(QStringLiteral("operation"), QStringLiteral("payment, charges, …"),
                                       QStringLiteral("NAME"));
    const QCommandLineOption outcome(QStringLiteral("outcome"),
                                     QStringLiteral("accepted, refused, unknown, …"), QStringLiteral("NAME"));
    const QCommandLineOption search(QStringLiteral("search"),
                                    QStringLiteral("An identifier: UIN, payer, package, MessageID, order, "
                                                   "MessageGUID."),
                                    QStringLiteral("TEXT"));
    const QCommandLineOption format(QStringLiteral("format"), QStringLiteral("text, json or csv."),
                                    QStringLiteral("FORMAT"), QStringLiteral("text"));
    const QCommandLineOption request(QStringLiteral("request"), QStringLiteral("Writes the request's bytes."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption reply(QStringLiteral("reply"), QStringLiteral("Writes the reply's bytes."),
                                   QStringLiteral("FILE"));
    const QCommandLineOption before(QStringLiteral("before"),
                                    QStringLiteral("Archives the exchanges begun before this local date."),
                                    QStringLiteral("DATE"));
    parser.addOptions({data, from, to, operation, outcome, search, format, request, reply, before});
    const QCommandLineOption help = parser.addHelpOption();

    QString command;
    try {
        if (!parser.parse(arguments))
            throw UsageError(parser.errorText());
        if (parser.isSet(help)) {
            out << parser.helpText();
            return Done;
        }
        const QStringList positional = parser.positionalArguments();
        command = positional.value(1);
        const QString folder = LocateDataFolder(parser.value(data), QCoreApplication::applicationDirPath());

        if (command == u"list" && positional.size() == 2) {
            JournalFilter filter;
            if (parser.isSet(from))
                filter.from = LocalMoment(parser.value(from), false);
            if (parser.isSet(to))
                filter.to = LocalMoment(parser.value(to), true);
            filter.operation = parser.value(operation);
            if (!filter.operation.isEmpty() && !JournalOperationNames().contains(filter.operation))
                throw UsageError(QStringLiteral("Неизвестная операция: ") + filter.operation);
            if (parser.isSet(outcome)) {
                filter.outcome = OutcomeFromName(parser.value(outcome));
                if (!filter.outcome)
                    throw UsageError(QStringLiteral("Неизвестный исход: ") + parser.value(outcome));
            }
            filter.search = parser.value(search);
            const QString formatName = parser.value(format);
            if (formatName != u"text" && formatName != u"json" && formatName != u"csv")
                throw UsageError(QStringLiteral("Неизвестный формат: ") + formatName);
            const Journal journal(folder, JournalOptionsIn(folder));
            List(journal, filter, formatName, out);
        } else if (command == u"show" && positional.size() == 3) {
            bool ok = false;
            const qint64 id = positional[2].toLongLong(&ok);
            if (!ok)
                throw UsageError(QStringLiteral("Неверный номер обмена: ") + positional[2]);
            const Journal journal(folder, JournalOptionsIn(folder));
            Show(journal, id, parser.value(request), parser.value(reply), out);
        } else if (command == u"check" && positional.size() == 2) {
            const Journal journal(folder, JournalOptionsIn(folder));
            const QStringList problems = journal.check();
            out << (problems.isEmpty() ? QStringLiteral("ok") : problems.join(u'\n')) << '\n';
            return problems.isEmpty() ? Done : Damaged;
        } else if (command == u"archive" && positional.size() == 3 && parser.isSet(before)) {
            Journal journal(folder, JournalOptionsIn(folder));
            const qint64 moved = journal.archive(LocalMoment(parser.value(before), false), positional[2]);
            out << QStringLiteral("Перенесено в архив: %1").arg(moved) << '\n';
        } else if (command == u"copy" && positional.size() == 2 && parser.isSet(to)) {
            // From the data folder's own file, whatever the settings name.
            const Journal source(folder);
            Journal::Options shared;
            shared.database = parser.value(to);
            Journal target(folder, shared);
            const qint64 added = source.copyInto(target);
            out << QStringLiteral("Скопировано в общий журнал: %1").arg(added) << '\n';
        } else {
            throw UsageError(QStringLiteral("Укажите команду журнала: ") + parser.helpText());
        }
    } catch (const Exception& e) {
        out.flush();
        err << e.message() << '\n';
        err.flush();
        // A journal that cannot even be opened fails its check too.
        return command == u"check" && !dynamic_cast<const UsageError*>(&e) ? Damaged : Failed;
    }
    out.flush();
    return Done;
}
