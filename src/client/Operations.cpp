#include "client/Operations.h"

#include "foundation/AtomicFileWriter.h"
#include "foundation/CertificateInfo.h"
#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"
#include "foundation/TextHelper.h"
#include "foundation/TrustedCertificates.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "gisgkx/GisGkxReplies.h"
#include "gisgkx/GisGkxRequests.h"
#include "gisgmp/GisGmpReplies.h"
#include "gisgmp/SoapPayment.h"
#include "journal/Journal.h"
#include "smev/ReplySignature.h"
#include "smev/SmevEnvelope.h"
#include "smev/SoapConstants.h"
#include "smev/SoapException.h"
#include "smev/SoapTransport.h"
#include "values/ValueProvider.h"

#include <QDir>
#include <QLocale>
#include <QUuid>

#include <utility>

namespace {

using enum TValuesType;

// A debug file that cannot be written.
ZELVAN_DECLARE_EXCEPTION(EDebugFileError, Exception);

const QString ErrorResult = QStringLiteral("Ошибка.");
const QString CancelledResult = QStringLiteral("Отменено.");
const QString NotProcessedCode = QStringLiteral("50");
const QString PackageCaption = QStringLiteral("Идентификатор пакета");
const QString MessageCaption = QStringLiteral("Идентификатор сообщения");

// The charges loop asks for pages 0, 2, 3 … 10: at most ten requests in one operation.
constexpr qint32 LastPageNumber = 10;

QString GisGmpSoapAction()
{
    return GISGMP_SERVICE_NS + QStringLiteral("GISGMPTransferMsg");
}

QString ChargesCountText(qsizetype count)
{
    return QStringLiteral("Получено начислений: ") + QString::number(count);
}

QString AskFetchResultText(const QString& identifierCaption, const QString& identifier)
{
    return QStringLiteral("Сообщение отправлено успешно.\n") + identifierCaption + QStringLiteral(": ") +
           identifier + QStringLiteral("\n\nПолучить результат обработки сейчас?");
}

// An identifier a request carries and its reply must echo: where each has it, by path from the
// request's element and from the reply's Body. An empty attribute name: the element's text.
struct EchoedIdentifier {
    QLatin1String request;
    QLatin1String requestAttribute;
    QLatin1String reply;
    QLatin1String replyAttribute;
};

// Told in this order: the first that differs is named.
QList<EchoedIdentifier> EchoedIdentifiersOf(const QString& requestElement)
{
    if (SameAsciiText(requestElement, QLatin1String("GISGMPTransferMsg"))) {
        const QLatin1String request("MessageData\\AppData\\RequestMessage");
        const QLatin1String reply("GISGMPTransferMsg\\MessageData\\AppData\\ResponseMessage");
        // The reply is addressed to the bank that sent the request, not to another bank of the network.
        return {{request, QLatin1String("Id"), reply, QLatin1String("RqId")},
                {request, QLatin1String("senderIdentifier"), reply, QLatin1String("recipientIdentifier")}};
    }
    if (SameAsciiText(requestElement, QLatin1String("importNotificationsOfOrderExecutionRequest")))
        return {{QLatin1String("MessageData\\AppData\\importNotificationsOfOrderExecution\\"
                               "NotificationOfOrderExecutionType\\TransportGUID"),
                 {},
                 QLatin1String("ackResult\\MessageData\\AppData\\AcknowledgmentResponse\\TransportGUID"),
                 {}}};
    if (SameAsciiText(requestElement,
                      QLatin1String("importNotificationsOfOrderExecutionCancellationRequest")))
        return {{QLatin1String("MessageData\\AppData\\importNotificationsOfOrderExecutionCancellation\\"
                               "NotificationOfOrderExecutionCancellation\\TransportGUID"),
                 {},
                 QLatin1String("ackResult\\MessageData\\AppData\\AcknowledgmentResponse\\TransportGUID"),
                 {}}};
    if (SameAsciiText(requestElement, QLatin1String("getStateRequest")))
        return {{QLatin1String("MessageData\\AppData\\AcknowledgmentRequest\\MessageGUID"),
                 {},
                 QLatin1String("getStateResult\\MessageData\\AppData\\MessageGUID"),
                 {}}};
    // The details request carries no identifier of its own.
    return {};
}

// The identifier at `path` under `start`; nothing when the node or its attribute is not there.
std::optional<QString> IdentifierAt(const XmlNode& start, QLatin1String path, QLatin1String attribute)
{
    const XmlNode node = FindNodeByPath(start, path, false);
    if (!node)
        return std::nullopt;
    if (attribute.isEmpty())
        return node.text().trimmed();
    for (const XmlAttribute& each : node.attributes())
        if (SameAsciiText(each.localName, attribute))
            return each.value.trimmed();
    return std::nullopt;
}

// Whether the reply says that the request failed, which it then is however it came about.
bool ReportsFailure(const XmlNode& replyBody, const XmlNode& replyElement)
{
    return FindNodeByPath(replyBody, QStringLiteral("Fault"), false) ||
           FindNodeByPath(replyElement, QStringLiteral("MessageData\\AppData\\ErrorMessage"), false);
}

// A genuine reply to another request (another package's status, an old payment's acceptance,
// another page, another bank's answer) is as false here as a forged one.
void CheckAnswersRequest(const QString& requestBody, const XmlDocument& reply)
{
    const XmlNode request = XmlDocument::parseText(requestBody).documentElement();
    const XmlNode body = FindNodeByPath(reply.documentElement(), QStringLiteral("Body"), false);
    for (const EchoedIdentifier& echoed : EchoedIdentifiersOf(request.localName())) {
        const QString expected =
            IdentifierAt(request, echoed.request, echoed.requestAttribute).value_or(QString());
        const std::optional<QString> received = IdentifierAt(body, echoed.reply, echoed.replyAttribute);
        const QString what = echoed.replyAttribute.isEmpty() ? QString(echoed.reply).section(u'\\', -1)
                                                             : QString(echoed.replyAttribute);
        if (!received) {
            if (ReportsFailure(body, FindNodeByPath(body, QString(echoed.reply).section(u'\\', 0, 0), false)))
                return;
            RefuseReplyToAnotherRequest(what, QString(), expected);
        }
        if (*received != expected)
            RefuseReplyToAnotherRequest(what, *received, expected);
    }
}

// A genuine reply kept and served again: the identifier it echoes may well be the new request's,
// since the requests' identifiers start again in every run of the program.
void CheckNotReceivedBefore(const Journal* journal, const QString& replyKey)
{
    if (!journal)
        return;
    std::optional<qint64> earlier;
    try {
        earlier = journal->firstWithReplyKey(replyKey);
    } catch (const EJournalError& e) {
        RefuseReplyNotLookedUp(e.message());
    }
    if (earlier)
        RefuseReplyReceivedBefore(*earlier);
}

// The amount as the messages carry it: a whole number of kopecks.
std::optional<qint64> AmountKopecks(const QString& text)
{
    bool ok = false;
    const qint64 kopecks = text.trimmed().toLongLong(&ok);
    return ok ? std::optional(kopecks) : std::nullopt;
}

QString RublesText(qint64 kopecks)
{
    return QStringLiteral("%1.%2").arg(kopecks / 100).arg(kopecks % 100, 2, 10, QLatin1Char('0'));
}

// The identifiers an envelope carries, by the names its elements have in every version.
void ReadEnvelopeIdentifiers(const XmlNode& node, ExchangeIdentifiers& found)
{
    for (const XmlNode& child : node.children()) {
        if (!child.isElement())
            continue;
        const QString name = child.localName();
        const auto take = [&](QString& into) {
            if (into.isEmpty())
                into = child.text().trimmed();
        };
        if (name == QLatin1String("MessageId"))
            take(found.smevMessageId);
        else if (name == QLatin1String("PackageID"))
            take(found.packageId);
        else if (name == QLatin1String("MessageGUID"))
            take(found.messageGuid);
        else if (name == QLatin1String("SupplierBillID"))
            take(found.supplierBillId);
        else if (name == QLatin1String("PayerIdentifier"))
            take(found.payerIdentifier);
        ReadEnvelopeIdentifiers(child, found);
    }
}

// How an exchange that ended with `error` ended, in the journal's words.
void DescribeEnd(const std::exception_ptr& error, bool posted, ExchangeEnd& end)
{
    end.outcome = ExchangeOutcome::accepted;
    if (!error)
        return;
    try {
        std::rethrow_exception(error);
    } catch (const EOperationCancelled& e) {
        end.outcome = posted ? ExchangeOutcome::unknown : ExchangeOutcome::cancelled;
        end.text = e.message();
    } catch (const ESOAPException& e) {
        end.outcome = ExchangeOutcome::refused;
        end.code = e.ResultCode().isEmpty() ? e.FaultCode() : e.ResultCode();
        end.text = e.message();
    } catch (const EReplySignatureException& e) {
        end.outcome = ExchangeOutcome::unverified;
        end.text = e.message();
    } catch (const EHttpTransportError& e) {
        // Posted and never answered (a time-out, a connection broken after it was made): the repeat
        // guard must see it. Only a request that never reached the server is known not to have arrived.
        end.outcome = posted && e.requestSent() ? ExchangeOutcome::unknown : ExchangeOutcome::transport;
        end.text = e.message();
    } catch (const Exception& e) {
        end.outcome = ExchangeOutcome::transport;
        end.text = e.message();
    } catch (...) {
        end.outcome = ExchangeOutcome::transport;
    }
}

} // namespace

