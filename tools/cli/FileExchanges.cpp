#include "FileExchanges.h"

#include "CommandLine.h"

#include "smev/ReplySignature.h"

#include <QCryptographicHash>
#include <QRegularExpression>

namespace {

// The text of the first element of that local name in a request, where the journal's identifiers
// are read from: exactly what was signed.
QString ElementText(const QByteArray& request, const char* name)
{
    const QRegularExpression element(
        QStringLiteral("<(?:[\\w.-]+:)?%1(?:\\s[^>]*)?>([^<]*)<").arg(QLatin1String(name)));
    return element.match(QString::fromUtf8(request)).captured(1).trimmed();
}

ExchangeIdentifiers RequestIdentifiers(const QByteArray& request)
{
    ExchangeIdentifiers ids;
    ids.supplierBillId = ElementText(request, "SupplierBillID");
    bool number = false;
    const qint64 amount = ElementText(request, "Amount").toLongLong(&number);
    if (number)
        ids.amountKopecks = amount;
    ids.payerIdentifier = ElementText(request, "PayerIdentifier");
    ids.packageId = ElementText(request, "PackageID");
    ids.orderId = ElementText(request, "OrderID");
    return ids;
}

QString RepeatText(Operation operation, const ExchangeIdentifiers& ids, const RepeatedExchange& earlier)
{
    const QString when = earlier.started.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (operation == Operation::Payment)
        return QStringLiteral("Платеж по начислению %1 на сумму %2 руб. уже отправлялся %3 (%4, пакет %5).")
            .arg(ids.supplierBillId,
                 QStringLiteral("%1.%2")
                     .arg(*ids.amountKopecks / 100)
                     .arg(*ids.amountKopecks % 100, 2, 10, QLatin1Char('0')),
                 when, OutcomeCaption(earlier.outcome), earlier.packageId);
    return QStringLiteral("Извещение по распоряжению %1 уже отправлялось %2 (%3).")
        .arg(ids.orderId, when, OutcomeCaption(earlier.outcome));
}

ExchangeOutcome OutcomeOf(const std::exception_ptr& error, bool mayHaveArrived)
{
    try {
        std::rethrow_exception(error);
    } catch (const EReplySignatureException&) {
        return ExchangeOutcome::unverified;
    } catch (const EOperationCancelled&) {
        return mayHaveArrived ? ExchangeOutcome::unknown : ExchangeOutcome::cancelled;
    } catch (...) {
        if (ExitCodeOf(error) == ExitCode::transport)
            return mayHaveArrived ? ExchangeOutcome::unknown : ExchangeOutcome::transport;
        return ExchangeOutcome::refused;
    }
}

} // namespace

FileExchanges::FileExchanges(Journal& journal, Operation operation, const QString& shownName,
                             const QByteArray& content)
    : journal_(journal), operation_(operation),
      runId_(shownName + u':' +
             QString::fromLatin1(QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex()))
{
}

std::optional<ExchangeRecord> FileExchanges::earlier() const
{
    return journal_.lastOfRun(runId_);
}

void FileExchanges::posting(const QString& service, const QString& soapAction, const QByteArray& request)
{
    ExchangeStart start;
    start.operation = CommandLineOperationName(operation_);
    start.runId = runId_;
    start.service = service;
    start.soapAction = soapAction;
    start.request = request;
    start.identifiers = RequestIdentifiers(request);
    std::optional<RepeatedExchange> repeat;
    if (operation_ == Operation::Payment && start.identifiers.amountKopecks)
        repeat =
            journal_.findRepeatPayment(start.identifiers.supplierBillId, *start.identifiers.amountKopecks,
                                       start.identifiers.payerIdentifier);
    else if (operation_ == Operation::Order)
        repeat = journal_.findRepeatNotification(start.identifiers.orderId);
    if (repeat)
        throw ERepeatedExchange(RepeatText(operation_, start.identifiers, *repeat));
    rows_.append(Row{journal_.begin(start), {}});
}

void FileExchanges::received(const QByteArray& reply)
{
    if (!rows_.isEmpty())
        rows_.last().reply = reply;
}

void FileExchanges::complete(const std::exception_ptr& error, const QString& message, bool mayHaveArrived,
                             const QString& packageId, const QString& messageGuid)
{
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        ExchangeEnd end;
        end.reply = rows_[i].reply;
        const bool failed = error && i == rows_.size() - 1;
        end.outcome = failed ? OutcomeOf(error, mayHaveArrived) : ExchangeOutcome::accepted;
        if (failed)
            end.text = message;
        end.identifiers.packageId = packageId;
        end.identifiers.messageGuid = messageGuid;
        journal_.complete(rows_[i].id, end);
    }
    rows_.clear();
}
