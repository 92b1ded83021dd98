#include "sandbox/SandboxService.h"
#include "sandbox/SandboxError.h"

#include "foundation/Exceptions.h"
#include "foundation/GostOpenSsl.h"
#include "foundation/XmlDocument.h"
#include "foundation/XmlHelper.h"
#include "sandbox/EnvelopeSigner.h"
#include "smev/SignatureVerifier.h"

#include <QDateTime>
#include <QSet>
#include <QUuid>

#include <openssl/ts.h>

#include <functional>

namespace {

// The published URIs, written here on purpose: the sandbox is the other side and must not take
// them from the client it checks.
constexpr char SoapNs[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char DsigNs[] = "http://www.w3.org/2000/09/xmldsig#";
const QString GisGmpAction =
    QStringLiteral("http://roskazna.ru/gisgmp/02000000/SmevGISGMPService/GISGMPTransferMsg");
const QString GisGmpPath = QStringLiteral("/gateway/services/SID0003663");
const QString GisGkxChargesPath = QStringLiteral("/gateway/services/SID0004153");
const QString GisGkxPaymentsPath = QStringLiteral("/gateway/services/SID0004154");

// The codes of the refusals; the reasons are said in Russian, as the gateway says them.
struct Refusal {
    QString code;
    QString reason;
};

class RefusalError final : public Exception {
  public:
    RefusalError(const char* code, const QString& reason)
        : Exception(QLatin1String(code)), refusal{QLatin1String(code), reason}
    {
    }
    Refusal refusal;
};

[[noreturn]] void Refuse(const char* code, const QString& reason)
{
    throw RefusalError(code, reason);
}

QString Esc(const QString& text)
{
    return text.toHtmlEscaped();
}

QString Now()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString NewGuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

QString Text(const XmlNode& start, const QString& path)
{
    return FindNodeByPath(start, path, false).text().trimmed();
}

QStringList Texts(const XmlNode& parent, const QString& childName)
{
    QStringList texts;
    for (const XmlNode& child : parent.children())
        if (child.isElement() && child.localName() == childName)
            texts << child.text().trimmed();
    return texts;
}

QString Amount(qint64 kopecks)
{
    return QString::number(kopecks);
}

// The hash of the imprint's algorithm over the bytes; empty when the algorithm is not one of ours.
QByteArray ImprintHash(const ASN1_OBJECT* algorithm, const QByteArray& bytes)
{
    const EVP_MD* md = EVP_get_digestbyobj(algorithm);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!md || EVP_Digest(bytes.constData(), size_t(bytes.size()), digest, &length, md, nullptr) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), int(length));
}

// The imprint of the TSTInfo must be the hash of the signature value's text.
void CheckTimeStamp(const XmlDocument& document)
{
    const XmlNode root = document.documentElement();
    XmlNode stamp;
    XmlNode signatureValue;
    std::function<void(const XmlNode&)> find = [&](const XmlNode& node) {
        for (const XmlNode& child : node.children()) {
            if (!child.isElement())
                continue;
            if (child.localName() == u"EncapsulatedTimeStamp")
                stamp = child;
            else if (child.localName() == u"SignatureValue" &&
                     child.namespaceUri() == QLatin1String(DsigNs) &&
                     child.parent().parent().localName() == u"FinalPayment")
                signatureValue = child;
            find(child);
        }
    };
    find(root);
    const QString text = stamp ? stamp.text().trimmed() : QString();
    if (text.isEmpty())
        return;
    const auto der = QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.decoded.constData());
    std::unique_ptr<TS_TST_INFO, OpenSslDeleter<TS_TST_INFO_free>> info(
        der ? d2i_TS_TST_INFO(nullptr, &bytes, long(der.decoded.size())) : nullptr);
    TakeOpenSslErrors();
    if (!info)
        Refuse("SMEV-100011", QStringLiteral("Штамп времени не читается (ожидается TSTInfo в Base64)"));
    const TS_MSG_IMPRINT* imprint = TS_TST_INFO_get_msg_imprint(info.get());
    const ASN1_OCTET_STRING* hashed = TS_MSG_IMPRINT_get_msg(const_cast<TS_MSG_IMPRINT*>(imprint));
    const X509_ALGOR* algorithm = TS_MSG_IMPRINT_get_algo(const_cast<TS_MSG_IMPRINT*>(imprint));
    const ASN1_OBJECT* oid = nullptr;
    X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
    const QByteArray expected = ImprintHash(oid, signatureValue.text().trimmed().toUtf8());
    const QByteArray actual(reinterpret_cast<const char*>(ASN1_STRING_get0_data(hashed)),
                            ASN1_STRING_length(hashed));
    if (expected.isEmpty() || expected != actual)
        Refuse("SMEV-100011", QStringLiteral("Штамп времени выдан не на значение подписи платежа"));
}