FieldFileKind OperationFieldFile(Operation operation)
{
    switch (operation) {
    case Operation::Payment:
    case Operation::PackageStatus:
        return FieldFileKind::Payment;
    case Operation::Charges:
        return FieldFileKind::Charge;
    case Operation::DocumentDetails:
        return FieldFileKind::DocumentDetails;
    case Operation::Order:
    case Operation::Cancellation:
    case Operation::GetState:
        break;
    }
    return FieldFileKind::Order;
}

QString OperationCommandName(Operation operation)
{
    switch (operation) {
    case Operation::Payment:
        return QStringLiteral("payment");
    case Operation::PackageStatus:
        return QStringLiteral("package-status");
    case Operation::Charges:
        return QStringLiteral("charges");
    case Operation::DocumentDetails:
        return QStringLiteral("document-details");
    case Operation::Order:
        return QStringLiteral("order");
    case Operation::Cancellation:
        return QStringLiteral("cancellation");
    case Operation::GetState:
        break;
    }
    return QStringLiteral("get-state");
}

std::optional<Operation> OperationByCommandName(const QString& name)
{
    for (const Operation operation :
         {Operation::Payment, Operation::PackageStatus, Operation::Charges, Operation::DocumentDetails,
          Operation::Order, Operation::Cancellation, Operation::GetState})
        if (OperationCommandName(operation) == name)
            return operation;
    return std::nullopt;
}

