#include "smev/SoapReply.h"

#include "foundation/TextHelper.h"

#include "foundation/XmlHelper.h"
#include "smev/SoapValues.h"

#include <QUtf8StringView>

namespace {

bool SameText(const QString& text, QLatin1String constant)
{
    return SameAsciiText(text, constant);
}

// The flags of the charges reply are xs:boolean, whose true is written "true" or "1"; reading
// only "true" would take a partial list announced with "1" for the whole one.
bool XmlBooleanIsTrue(const QString& text)
{
    const QString value = text.trimmed();
    return SameText(value, QLatin1String("true")) || value == QLatin1String("1");
}

QString TextAt(const XmlNode& start, const QString& path)
{
    return FindNodeByPath(start, path, true).text();
}

// Both housing readers report an error element the same way.
void CheckErrorMessage(const XmlNode& parent)
{
    const XmlNode error = FindNodeByPath(parent, QStringLiteral("ErrorMessage"), false);
    if (!error)
        return;
    const QString description = TextAt(error, QStringLiteral("Description"));
    throw ESOAPException::CreateResult(TextAt(error, QStringLiteral("ErrorCode")), description, {});
}

// The charge itself travels as Base64 of its own signed XML document. The lookup is exact
// (letter case counts), as the schema names the element.
XmlDocument DecodeChargeData(const XmlNode& charge)
{
    const QString name = QStringLiteral("ChargeData");
    XmlNode data;
    for (const XmlNode& child : charge.children()) {
        if (child.isElement() && (child.name() == name || child.localName() == name)) {
            data = child;
            break;
        }
    }
    if (!data)
        throw EXMLException(QStringLiteral("Node \"%1\" not found").arg(name));

    const std::optional<QByteArray> decoded = DecodeXmlBase64(data.text());
    if (!decoded)
        throw EXMLException(QStringLiteral("ChargeData is not valid Base64"));

    if (!QUtf8StringView(*decoded).isValidUtf8())
        throw EXMLException(QStringLiteral("ChargeData is not valid UTF-8"));
    // The charge is read as the text it decodes to, whatever encoding its declaration names; the
    // bytes go to the parser as they are, with no round trip through a string.
    return XmlDocument::parseUtf8Text(*decoded);
}

} // namespace

void CheckSoapEnvelope(const XmlNode& root)
{
    const QString rootName = root ? root.localName() : QString();
    if (!SameText(rootName, QLatin1String("Envelope")))
        throw ESOAPException::Create(QStringLiteral("Invalid name: ") + rootName);

    const XmlNode fault = FindNodeByPath(root, QStringLiteral("Body\\Fault"), false);
    if (!fault)
        return;
    const XmlNode code = FindNodeByPath(fault, QStringLiteral("faultcode"), false);
    const XmlNode nested = FindNodeByPath(fault, QStringLiteral("detail\\nested\\fault"), false);
    const XmlNode error = FindNodeByPath(fault, QStringLiteral("MessageData\\AppData\\ErrorMessage"), false);

    if (code)
        throw ESOAPException::CreateFault(code.text(), TextAt(fault, QStringLiteral("faultstring")));
    if (nested) {
        const QString location = TextAt(nested, QStringLiteral("location\\node"));
        const QString reason = TextAt(nested, QStringLiteral("reason"));
        throw ESOAPException::CreateFault(TextAt(nested, QStringLiteral("errorCode")),
                                          location + QLatin1String(": ") + reason);
    }
    if (!error)
        throw ESOAPException::CreateFault(QStringLiteral("Fault"), QStringLiteral("Unknown error"));
    const QString description = TextAt(error, QStringLiteral("Description"));
    throw ESOAPException::CreateResult(TextAt(error, QStringLiteral("ErrorCode")), description, {});
}

XmlNode CheckGisGmpResponse(const XmlDocument& document, bool ticketMust, bool resultMust)
{
    const XmlNode root = document.documentElement();
    CheckSoapEnvelope(root);

    const QString status = TextAt(root, QStringLiteral("Body\\GISGMPTransferMsg\\Message\\Status"));
    if (!SameText(status, QLatin1String("RESULT")))
        throw ESOAPException::Create(QStringLiteral("Error Status <") + status + QLatin1Char('>'));

    const XmlNode ticket = FindNodeByPath(
        root, QStringLiteral("Body\\GISGMPTransferMsg\\MessageData\\AppData\\ResponseMessage\\Ticket"),
        ticketMust);
    if (!ticket)
        return ticket;
    const XmlNode result = FindNodeByPath(ticket, QStringLiteral("RequestProcessResult"), resultMust);
    if (!result)
        return ticket;
    const QString code = TextAt(result, QStringLiteral("ResultCode"));
    const XmlNode data = FindNodeByPath(result, QStringLiteral("ResultData"), false);
    const QString details = data ? QLatin1String("\r\n") + data.text() : QString();
    if (!SameText(code, QLatin1String("0")))
        throw ESOAPException::CreateResult(code, TextAt(result, QStringLiteral("ResultDescription")),
                                           details);
    return ticket;
}