// The SMEV header of the request's Body element, checked for what the gateway routes by.
XmlNode CheckSmevHeader(const XmlNode& message)
{
    const XmlNode header = FindNodeByPath(message, QStringLiteral("Message"), false);
    if (!header)
        Refuse("SMEV-100006", QStringLiteral("Нет заголовка СМЭВ (Message)"));
    for (const char* path :
         {"Sender\\Code", "Recipient\\Code", "ServiceName", "TypeCode", "Status", "Date", "ExchangeType"})
        if (Text(header, QLatin1String(path)).isEmpty())
            Refuse("SMEV-100006",
                   QStringLiteral("Заголовок СМЭВ не заполнен: нет %1").arg(QLatin1String(path)));
    if (Text(header, QStringLiteral("Status")) != u"REQUEST")
        Refuse("SMEV-100006", QStringLiteral("Статус сообщения в заголовке СМЭВ должен быть REQUEST"));
    if (!QDateTime::fromString(Text(header, QStringLiteral("Date")), Qt::ISODateWithMs).isValid())
        Refuse("SMEV-100006", QStringLiteral("Дата в заголовке СМЭВ не является датой"));
    return header;
}

} // namespace

struct SandboxService::Request {
    SandboxOperation operation;
    XmlDocument document;
    XmlNode message; // the Body's element
    XmlNode header;  // its SMEV header
    XmlNode appData; // MessageData\AppData
    QStringList ids; // for the log
};

QString OperationName(SandboxOperation operation)
{
    switch (operation) {
    case SandboxOperation::Payment:
        return QStringLiteral("payment");
    case SandboxOperation::PackageStatus:
        return QStringLiteral("status");
    case SandboxOperation::Charges:
        return QStringLiteral("charges");
    case SandboxOperation::DocumentDetails:
        return QStringLiteral("details");
    case SandboxOperation::Notification:
        return QStringLiteral("notification");
    case SandboxOperation::Cancellation:
        return QStringLiteral("cancellation");
    case SandboxOperation::State:
        return QStringLiteral("state");
    }
    return {};
}

std::optional<SandboxOperation> OperationByName(const QString& name)
{
    for (SandboxOperation operation : AllOperations)
        if (OperationName(operation) == name)
            return operation;
    return std::nullopt;
}

QString FaultName(SandboxFault fault)
{
    switch (fault) {
    case SandboxFault::None:
        return QStringLiteral("none");
    case SandboxFault::SoapFault:
        return QStringLiteral("soap-fault");
    case SandboxFault::HttpError:
        return QStringLiteral("http-error");
    case SandboxFault::NegativeResult:
        return QStringLiteral("negative");
    case SandboxFault::NoReply:
        return QStringLiteral("no-reply");
    case SandboxFault::Processing:
        return QStringLiteral("processing");
    }
    return {};
}

std::optional<SandboxFault> FaultByName(const QString& name)
{
    for (SandboxFault fault : AllFaults)
        if (FaultName(fault) == name)
            return fault;
    return std::nullopt;
}

QString FaultUsageText()
{
    QStringList operations;
    for (SandboxOperation operation : AllOperations)
        operations << OperationName(operation);
    QStringList faults;
    for (SandboxFault fault : AllFaults)
        faults << FaultName(fault);
    return QStringLiteral("укажите ОПЕРАЦИЯ=ОТКАЗ, где операция — %1 или all, отказ — %2")
        .arg(operations.join(QStringLiteral(", ")), faults.join(QStringLiteral(", ")));
}

QByteArray SandboxService::signedFault(const QString& code, const QString& reason) const
{
    return Signed(
        QStringLiteral("<soap:Fault><faultcode>%1</faultcode><faultstring>%2</faultstring></soap:Fault>")
            .arg(Esc(code), Esc(reason)));
}

SandboxService::SandboxService(DemoData data, const SandboxIdentity& identity, QByteArray trusted)
    : FData(std::move(data)), FIdentity(identity),
      FSignerDer(CertificateDer(identity.signerCertificate.get())), FTrusted(std::move(trusted))
{
}

void SandboxService::setFault(const QString& assignment)
{
    setFaults({assignment});
}

void SandboxService::setFaults(const QStringList& assignments)
{
    // An operation of none stands for all of them.
    QList<std::pair<std::optional<SandboxOperation>, SandboxFault>> parsed;
    for (const QString& assignment : assignments) {
        const qsizetype equals = assignment.indexOf(u'=');
        const QString operationName = assignment.left(equals).trimmed();
        const std::optional<SandboxFault> fault = FaultByName(assignment.mid(equals + 1).trimmed());
        const std::optional<SandboxOperation> operation = OperationByName(operationName);
        if (equals < 0 || !fault || (!operation && operationName != u"all"))
            throw ESandboxUsageError(QStringLiteral("\"%1\": ").arg(assignment) + FaultUsageText());
        parsed.append({operation, *fault});
    }
    std::lock_guard lock(FMutex);
    for (const auto& [operation, fault] : parsed)
        for (SandboxOperation each : AllOperations)
            if (!operation || *operation == each)
                FFaults[each] = fault;
}