TValuesType OperationValuesType(Operation operation)
{
    switch (operation) {
    case Operation::Payment:
    case Operation::PackageStatus:
        return vtGISGMPPayment;
    case Operation::Charges:
        return vtGISGMPCharges;
    case Operation::DocumentDetails:
        return vtGISGKXCharges;
    case Operation::Order:
        return vtGISGKXPayment;
    case Operation::Cancellation:
        return vtGISGKXCancel;
    case Operation::GetState:
        break;
    }
    return vtGISGKXGetState;
}

namespace {

// Gives one key a marker and every other key nothing, so that a request built from it shows whether
// the element of that key is written without a value.
class ProbeValues final : public ISOAPValues {
  public:
    explicit ProbeValues(QString filled) : filled_(std::move(filled)) {}
    static QString marker() { return QStringLiteral("zelvan-probe"); }

    void DisplayRecord(const XmlDocument&, QStringList&) override {}
    QString GetFieldValue(const QString& name) override
    {
        return SameAsciiText(name, filled_) ? marker() : QString();
    }
    SoapRunOptions RunOptions() const override
    {
        SoapRunOptions options;
        options.identifiers = &identifiers_;
        return options;
    }

  private:
    QString filled_;
    // One per request, so that every request numbers its parts alike.
    mutable IdentifierSource identifiers_;
};

// The request of the operation as its runner builds it, unsigned.
QString UnsignedRequest(Operation operation, ISOAPValues& values)
{
    switch (operation) {
    case Operation::Payment:
        return SoapCreatePaymentContent(values);
    case Operation::PackageStatus:
        return SoapCreatePackageStatusRequest(values);
    case Operation::Charges:
        return SoapCreateExportRequest(values);
    case Operation::DocumentDetails:
        return SoapCreateExportPaymentDocumentDetailsRequest({}, values);
    case Operation::Order:
        return SoapCreateImportNotificationsOfOrderExecutionRequest({}, values);
    case Operation::Cancellation:
        return SoapCreateImportNotificationsOfOrderExecutionCancellationRequest({}, values);
    case Operation::GetState:
        break;
    }
    return SoapCreateGetStateRequest({}, values);
}

} // namespace

QStringList MandatoryValueKeys(Operation operation)
{
    ProbeValues none{QString()};
    const qsizetype emptySize = UnsignedRequest(operation, none).size();
    const qsizetype markerSize = ProbeValues::marker().size();
    QStringList keys;
    for (const QString& key : ValueKeys(OperationValuesType(operation))) {
        ProbeValues probe(key);
        const QString request = UnsignedRequest(operation, probe);
        const qsizetype markers = request.count(ProbeValues::marker());
        // An optional element comes with its value; a mandatory one was there without it.
        if (markers > 0 && request.size() - markers * markerSize == emptySize)
            keys << key;
    }
    return keys;
}