QString ReadImportResult(const XmlDocument& document)
{
    const XmlNode ticket = CheckGisGmpResponse(document, true, true);
    return TextAt(ticket, QStringLiteral("RequestProcessResult\\ResultData"));
}

QString ReadPackageStatus(const XmlDocument& document)
{
    const XmlNode ticket = CheckGisGmpResponse(document, true, false);
    const XmlNode entity =
        FindNodeByPath(ticket, QStringLiteral("PackageProcessResult\\EntityProcessResult"), true);
    const QString code = TextAt(entity, QStringLiteral("ResultCode"));
    if (!SameText(code, QLatin1String("0")))
        throw ESOAPException::CreateResult(code, TextAt(entity, QStringLiteral("ResultDescription")), {});
    return entity.attribute(QStringLiteral("entityId"));
}

TExportChargesResult ReadExportCharges(const XmlDocument& document, ISOAPValues* values)
{
    CheckGisGmpResponse(document, false, false);

    TExportChargesResult result;
    const XmlNode response = FindNodeByPath(
        document.documentElement(),
        QStringLiteral(
            "Body\\GISGMPTransferMsg\\MessageData\\AppData\\ResponseMessage\\ExportChargesResponse"),
        true);
    const XmlNode charges = FindNodeByPath(response, QStringLiteral("Charges"), false);
    if (!charges)
        return result;

    result.HasMore = XmlBooleanIsTrue(charges.attribute(QStringLiteral("hasMore")));
    if (XmlBooleanIsTrue(charges.attribute(QStringLiteral("needReRequest"))))
        throw ESOAPException::CreateResult(
            QStringLiteral("needReRequest"),
            QStringLiteral("Требуется повторный запрос (внешняя система недоступна либо получена ошибка)."),
            {});

    QStringList lines;
    for (const XmlNode& charge : charges.children()) {
        ++result.Count;
        if (!values)
            continue;
        const XmlDocument work = DecodeChargeData(charge);
        lines.clear();
        FlattenNode(work.documentElement(), lines, QStringLiteral("Signature"));
        FlattenNode(charge, lines, QStringLiteral("ChargeData"));
        values->DisplayRecord(work, lines);
    }
    return result;
}

QString ReadAckResult(const XmlDocument& document)
{
    const XmlNode root = document.documentElement();
    CheckSoapEnvelope(root);

    const XmlNode ack = FindNodeByPath(root, QStringLiteral("Body\\ackResult"), true);
    const QString status = TextAt(ack, QStringLiteral("Message\\Status"));
    if (!SameText(status, QLatin1String("ACCEPT")))
        throw ESOAPException::Create(QStringLiteral("Error Status <") + status + QLatin1Char('>'));
    return TextAt(ack, QStringLiteral("MessageData\\AppData\\AcknowledgmentResponse\\MessageGUID"));
}

QString ReadStateResult(const XmlDocument& document)
{
    const XmlNode root = document.documentElement();
    CheckSoapEnvelope(root);

    const XmlNode state = FindNodeByPath(root, QStringLiteral("Body\\getStateResult"), true);
    FindNodeByPath(state, QStringLiteral("Message\\Status"), true);
    const XmlNode appData = FindNodeByPath(state, QStringLiteral("MessageData\\AppData"), true);
    CheckErrorMessage(appData);
    const XmlNode common = FindNodeByPath(appData, QStringLiteral("CommonResult"), true);
    CheckErrorMessage(common);
    return TextAt(common, QStringLiteral("TransportID"));
}

int ReadPaymentDocumentDetails(const XmlDocument& document, ISOAPValues* values)
{
    const XmlNode root = document.documentElement();
    CheckSoapEnvelope(root);

    const XmlNode details = FindNodeByPath(
        root,
        QStringLiteral(
            "Body\\exportPaymentDocumentDetailsResult\\MessageData\\AppData\\ExportPaymentDocumentDetails"),
        true);
    const XmlNode error = FindNodeByPath(details, QStringLiteral("ErrorMessage"), false);
    if (error) {
        // The system's way of saying that nothing matched the request.
        const QString code = TextAt(error, QStringLiteral("ErrorCode"));
        if (SameText(code, QLatin1String("INT002012")))
            return 0;
        throw ESOAPException::CreateResult(code, TextAt(error, QStringLiteral("Description")), {});
    }

    int count = 0;
    if (!values)
        return count;
    QStringList baseLines;
    QStringList lines;
    for (const XmlNode& record : details.children()) {
        baseLines.clear();
        FlattenNode(record, baseLines, QStringLiteral("PaymentDocument;Service"));
        for (const XmlNode& item : record.children()) {
            if (!item.isElement())
                continue;
            const QString name = item.localName();
            if (!SameText(name, QLatin1String("PaymentDocument")) &&
                !SameText(name, QLatin1String("Service")))
                continue;
            ++count;
            lines = baseLines;
            FlattenNode(item, lines, QString());
            const XmlDocument work = XmlDocument::fromNode(item);
            values->DisplayRecord(work, lines);
        }
    }
    return count;
}