SandboxReply SandboxService::handle(const QString& path, const QByteArray& soapAction, const QByteArray& body)
{
    std::optional<Request> request;
    try {
        if (HasDocumentTypeDeclaration(body))
            Refuse("SMEV-100002", QStringLiteral("Запрос содержит объявление типа документа (DTD)"));
        const QStringList errors = NamespaceWellFormednessErrors(body);
        if (!errors.isEmpty())
            Refuse("SMEV-100001",
                   QStringLiteral("Запрос не является корректным XML-документом: ") + errors.first());
        XmlDocument document = XmlDocument::parse(body);
        const XmlNode root = document.documentElement();
        const XmlNode soapBody = FindNodeByPath(root, QStringLiteral("Body"), false);
        XmlNode message;
        for (const XmlNode& child : soapBody ? soapBody.children() : QList<XmlNode>())
            if (child.isElement())
                message = child;
        if (root.localName() != u"Envelope" || root.namespaceUri() != QLatin1String(SoapNs) || !message)
            Refuse("SMEV-100003", QStringLiteral("Запрос не является конвертом SOAP 1.1 с телом"));

        // The operation is told by the request, as the gateway tells it.
        const QString name = message.localName();
        const XmlNode appData = FindNodeByPath(message, QStringLiteral("MessageData\\AppData"), false);
        std::optional<SandboxOperation> operation;
        QString action;
        if (path == GisGmpPath && name == u"GISGMPTransferMsg") {
            for (const XmlNode& child :
                 FindNodeByPath(appData, QStringLiteral("RequestMessage"), false).children())
                if (child.isElement()) {
                    if (child.localName() == u"ImportRequest")
                        operation = SandboxOperation::Payment;
                    else if (child.localName() == u"PackageStatusRequest")
                        operation = SandboxOperation::PackageStatus;
                    else if (child.localName() == u"ExportRequest")
                        operation = SandboxOperation::Charges;
                    break;
                }
            action = GisGmpAction;
        } else if (path == GisGkxChargesPath && name == u"exportPaymentDocumentDetailsRequest") {
            operation = SandboxOperation::DocumentDetails;
            action = QStringLiteral("urn:#export_payment_document_details");
        } else if (path == GisGkxPaymentsPath && name == u"importNotificationsOfOrderExecutionRequest") {
            operation = SandboxOperation::Notification;
            action = QStringLiteral("urn:async_getId_import_notifications_of_order_execution");
        } else if (path == GisGkxPaymentsPath &&
                   name == u"importNotificationsOfOrderExecutionCancellationRequest") {
            operation = SandboxOperation::Cancellation;
            action = QStringLiteral("urn:async_getId_import_notifications_of_order_execution_cancellation");
        } else if (path == GisGkxPaymentsPath && name == u"getStateRequest") {
            operation = SandboxOperation::State;
            action = QStringLiteral("urn:async_getResult");
        }
        if (!operation)
            Refuse("SMEV-100004", QStringLiteral("Сервис %1 не поддерживает запрос %2").arg(path, name));
        request.emplace(Request{*operation, document, message, {}, appData, {}});

        QString sentAction = QString::fromUtf8(soapAction).trimmed();
        if (sentAction.size() >= 2 && sentAction.startsWith(u'"') && sentAction.endsWith(u'"'))
            sentAction = sentAction.mid(1, sentAction.size() - 2);
        if (sentAction != action)
            Refuse("SMEV-100005",
                   QStringLiteral("Неверный SOAPAction \"%1\", ожидается \"%2\"").arg(sentAction, action));
        request->header = CheckSmevHeader(message);

        const SignatureCheck check = CheckEnvelopeSignature(body);
        if (!check.certificate.isEmpty() && !IsGostCertificate(check.certificate))
            Refuse("SMEV-100008",
                   QStringLiteral("Сертификат подписи сообщения не является сертификатом ГОСТ"));
        if (!check.verified())
            Refuse("SMEV-100007", QStringLiteral("Электронная подпись сообщения не прошла проверку: ") +
                                      check.failures.join(u"; "));
        if (!FTrusted.isEmpty()) {
            const QString failure = CertificateTrustFailure(check.certificate, FTrusted);
            if (!failure.isEmpty())
                Refuse("SMEV-100009", QStringLiteral("Сертификат подписи не доверен: ") + failure);
        }
        if (*operation == SandboxOperation::Payment) {
            const SignatureCheck payment = CheckPaymentSignature(body);
            if (!payment.certificate.isEmpty() && !IsGostCertificate(payment.certificate))
                Refuse("SMEV-100008",
                       QStringLiteral("Сертификат подписи платежа не является сертификатом ГОСТ"));
            if (!payment.verified())
                Refuse("SMEV-100010",
                       QStringLiteral("Подпись платежа не прошла проверку: ") + payment.failures.join(u"; "));
            if (!FTrusted.isEmpty()) {
                const QString failure = CertificateTrustFailure(payment.certificate, FTrusted);
                if (!failure.isEmpty())
                    Refuse("SMEV-100009",
                           QStringLiteral("Сертификат подписи платежа не доверен: ") + failure);
            }
            CheckTimeStamp(document);
        }

        SandboxFault fault = SandboxFault::None;
        {
            std::lock_guard lock(FMutex);
            fault = FFaults.value(*operation, SandboxFault::None);
        }
        SandboxReply reply = fault == SandboxFault::None ? Answer(*request) : Injected(*request, fault);
        reply.operation = OperationName(*operation);
        reply.identifiers = request->ids.join(u' ');
        if (reply.verdict.isEmpty())
            reply.verdict = QStringLiteral("accepted");
        return reply;
    } catch (const RefusalError& e) {
        SandboxReply reply;
        reply.status = 500;
        reply.body = signedFault(e.refusal.code, e.refusal.reason);
        reply.operation = request ? OperationName(request->operation) : QString();
        reply.verdict = QStringLiteral("refused ") + e.refusal.code + u' ' + e.refusal.reason;
        return reply;
    } catch (const Exception& e) {
        // A node the operation needs is missing or a value is not what the schema allows.
        SandboxReply reply;
        reply.status = 500;
        reply.body = signedFault(QStringLiteral("SMEV-100012"),
                                 QStringLiteral("Запрос не соответствует схеме: ") + e.message());
        reply.operation = request ? OperationName(request->operation) : QString();
        reply.verdict = QStringLiteral("refused SMEV-100012 ") + e.message();
        return reply;
    }
}