// What one exchange of an operation posts where, and under which debug names.
struct OperationRunner::Exchange {
    QString requestName;
    QString responseName;
    QString service;
    QString soapAction;
};

OperationRunner::OperationRunner(OperationInputs inputs, const IControlReader& controls, OperationSink& sink)
    : inputs_(std::move(inputs)), controls_(controls), sink_(sink)
{
    if (!inputs_.clock)
        inputs_.clock = &QDateTime::currentDateTime;
}

// One key for everything one run signs, whatever the number of pages and signatures; let go at the
// end of the run unless the caller keeps it.
class OperationRunner::KeyScope final {
  public:
    explicit KeyScope(OperationRunner& runner) : runner_(runner)
    {
        const OperationInputs& inputs = runner.inputs_;
        if (inputs.key && inputs.key->containerName() == inputs.settings.container)
            runner.key_ = inputs.key;
        else
            runner.key_ = std::make_shared<ContainerKey>(inputs.keys, inputs.settings.container);
    }
    ~KeyScope() { runner_.key_.reset(); }
    KeyScope(const KeyScope&) = delete;
    KeyScope& operator=(const KeyScope&) = delete;

  private:
    OperationRunner& runner_;
};

void OperationRunner::run(Operation operation)
{
    runId_ = inputs_.runId.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : inputs_.runId;
    const KeyScope key(*this);
    switch (operation) {
    case Operation::Payment:
        return payment();
    case Operation::PackageStatus:
        return packageStatus();
    case Operation::Charges:
        return charges();
    case Operation::DocumentDetails:
        return documentDetails();
    case Operation::Order:
        return order(false);
    case Operation::Cancellation:
        return order(true);
    case Operation::GetState:
        return getState();
    }
}

void OperationRunner::runOrder(int changeStatus)
{
    // With no status chosen the tab looks like a new order; guessing either way could send the
    // operator's order as its own cancellation.
    if (changeStatus < 0)
        guarded([]() -> QString { throw Exception(QStringLiteral("Не выбран статус данных платежа.")); });
    runId_ = inputs_.runId.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : inputs_.runId;
    const KeyScope key(*this);
    order(changeStatus != 0);
}

QString OperationRunner::GetFieldValue(const QString& name)
{
    const QDate today = inputs_.clock().date();
    return ::GetFieldValue(
        name, controls_,
        TValuesState{valuesType_, executeDateTime_, pageLength_, pageNumber_, today, inputs_.identifiers});
}

SoapRunOptions OperationRunner::RunOptions() const
{
    // Time-stamp servers have been checked against the system's store all along.
    return {inputs_.settings.testMode,
            inputs_.settings.timeStampEnable && !inputs_.dryRun,
            inputs_.settings.timeStampServer,
            serverTrust(ServerTrust::Check::LibraryDefault),
            trusted_,
            inputs_.http,
            inputs_.identifiers};
}

ServerTrust OperationRunner::serverTrust(ServerTrust::Check unchecked) const
{
    if (!inputs_.settings.verifyServerCertificate)
        return {unchecked, {}};
    return {ServerTrust::Check::Trusted, trusted_};
}

void OperationRunner::DisplayRecord(const XmlDocument& /*document*/, QStringList& lines)
{
    ++records_;
    TRecordTable table = TRecordTable::rtNone;
    if (valuesType_ == vtGISGMPCharges)
        table = TRecordTable::rtCharges;
    else if (valuesType_ == vtGISGKXCharges)
        table = TRecordTable::rtPaymentDocuments;
    // The reader reuses its list for the next record; what the sink keeps is a copy.
    QStringList shown = lines;
    LabelRecordLines(table, shown);
    sink_.record(table, records_, shown);
}

void OperationRunner::begin(Operation operation, const QString& startText)
{
    // Here rather than on construction: a runner that only forms a file name must not take the
    // flag away from an operation in flight on the same connection holder.
    if (inputs_.http)
        inputs_.http->SetCancelFlag(inputs_.cancel);
    sink_.started(startText);
    operation_ = operation;
    valuesType_ = OperationValuesType(operation);
    // Nothing goes out that the journal could not record.
    if (!inputs_.journalError.isEmpty())
        throw EJournalError(inputs_.journalError);
    // One moment for every date of the operation, all pages of a charges request included.
    executeDateTime_ = inputs_.clock();
    records_ = 0;
    pageLength_ = 0;
    pageNumber_ = 0;
    // Read before anything is sent: a request whose reply could not be checked must not go out.
    // Only a check reads it, so with every check off nothing changes for a file that is gone.
    const ClientSettings& settings = inputs_.settings;
    trusted_.clear();
    if (!settings.trustedCertificates.isEmpty() &&
        (settings.verifyReplySignature || settings.verifyServerCertificate || settings.timeStampEnable))
        trusted_ = ReadTrustedCertificates(settings.trustedCertificates);
    else if (settings.verifyReplySignature)
        throw Exception(
            QStringLiteral("Для проверки подписи ответов СМЭВ укажите файл \"Сертификаты СМЭВ и УЦ\"."));
    ownCertificates_.clear();
    if (settings.verifyReplySignature)
        ownCertificates_ = readOwnCertificates();
}

