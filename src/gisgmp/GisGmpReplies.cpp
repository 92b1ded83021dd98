#include "gisgmp/GisGmpReplies.h"

#include "foundation/TextHelper.h"
#include "foundation/XmlHelper.h"
#include "smev/SoapValues.h"

#include <QUtf8StringView>

namespace {

// The flags of the charges reply are xs:boolean, whose true is written "true" or "1"; reading
// only "true" would take a partial list announced with "1" for the whole one.
bool XmlBooleanIsTrue(const QString& text)
{
    const QString value = text.trimmed();
    return SameAsciiText(value, QLatin1String("true")) || value == QLatin1String("1");
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

XmlNode CheckGisGmpResponse(const XmlDocument& document, bool ticketMust, bool resultMust)
{
    const XmlNode root = document.documentElement();
    CheckSoapEnvelope(root);

    const QString status = NodeText(root, QStringLiteral("Body\\GISGMPTransferMsg\\Message\\Status"));
    if (!SameAsciiText(status, QLatin1String("RESULT")))
        throw ESOAPException::Create(QStringLiteral("Error Status <") + status + QLatin1Char('>'));

    const XmlNode ticket = FindNodeByPath(
        root, QStringLiteral("Body\\GISGMPTransferMsg\\MessageData\\AppData\\ResponseMessage\\Ticket"),
        ticketMust);
    if (!ticket)
        return ticket;
    const XmlNode result = FindNodeByPath(ticket, QStringLiteral("RequestProcessResult"), resultMust);
    if (!result)
        return ticket;
    const QString code = NodeText(result, QStringLiteral("ResultCode"));
    const XmlNode data = FindNodeByPath(result, QStringLiteral("ResultData"), false);
    const QString details = data ? QLatin1String("\r\n") + data.text() : QString();
    if (!SameAsciiText(code, QLatin1String("0")))
        throw ESOAPException::CreateResult(code, NodeText(result, QStringLiteral("ResultDescription")),
                                           details);
    return ticket;
}

QString ReadImportResult(const XmlDocument& document)
{
    const XmlNode ticket = CheckGisGmpResponse(document, true, true);
    return NodeText(ticket, QStringLiteral("RequestProcessResult\\ResultData"));
}

QString ReadPackageStatus(const XmlDocument& document)
{
    const XmlNode ticket = CheckGisGmpResponse(document, true, false);
    const XmlNode entity =
        FindNodeByPath(ticket, QStringLiteral("PackageProcessResult\\EntityProcessResult"), true);
    const QString code = NodeText(entity, QStringLiteral("ResultCode"));
    if (!SameAsciiText(code, QLatin1String("0")))
        throw ESOAPException::CreateResult(code, NodeText(entity, QStringLiteral("ResultDescription")), {});
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