namespace {

constexpr char RevNs[] = "http://smev.gosuslugi.ru/rev120315";

// The SMEV header of an answer: the request's header turned round, with the answer's status.
QString AnswerHeader(const XmlNode& request, const QString& status)
{
    const bool test = bool(FindNodeByPath(request, QStringLiteral("TestMsg"), false));
    return QStringLiteral(
               "<rev:Message><rev:Sender><rev:Code>%1</rev:Code><rev:Name>%2</rev:Name></rev:Sender>"
               "<rev:Recipient><rev:Code>%3</rev:Code><rev:Name>%4</rev:Name></rev:Recipient>"
               "<rev:ServiceName>%5</rev:ServiceName><rev:TypeCode>%6</rev:TypeCode>"
               "<rev:Status>%7</rev:Status><rev:Date>%8</rev:Date>"
               "<rev:ExchangeType>%9</rev:ExchangeType>%10</rev:Message>")
        .arg(Esc(Text(request, QStringLiteral("Recipient\\Code"))),
             Esc(Text(request, QStringLiteral("Recipient\\Name"))),
             Esc(Text(request, QStringLiteral("Sender\\Code"))),
             Esc(Text(request, QStringLiteral("Sender\\Name"))),
             Esc(Text(request, QStringLiteral("ServiceName"))),
             Esc(Text(request, QStringLiteral("TypeCode"))), status, Now(),
             Esc(Text(request, QStringLiteral("ExchangeType"))),
             test ? QStringLiteral("<rev:TestMsg/>") : QString());
}

QString Ticket(const QString& code, const QString& description, const QString& data = {})
{
    return QStringLiteral(
               "<tic:Ticket xmlns:tic=\"http://roskazna.ru/gisgmp/xsd/116/Ticket\">"
               "<tic:RequestProcessResult><tic:ResultCode>%1</tic:ResultCode>"
               "<tic:ResultDescription>%2</tic:ResultDescription>%3</tic:RequestProcessResult></tic:Ticket>")
        .arg(code, Esc(description),
             data.isEmpty() ? QString()
                            : QStringLiteral("<tic:ResultData>%1</tic:ResultData>").arg(Esc(data)));
}

QString Element(const char* name, const QString& value)
{
    return value.isEmpty() ? QString() : QStringLiteral("<%1>%2</%1>").arg(QLatin1String(name), Esc(value));
}

// A charge as the supplier's own document, carried as Base64 in the answer.
QString ChargeDocument(const DemoCharge& charge)
{
    const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
                                       "<Charge xmlns=\"http://roskazna.ru/gisgmp/xsd/116/Charge\" "
                                       "supplierBillID=\"%1\" billDate=\"%2\">")
                            .arg(Esc(charge.supplierBillId), Esc(charge.billDate)) +
                        Element("ValidUntil", charge.validUntil) + QStringLiteral("<SupplierOrgInfo>") +
                        Element("Name", charge.supplierName) + Element("INN", charge.supplierInn) +
                        Element("KPP", charge.supplierKpp) + Element("OGRN", charge.supplierOgrn) +
                        QStringLiteral("<Account>") + Element("AccountNumber", charge.account) +
                        QStringLiteral("<Bank>") + Element("Name", charge.bankName) +
                        Element("BIK", charge.bik) + QStringLiteral("</Bank></Account></SupplierOrgInfo>") +
                        Element("BillFor", charge.billFor) +
                        Element("TotalAmount", Amount(charge.totalAmount)) + Element("KBK", charge.kbk) +
                        Element("OKTMO", charge.oktmo) + Element("UnifiedPayerIdentifier", charge.payer) +
                        QStringLiteral("</Charge>");
    return QString::fromLatin1(xml.toUtf8().toBase64());
}

bool InTimeslot(const DemoCharge& charge, const QString& start, const QString& end)
{
    const QDateTime date = QDateTime::fromString(charge.billDate, Qt::ISODate);
    if (!start.isEmpty() && date < QDateTime::fromString(start, Qt::ISODateWithMs))
        return false;
    return end.isEmpty() || date <= QDateTime::fromString(end, Qt::ISODateWithMs);
}

} // namespace

SandboxReply SandboxService::Answer(Request& request)
{
    switch (request.operation) {
    case SandboxOperation::Payment:
        return AnswerPayment(request);
    case SandboxOperation::PackageStatus:
        return AnswerPackageStatus(request);
    case SandboxOperation::Charges:
        return AnswerCharges(request);
    case SandboxOperation::DocumentDetails:
        return AnswerDocumentDetails(request);
    case SandboxOperation::Notification:
        return AnswerNotification(request, false);
    case SandboxOperation::Cancellation:
        return AnswerNotification(request, true);
    case SandboxOperation::State:
        return AnswerState(request);
    }
    return {};
}