template <class Steps> void OperationRunner::guarded(Steps steps)
{
    // The result is told in every case, before any message about it.
    QString result = ErrorResult;
    debugFileWarnings_.clear();
    requestPosted_ = false;
    const auto finish = [&] {
        sink_.finished(result);
        for (const QString& warning : std::exchange(debugFileWarnings_, {}))
            sink_.warning(warning);
    };
    try {
        result = steps();
        completeRow(nullptr);
    } catch (const EOperationCancelled&) {
        completeRow(std::current_exception());
        result = CancelledResult;
        finish();
        throw;
    } catch (...) {
        completeRow(std::current_exception());
        // What a stop broke before the request left (the time stamp's exchange) is the stop. Once
        // it has left, the failure is the exchange's own and says more than the stop would.
        if (!cancelled() || requestPosted_) {
            finish();
            throw;
        }
        result = CancelledResult;
        finish();
        throw EOperationCancelled(cancelledText(false));
    }
    finish();
}

QList<QByteArray> OperationRunner::readOwnCertificates() const
{
    QList<QByteArray> certificates;
    if (key_)
        certificates << key_->certificate();
    QStringList names;
    EnumKeyContainers(inputs_.keys, names);
    for (const QString& name : names) {
        // A container whose certificate cannot be read signs nothing, here or anywhere.
        try {
            certificates << ContainerKey(inputs_.keys, name).certificate();
        } catch (const ECryptException&) {
        }
    }
    return certificates;
}

bool OperationRunner::cancelled() const
{
    return inputs_.cancel && inputs_.cancel->load();
}

void OperationRunner::identify(const QString& control, const QString& caption, const QString& value)
{
    identifiers_ << caption + QStringLiteral(": ") + value;
    (control == QLatin1String("edPackage") ? rowEnd_.identifiers.packageId
                                           : rowEnd_.identifiers.messageGuid) = value;
    sink_.identifier(control, caption, value);
}

QString OperationRunner::cancelledText(bool requestSent) const
{
    if (!requestSent)
        return QStringLiteral("Операция отменена. Запрос не отправлен.");
    const bool gisGmp = valuesType_ == vtGISGMPPayment || valuesType_ == vtGISGMPCharges;
    QString text = QStringLiteral("Операция отменена после отправки запроса: %1 могла его получить. "
                                  "Прежде чем отправлять его снова, узнайте, получен ли он.")
                       .arg(gisGmp ? QStringLiteral("ГИС ГМП") : QStringLiteral("ГИС ЖКХ"));
    text += u'\n';
    text +=
        identifiers_.isEmpty() ? QStringLiteral("Идентификатор еще не получен.") : identifiers_.join(u'\n');
    if (!requestFile_.isEmpty())
        text +=
            QStringLiteral("\nЗапрос сохранен в файле \"%1\".").arg(QDir::toNativeSeparators(requestFile_));
    return text;
}

ExchangeIdentifiers OperationRunner::formIdentifiers()
{
    ExchangeIdentifiers identifiers;
    if (valuesType_ == vtGISGMPPayment && operation_ == Operation::Payment) {
        identifiers.supplierBillId = GetFieldValue(QStringLiteral("SupplierBillID"));
        identifiers.amountKopecks = AmountKopecks(GetFieldValue(QStringLiteral("Amount")));
        identifiers.paymentDate = GetFieldValue(QStringLiteral("PaymentDate"));
        identifiers.payerIdentifier = GetFieldValue(QStringLiteral("PayerIdentifier"));
    } else if (valuesType_ == vtGISGKXPayment) {
        identifiers.orderId = GetFieldValue(QStringLiteral("OrderID"));
        identifiers.amountKopecks = AmountKopecks(GetFieldValue(QStringLiteral("Amount")));
    } else if (valuesType_ == vtGISGKXCancel) {
        identifiers.orderId = GetFieldValue(QStringLiteral("OrderID"));
    }
    return identifiers;
}