namespace {

QString GisGmpAnswer(const XmlNode& request, const XmlNode& header, const QString& content)
{
    const XmlNode message =
        FindNodeByPath(request, QStringLiteral("MessageData\\AppData\\RequestMessage"), false);
    return QStringLiteral(
               "<smev:GISGMPTransferMsg xmlns:smev=\"http://roskazna.ru/gisgmp/02000000/SmevGISGMPService/\" "
               "xmlns:rev=\"%1\">%2<rev:MessageData><rev:AppData>"
               "<gisgmp:ResponseMessage xmlns:gisgmp=\"http://roskazna.ru/gisgmp/xsd/116/Message\" "
               "Id=\"%3\" RqId=\"%4\" recipientIdentifier=\"%5\" senderIdentifier=\"%6\" timestamp=\"%7\">"
               "%8</gisgmp:ResponseMessage></rev:AppData></rev:MessageData></smev:GISGMPTransferMsg>")
        .arg(QLatin1String(RevNs), AnswerHeader(header, QStringLiteral("RESULT")),
             QStringLiteral("A_") + NewGuid(), Esc(message.attribute(QStringLiteral("Id"))),
             Esc(message.attribute(QStringLiteral("senderIdentifier"))), QStringLiteral("3a1f0e"), Now(),
             content);
}

QString GisGkxAnswer(const QString& element, const XmlNode& header, const QString& status,
                     const QString& appData)
{
    return QStringLiteral("<rev:%1 xmlns:rev=\"%2\">%3<rev:MessageData><rev:AppData>%4</rev:AppData>"
                          "</rev:MessageData></rev:%1>")
        .arg(element, QLatin1String(RevNs), AnswerHeader(header, status), appData);
}

// The acknowledgement names the message it acknowledges by the GUID the client gave it.
QString EchoedTransportGuid(const QString& transportGuid)
{
    return QStringLiteral("<rev:TransportGUID>%1</rev:TransportGUID>").arg(Esc(transportGuid));
}

QString GkxError(const QString& code, const QString& description)
{
    return QStringLiteral(
               "<rev:ErrorMessage><rev:ErrorCode>%1</rev:ErrorCode><rev:Description>%2</rev:Description>"
               "</rev:ErrorMessage>")
        .arg(Esc(code), Esc(description));
}

} // namespace

SandboxReply SandboxService::AnswerPayment(Request& request)
{
    const XmlNode payment = FindNodeByPath(
        request.appData, QStringLiteral("RequestMessage\\ImportRequest\\Package\\Document\\FinalPayment"),
        true);
    const QString billId = Text(payment, QStringLiteral("SupplierBillID"));
    const qint64 amount = Text(payment, QStringLiteral("Amount")).toLongLong();
    const QString packageId = NewGuid().toUpper();
    {
        std::lock_guard lock(FMutex);
        FPackageQueries.insert(packageId, 0);
        FPackageEntity.insert(packageId, payment.attribute(QStringLiteral("Id")));
        for (const DemoCharge& charge : FData.charges)
            if (charge.supplierBillId == billId)
                FPaid[billId] += amount;
    }
    request.ids << QStringLiteral("package=") + packageId << QStringLiteral("uin=") + billId;
    SandboxReply reply;
    reply.body = Signed(
        GisGmpAnswer(request.message, request.header,
                     Ticket(QStringLiteral("0"), QStringLiteral("Пакет принят к обработке"), packageId)));
    return reply;
}

SandboxReply SandboxService::AnswerPackageStatus(Request& request)
{
    const QString packageId =
        Text(request.appData, QStringLiteral("RequestMessage\\PackageStatusRequest\\PackageID"));
    request.ids << QStringLiteral("package=") + packageId;
    int queries = -1;
    QString entity;
    {
        std::lock_guard lock(FMutex);
        if (FPackageQueries.contains(packageId)) {
            queries = FPackageQueries[packageId]++;
            entity = FPackageEntity.value(packageId);
        }
    }
    QString content;
    SandboxReply reply;
    if (queries < 0) {
        content = Ticket(QStringLiteral("13"), QStringLiteral("Пакет %1 не найден").arg(packageId));
        reply.verdict = QStringLiteral("not found");
    } else {
        // The first query finds the package still in work, as a busy system would.
        const bool done = queries > 0;
        content =
            QStringLiteral(
                "<tic:Ticket xmlns:tic=\"http://roskazna.ru/gisgmp/xsd/116/Ticket\">"
                "<tic:PackageProcessResult><tic:EntityProcessResult entityId=\"%1\">"
                "<tic:ResultCode>%2</tic:ResultCode><tic:ResultDescription>%3</tic:ResultDescription>"
                "</tic:EntityProcessResult></tic:PackageProcessResult></tic:Ticket>")
                .arg(Esc(entity), done ? QStringLiteral("0") : QStringLiteral("50"),
                     done ? QStringLiteral("Платеж принят") : QStringLiteral("Запрос еще не обработан"));
        reply.verdict = done ? QStringLiteral("processed") : QStringLiteral("not yet processed (50)");
    }
    reply.body = Signed(GisGmpAnswer(request.message, request.header, content));
    return reply;
}

SandboxReply SandboxService::AnswerCharges(Request& request)
{
    const XmlNode exportRequest =
        FindNodeByPath(request.appData, QStringLiteral("RequestMessage\\ExportRequest"), true);
    const XmlNode conditions = FindNodeByPath(exportRequest, QStringLiteral("Filter\\Conditions"), false);
    const XmlNode restrictions =
        FindNodeByPath(exportRequest, QStringLiteral("Filter\\AdditionRestrictions"), false);
    const QStringList billIds = Texts(FindNodeByPath(conditions, QStringLiteral("ChargesIdentifiers"), false),
                                      QStringLiteral("SupplierBillID"));
    const QStringList payers =
        Texts(FindNodeByPath(conditions, QStringLiteral("Payers"), false), QStringLiteral("PayerIdentifier"));
    const XmlNode timeslot = FindNodeByPath(conditions, QStringLiteral("Timeslot"), false);
    const QStringList kbks =
        Texts(FindNodeByPath(restrictions, QStringLiteral("KBKClassifier"), false), QStringLiteral("KBK"));
    const QStringList oktmos = Texts(FindNodeByPath(restrictions, QStringLiteral("OKTMOClassifier"), false),
                                     QStringLiteral("OKTMO"));
    const QStringList excluded = Texts(restrictions, QStringLiteral("Exclude"));
    if (billIds.isEmpty() && payers.isEmpty() && !timeslot)
        throw Exception(QStringLiteral("в фильтре нет ни УИН, ни плательщиков, ни периода"));

    QList<DemoCharge> found;
    for (const DemoCharge& charge : FData.charges) {
        if ((!billIds.isEmpty() && !billIds.contains(charge.supplierBillId)) ||
            (!payers.isEmpty() && !payers.contains(charge.payer)) ||
            (timeslot && !InTimeslot(charge, timeslot.attribute(QStringLiteral("startDate")),
                                     timeslot.attribute(QStringLiteral("endDate")))) ||
            (!kbks.isEmpty() && !kbks.contains(charge.kbk)) ||
            (!oktmos.isEmpty() && !oktmos.contains(charge.oktmo)) || excluded.contains(charge.supplierBillId))
            continue;
        found.append(charge);
    }

    // The page as the client asks for it; without paging the first page of the default length.
    const XmlNode paging = FindNodeByPath(exportRequest, QStringLiteral("Paging"), false);
    const int pageLength = paging ? paging.attribute(QStringLiteral("pageLength")).toInt() : 10;
    const int pageNumber = paging ? paging.attribute(QStringLiteral("pageNumber")).toInt() : 1;
    if (pageLength <= 0 || pageNumber <= 0)
        throw Exception(QStringLiteral("неверные параметры страницы"));
    const qsizetype first = qsizetype(pageNumber - 1) * pageLength;
    const QList<DemoCharge> page = found.mid(first, pageLength);
    const bool hasMore = first + pageLength < found.size();

    QString charges;
    for (const DemoCharge& charge : page) {
        qint64 paid = 0;
        bool anyPayment = false;
        {
            std::lock_guard lock(FMutex);
            anyPayment = FPaid.contains(charge.supplierBillId);
            paid = FPaid.value(charge.supplierBillId);
        }
        const QString status = !anyPayment                  ? charge.quittanceStatus
                               : paid >= charge.totalAmount ? QStringLiteral("1")
                                                            : QStringLiteral("2");
        charges +=
            QStringLiteral("<ChargeInfo><ChargeData>%1</ChargeData><AmountToPay>%2</AmountToPay>"
                           "<QuittanceWithPaymentStatus>%3</QuittanceWithPaymentStatus></ChargeInfo>")
                .arg(ChargeDocument(charge), Amount(std::max<qint64>(0, charge.totalAmount - paid)), status);
    }
    request.ids << QStringLiteral("found=%1 page=%2 length=%3 sent=%4%5")
                       .arg(found.size())
                       .arg(pageNumber)
                       .arg(pageLength)
                       .arg(page.size())
                       .arg(hasMore ? QStringLiteral(" hasMore") : QString());
    SandboxReply reply;
    reply.body = Signed(GisGmpAnswer(
        request.message, request.header,
        QStringLiteral("<ExportChargesResponse xmlns=\"http://roskazna.ru/gisgmp/xsd/116/MessageData\">"
                       "<Charges hasMore=\"%1\">%2</Charges></ExportChargesResponse>")
            .arg(hasMore ? QStringLiteral("true") : QStringLiteral("false"), charges)));
    return reply;
}