void OperationRunner::guardRepeat(const ExchangeIdentifiers& identifiers)
{
    acknowledgedRepeat_.reset();
    // A dry run sends nothing, so it cannot pay twice.
    if (!inputs_.journal || inputs_.dryRun)
        return;
    if (const std::optional<RepeatedExchange> earlier =
            inputs_.journal->findRepeat(OperationCommandName(operation_), identifiers))
        confirmRepeat(identifiers, *earlier);
}

void OperationRunner::confirmRepeat(const ExchangeIdentifiers& identifiers, const RepeatedExchange& earlier)
{
    const QString when =
        QLocale::c().toString(earlier.started.toLocalTime(), QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    const QString question =
        operation_ == Operation::Payment
            ? QStringLiteral("Платеж по начислению %1 на сумму %2 руб. уже отправлялся %3 (%4, пакет %5). "
                             "Отправить еще раз?")
                  .arg(identifiers.supplierBillId,
                       identifiers.amountKopecks ? RublesText(*identifiers.amountKopecks) : QString(), when,
                       OutcomeCaption(earlier.outcome),
                       earlier.packageId.isEmpty() ? QStringLiteral("не получен") : earlier.packageId)
            : QStringLiteral("Извещение по распоряжению %1 уже отправлялось %2 (%3, MessageGUID %4). "
                             "Отправить еще раз?")
                  .arg(identifiers.orderId, when, OutcomeCaption(earlier.outcome), earlier.messageGuid);
    if (!sink_.confirmRepeat(question))
        throw ERepeatRefused(question);
    acknowledgedRepeat_ = earlier.id;
}

void OperationRunner::beginRow(const Exchange& exchange, const QByteArray& envelope)
{
    rowEnd_ = {};
    if (!inputs_.journal)
        return;
    ExchangeStart start;
    start.operation = OperationCommandName(operation_);
    start.runId = runId_;
    start.service = exchange.service;
    start.soapAction = exchange.soapAction;
    start.request = envelope;
    start.identifiers = formIdentifiers();
    // What the envelope names is for finding the row again; it never keeps the request from going out.
    try {
        ReadEnvelopeIdentifiers(XmlDocument::parse(envelope).documentElement(), start.identifiers);
    } catch (const EXMLException&) {
    }
    start.signer.container = key_->containerName();
    const TCertificateInfo certificate = DescribeCertificate(key_->certificate());
    start.signer.certificateSerial = certificate.serialNumber;
    start.signer.certificateSubject = certificate.subject;
    // Raises when the row cannot be written durably: then the request is not posted. The guard is
    // asked again in the row's own transaction: another workstation on a shared journal may have
    // begun the same payment since the operator was asked.
    GuardedBegin begun = inputs_.journal->beginUnlessRepeated(start, acknowledgedRepeat_);
    while (begun.repeat) {
        confirmRepeat(start.identifiers, *begun.repeat);
        begun = inputs_.journal->beginUnlessRepeated(start, acknowledgedRepeat_);
    }
    row_ = begun.id;
    sink_.journaled(*row_);
}

void OperationRunner::completeRow(const std::exception_ptr& error)
{
    if (!row_)
        return;
    ExchangeEnd end = std::exchange(rowEnd_, {});
    DescribeEnd(error, requestPosted_, end);
    if (valuesType_ == vtGISGMPCharges || valuesType_ == vtGISGKXCharges)
        end.identifiers.recordCount = records_;
    // The exchange has happened whatever the journal says now; the operator hears of it after.
    try {
        inputs_.journal->complete(*std::exchange(row_, std::nullopt), end);
    } catch (const EJournalError& e) {
        debugFileWarnings_ << e.message();
    }
}

QString OperationRunner::debugFilePath(const QString& name) const
{
    return QDir(inputs_.debugFolder).filePath(name + QStringLiteral(".xml"));
}

void OperationRunner::saveDebugFile(const QString& content, const QString& name) const
{
    if (inputs_.debugFolder.isEmpty() || content.isEmpty())
        return;
    const QString path = debugFilePath(name);
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += content.toUtf8();
    // Replaced as a whole: a failure leaves the previous exchange's file, never a cut one.
    try {
        WriteFileAtomically(path, bytes);
    } catch (const EFileWriteError& e) {
        throw EDebugFileError(e.message());
    }
}

XmlDocument OperationRunner::exchange(const Exchange& exchange, const QString& body, TakenRecords* taken)
{
    const QString envelope = BuildSignedEnvelope(*key_, body, MessageIdentifiers(*this));
    // Written before anything is sent, so a failure here stops the operation harmlessly.
    saveDebugFile(envelope, exchange.requestName);
    if (inputs_.dryRun)
        throw ERequestNotSent(QStringLiteral("Запрос подписан и сохранен в файле \"%1\", но не отправлен: "
                                             "пробный запуск.")
                                  .arg(QDir::toNativeSeparators(debugFilePath(exchange.requestName))));
    if (cancelled())
        throw EOperationCancelled(cancelledText(false));
    requestFile_ = inputs_.debugFolder.isEmpty() ? QString() : debugFilePath(exchange.requestName);
    const QByteArray requestBytes = envelope.toUtf8();
    // The previous page's exchange ended well once its reply was read.
    completeRow(nullptr);
    beginRow(exchange, requestBytes);
    QByteArray replyBytes;
    requestPosted_ = true;
    try {
        const THttpReply posted = PostSoapEnvelope(requestBytes, exchange.service, exchange.soapAction,
                                                   inputs_.http, serverTrust(ServerTrust::Check::AcceptAny));
        rowEnd_.httpStatus = posted.StatusCode;
        rowEnd_.reply = posted.Body;
        replyBytes = SoapReplyBody(posted, exchange.service);
    } catch (const EHttpCancelled& e) {
        requestPosted_ = e.requestSent();
        throw EOperationCancelled(cancelledText(e.requestSent()));
    }
    XmlDocument reply;
    try {
        // The debug copy is the whole reply, so records are taken out of it only without one.
        const bool take = taken && inputs_.debugFolder.isEmpty();
        reply = XmlDocument::parse(
            replyBytes, [this] { return cancelled(); }, take ? taken->handOff() : XmlHandOff(),
            inputs_.debugFolder.isEmpty() ? XmlTreeSize::bounded : XmlTreeSize::whole);
    } catch (const EXMLException&) {
        if (cancelled())
            throw EOperationCancelled(cancelledText(true));
        throw;
    }
    if (!inputs_.debugFolder.isEmpty()) {
        // The state system has taken the request by now: losing its answer over a debug copy would
        // lose the identifier and invite sending the payment twice. The operator hears of it after.
        try {
            saveDebugFile(QString::fromUtf8(reply.toXml()), exchange.responseName);
        } catch (const EDebugFileError& e) {
            debugFileWarnings_ << e.message();
        }
    }
    // Faults too: an unsigned fault could make the operator send again a payment that was taken.
    if (inputs_.settings.verifyReplySignature) {
        // Kept whatever is found wrong next, so that the same reply is known if it is served again.
        try {
            rowEnd_.replyKey = CheckReplySignature(
                replyBytes,
                ReplySigners{trusted_, inputs_.settings.acceptIssuedReplySigners, ownCertificates_},
                [this] { return cancelled(); });
        } catch (const EXMLException&) {
            if (cancelled())
                throw EOperationCancelled(cancelledText(true));
            throw;
        }
        CheckAnswersRequest(body, reply);
        CheckNotReceivedBefore(inputs_.journal, rowEnd_.replyKey);
    }
    return reply;
}

void OperationRunner::payment()
{
    QString packageId;
    guarded([&] {
        begin(Operation::Payment, QStringLiteral("Отправка информации о платеже..."));
        guardRepeat(formIdentifiers());
        const QString body = SoapCreateImportRequest(*key_, *this);
        const XmlDocument reply =
            exchange({QStringLiteral("PaymentRequest"), QStringLiteral("PaymentResponse"),
                      inputs_.settings.servicePaymentGisGmp, GisGmpSoapAction()},
                     body);
        packageId = ReadImportResult(reply);
        identify(QStringLiteral("edPackage"), PackageCaption, packageId);
        return QStringLiteral("Отправлено.");
    });
    if (sink_.askFollowUp(AskFetchResultText(PackageCaption, packageId)))
        packageStatus();
}

void OperationRunner::packageStatus()
{
    bool notProcessed = false;
    guarded([&] {
        begin(Operation::PackageStatus, QStringLiteral("Получение статуса обработки пакета..."));
        try {
            const QString body = SoapCreatePackageStatusRequest(*this);
            const XmlDocument reply =
                exchange({QStringLiteral("PaymentStatusRequest"), QStringLiteral("PaymentStatusResponse"),
                          inputs_.settings.servicePaymentGisGmp, GisGmpSoapAction()},
                         body);
            ReadPackageStatus(reply);
        } catch (const ESOAPException& e) {
            // The one answer that is not a failure: the package is still being processed.
            if (e.ResultCode() != NotProcessedCode)
                throw;
            notProcessed = true;
        }
        return QStringLiteral("Статус пакета получен.");
    });
    if (notProcessed)
        sink_.warning(QStringLiteral("Обработка пакета еще не завершена."));
    else
        sink_.information(QStringLiteral("Информация о платеже принята."));
}

void OperationRunner::charges()
{
    bool limitReached = false;
    guarded([&] {
        begin(Operation::Charges, QStringLiteral("Запрос начислений..."));
        bool hasMore = true;
        while (hasMore && pageNumber_ <= LastPageNumber) {
            // The builder reads the page number and length of this request from the runner.
            const QString body = SoapCreateExportRequest(*this);
            TakenRecords taken(TakeCharge);
            const XmlDocument reply =
                exchange({QStringLiteral("ChargeRequest"), QStringLiteral("ChargeResponse"),
                          inputs_.settings.serviceChargesGisGmp, GisGmpSoapAction()},
                         body, &taken);
            const TExportChargesResult page = ReadExportCharges(reply, this, &taken);
            hasMore = page.HasMore;
            pageLength_ = page.Count;
            pageNumber_ = pageNumber_ == 0 ? 2 : pageNumber_ + 1;
        }
        // Stopping at the limit while the system still has pages must not pass for the whole list.
        limitReached = hasMore;
        return ChargesCountText(records_);
    });
    if (limitReached)
        sink_.warning(QStringLiteral("Получены не все начисления: достигнут предел в 10 запросов. "
                                     "Уточните условия поиска."));
    if (records_ == 0)
        sink_.warning(QStringLiteral("Начислений не найдено."));
}

void OperationRunner::documentDetails()
{
    guarded([&] {
        begin(Operation::DocumentDetails, QStringLiteral("Запрос начислений..."));
        const QString body = SoapCreateExportPaymentDocumentDetailsRequest(inputs_.settings.container, *this);
        TakenRecords taken(TakePaymentDocuments);
        const XmlDocument reply = exchange(
            {QStringLiteral("DocumentDetailsRequest"), QStringLiteral("DocumentDetailsResponse"),
             inputs_.settings.serviceChargesGisGkx, QStringLiteral("urn:#export_payment_document_details")},
            body, &taken);
        ReadPaymentDocumentDetails(reply, this, &taken);
        return ChargesCountText(records_);
    });
    if (records_ == 0)
        sink_.warning(QStringLiteral("Начислений не найдено."));
}

void OperationRunner::order(bool cancellation)
{
    QString messageGuid;
    guarded([&] {
        QString body;
        XmlDocument reply;
        if (!cancellation) {
            begin(Operation::Order, QStringLiteral("Отправка информации о платеже..."));
            guardRepeat(formIdentifiers());
            body = SoapCreateImportNotificationsOfOrderExecutionRequest(inputs_.settings.container, *this);
            reply = exchange({QStringLiteral("OrderExecutionRequest"),
                              QStringLiteral("OrderExecutionResponse"), inputs_.settings.servicePaymentGisGkx,
                              QStringLiteral("urn:async_getId_import_notifications_of_order_execution")},
                             body);
        } else {
            begin(Operation::Cancellation,
                  QStringLiteral("Отправка информации об аннулировании распоряжения..."));
            body = SoapCreateImportNotificationsOfOrderExecutionCancellationRequest(
                inputs_.settings.container, *this);
            reply = exchange(
                {QStringLiteral("CancellationRequest"), QStringLiteral("CancellationResponse"),
                 inputs_.settings.servicePaymentGisGkx,
                 QStringLiteral("urn:async_getId_import_notifications_of_order_execution_cancellation")},
                body);
        }
        messageGuid = ReadAckResult(reply);
        identify(QStringLiteral("edPackage2"), MessageCaption, messageGuid);
        return QStringLiteral("Отправлено.");
    });
    if (sink_.askFollowUp(AskFetchResultText(MessageCaption, messageGuid)))
        getState();
}

void OperationRunner::getState()
{
    guarded([&] {
        begin(Operation::GetState, QStringLiteral("Получение статуса обработки сообщения..."));
        const QString body = SoapCreateGetStateRequest(inputs_.settings.container, *this);
        const XmlDocument reply =
            exchange({QStringLiteral("GetStateRequest"), QStringLiteral("GetStateResponse"),
                      inputs_.settings.servicePaymentGisGkx, QStringLiteral("urn:async_getResult")},
                     body);
        ReadStateResult(reply);
        return QStringLiteral("Статус сообщения получен.");
    });
    sink_.information(QStringLiteral("Извещение принято."));
}