SandboxReply SandboxService::AnswerDocumentDetails(Request& request)
{
    const XmlNode query =
        FindNodeByPath(request.appData, QStringLiteral("PaymentDocumentDetailsRequest"), true);
    const QString account = Text(query, QStringLiteral("UnifiedAccountNumber"));
    const QString year = Text(query, QStringLiteral("Year"));
    const QString month = Text(query, QStringLiteral("Month"));
    request.ids << QStringLiteral("account=") + account;
    QString records;
    int count = 0;
    for (const DemoAccountMonth& entry : FData.accounts) {
        if ((!account.isEmpty() && entry.unifiedAccountNumber != account) ||
            (!year.isEmpty() && QString::number(entry.year) != year) ||
            (!month.isEmpty() && QString::number(entry.month) != month))
            continue;
        QString record =
            QStringLiteral("<rev:Charge>") + Element("rev:UnifiedAccountNumber", entry.unifiedAccountNumber) +
            QStringLiteral("<rev:ConsumerInformation><rev:address>") + Element("rev:region", entry.region) +
            Element("rev:city", entry.city) + Element("rev:street", entry.street) +
            Element("rev:housenum", entry.houseNumber) + Element("rev:apartment", entry.apartment) +
            Element("rev:FIASHouseGuid", entry.fiasHouseGuid) +
            QStringLiteral("</rev:address></rev:ConsumerInformation><rev:ExecutorInformation>") +
            Element("rev:INN", entry.executorInn) + QStringLiteral("<rev:Legal>") +
            Element("rev:KPP", entry.executorKpp) + Element("rev:Name", entry.executorName) +
            QStringLiteral("</rev:Legal><rev:PaymentInformation>") +
            Element("rev:RecipientINN", entry.executorInn) + Element("rev:RecipientKPP", entry.executorKpp) +
            Element("rev:BankName", entry.executorBank) +
            Element("rev:PaymentRecipient", entry.executorName) + Element("rev:BankBIK", entry.executorBik) +
            Element("rev:operatingAccountNumber", entry.executorAccount) +
            QStringLiteral("</rev:PaymentInformation></rev:ExecutorInformation>");
        for (const DemoPaymentDocument& document : entry.documents) {
            record += QStringLiteral("<rev:PaymentDocument>") +
                      Element("rev:PaymentDocumentNumber", document.number) +
                      Element("rev:AccountNumber", document.accountNumber) +
                      QStringLiteral("<rev:PaymentDocumentDetails>") +
                      Element("rev:Debt", Amount(document.debt)) +
                      Element("rev:Reminder", Amount(document.reminder)) +
                      QStringLiteral("</rev:PaymentDocumentDetails></rev:PaymentDocument>");
            ++count;
        }
        for (const DemoService& service : entry.services) {
            record += QStringLiteral("<rev:Service>") + Element("rev:ServiceID", service.id) +
                      Element("rev:ServiceName", service.name) +
                      Element("rev:Amount", Amount(service.amount)) + QStringLiteral("</rev:Service>");
            ++count;
        }
        records += record + QStringLiteral("</rev:Charge>");
    }
    SandboxReply reply;
    if (records.isEmpty()) {
        records = GkxError(QStringLiteral("INT002012"), QStringLiteral("Нет объектов для экспорта"));
        reply.verdict = QStringLiteral("not found (INT002012)");
    }
    request.ids << QStringLiteral("records=%1").arg(count);
    reply.body = Signed(GisGkxAnswer(
        QStringLiteral("exportPaymentDocumentDetailsResult"), request.header, QStringLiteral("RESULT"),
        QStringLiteral("<rev:ExportPaymentDocumentDetails>%1</rev:ExportPaymentDocumentDetails>")
            .arg(records)));
    return reply;
}

SandboxReply SandboxService::AnswerNotification(Request& request, bool cancellation)
{
    const XmlNode import = FindNodeByPath(
        request.appData,
        cancellation
            ? QStringLiteral(
                  "importNotificationsOfOrderExecutionCancellation\\NotificationOfOrderExecutionCancellation")
            : QStringLiteral("importNotificationsOfOrderExecution\\NotificationOfOrderExecutionType"),
        true);
    Notification notification;
    notification.orderId =
        Text(import, cancellation ? QStringLiteral("OrderID") : QStringLiteral("OrderInfo\\OrderID"));
    notification.transportGuid = Text(import, QStringLiteral("TransportGUID"));
    if (notification.orderId.isEmpty())
        throw Exception(QStringLiteral("нет OrderID"));
    const QString guid = NewGuid();
    {
        std::lock_guard lock(FMutex);
        if (!cancellation) {
            FOrders.insert(notification.orderId);
        } else if (!FOrders.contains(notification.orderId)) {
            // Refused in the answer to the state query, as the system does with a message it took.
            notification.refused = true;
        }
        FMessages.insert(guid, notification);
    }
    request.ids << QStringLiteral("message=") + guid << QStringLiteral("order=") + notification.orderId;
    SandboxReply reply;
    reply.body =
        Signed(GisGkxAnswer(QStringLiteral("ackResult"), request.header, QStringLiteral("ACCEPT"),
                            QStringLiteral("<rev:AcknowledgmentResponse><rev:MessageGUID>%1</rev:MessageGUID>"
                                           "%2</rev:AcknowledgmentResponse>")
                                .arg(guid, EchoedTransportGuid(notification.transportGuid))));
    return reply;
}

SandboxReply SandboxService::AnswerState(Request& request)
{
    const QString guid = Text(request.appData, QStringLiteral("AcknowledgmentRequest\\MessageGUID"));
    request.ids << QStringLiteral("message=") + guid;
    std::optional<Notification> notification;
    {
        std::lock_guard lock(FMutex);
        if (FMessages.contains(guid))
            notification = FMessages.value(guid);
    }
    QString appData;
    SandboxReply reply;
    if (!notification) {
        appData = GkxError(QStringLiteral("INT002000"), QStringLiteral("Сообщение %1 не найдено").arg(guid));
        reply.verdict = QStringLiteral("unknown message");
    } else {
        request.ids << QStringLiteral("transport=") + notification->transportGuid;
        appData =
            QStringLiteral("<rev:RequestState>3</rev:RequestState><rev:MessageGUID>%1</rev:MessageGUID>"
                           "<rev:CommonResult><rev:GUID>%2</rev:GUID><rev:TransportID>%3</rev:TransportID>"
                           "<rev:UpdateDate>%4</rev:UpdateDate>%5</rev:CommonResult>")
                .arg(guid, NewGuid(), Esc(notification->transportGuid), Now(),
                     notification->refused
                         ? GkxError(QStringLiteral("INT002012"),
                                    QStringLiteral("Распоряжение %1 не найдено, аннулировать нечего")
                                        .arg(notification->orderId))
                         : QString());
        reply.verdict =
            notification->refused ? QStringLiteral("cancellation refused") : QStringLiteral("processed");
    }
    reply.body = Signed(
        GisGkxAnswer(QStringLiteral("getStateResult"), request.header, QStringLiteral("RESULT"), appData));
    return reply;
}

SandboxReply SandboxService::Injected(Request& request, SandboxFault fault)
{
    SandboxReply reply;
    reply.verdict = QStringLiteral("injected ") + FaultName(fault);
    const bool gisGmp = request.operation == SandboxOperation::Payment ||
                        request.operation == SandboxOperation::PackageStatus ||
                        request.operation == SandboxOperation::Charges;
    const auto gkx = [&](const QString& code, const QString& description) {
        switch (request.operation) {
        case SandboxOperation::Notification:
        case SandboxOperation::Cancellation:
            return GisGkxAnswer(
                QStringLiteral("ackResult"), request.header,
                code == u"SRV000002" ? QStringLiteral("PROCESSING") : QStringLiteral("REJECT"),
                QStringLiteral("<rev:AcknowledgmentResponse>%1</rev:AcknowledgmentResponse>")
                    .arg(EchoedTransportGuid(
                        Text(request.appData,
                             request.operation == SandboxOperation::Cancellation
                                 ? QStringLiteral("importNotificationsOfOrderExecutionCancellation\\"
                                                  "NotificationOfOrderExecutionCancellation\\TransportGUID")
                                 : QStringLiteral("importNotificationsOfOrderExecution\\"
                                                  "NotificationOfOrderExecutionType\\TransportGUID")))));
        case SandboxOperation::DocumentDetails:
            return GisGkxAnswer(
                QStringLiteral("exportPaymentDocumentDetailsResult"), request.header,
                QStringLiteral("RESULT"),
                QStringLiteral("<rev:ExportPaymentDocumentDetails>%1</rev:ExportPaymentDocumentDetails>")
                    .arg(GkxError(code, description)));
        default:
            return GisGkxAnswer(QStringLiteral("getStateResult"), request.header, QStringLiteral("RESULT"),
                                GkxError(code, description));
        }
    };
    switch (fault) {
    case SandboxFault::None:
        break;
    case SandboxFault::SoapFault:
        reply.status = 500;
        reply.body = signedFault(QStringLiteral("SMEV-100100"),
                                 QStringLiteral("Сервис ведомства временно недоступен (учебный отказ)"));
        break;
    case SandboxFault::HttpError:
        reply.status = 503;
        reply.contentType = "text/html; charset=utf-8";
        reply.body = "<html><body>503 Service Unavailable</body></html>";
        break;
    case SandboxFault::NoReply:
        reply.hang = true;
        break;
    case SandboxFault::NegativeResult:
        reply.body =
            Signed(gisGmp ? GisGmpAnswer(request.message, request.header,
                                         Ticket(QStringLiteral("19"),
                                                QStringLiteral("Ошибка обработки запроса (учебный отказ)")))
                          : gkx(QStringLiteral("SRV000001"),
                                QStringLiteral("Ошибка обработки запроса (учебный отказ)")));
        break;
    case SandboxFault::Processing:
        reply.body = Signed(
            gisGmp
                ? GisGmpAnswer(request.message, request.header,
                               request.operation == SandboxOperation::PackageStatus
                                   ? QStringLiteral(
                                         "<tic:Ticket xmlns:tic=\"http://roskazna.ru/gisgmp/xsd/116/Ticket\">"
                                         "<tic:PackageProcessResult><tic:EntityProcessResult>"
                                         "<tic:ResultCode>50</tic:ResultCode><tic:ResultDescription>"
                                         "Запрос еще не обработан</tic:ResultDescription>"
                                         "</tic:EntityProcessResult></tic:PackageProcessResult></tic:Ticket>")
                                   : Ticket(QStringLiteral("50"), QStringLiteral("Запрос еще не обработан")))
                : gkx(QStringLiteral("SRV000002"),
                      QStringLiteral("Сообщение еще обрабатывается, повторите запрос позже")));
        break;
    }
    return reply;
}

QByteArray SandboxService::Signed(const QString& body) const
{
    return SignedSoapEnvelope(body, FSignerDer, FIdentity.signerKey.get());
}
