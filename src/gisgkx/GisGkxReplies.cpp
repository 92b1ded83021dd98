#include "gisgkx/GisGkxReplies.h"

#include "foundation/TextHelper.h"
#include "foundation/XmlHelper.h"
#include "smev/SoapValues.h"

namespace {

// Both housing readers report an error element the same way.
void CheckErrorMessage(const XmlNode& parent)
{
    const XmlNode error = FindNodeByPath(parent, QStringLiteral("ErrorMessage"), false);
    if (!error)
        return;
    const QString description = NodeText(error, QStringLiteral("Description"));
    throw ESOAPException::CreateResult(NodeText(error, QStringLiteral("ErrorCode")), description, {});
}

} // namespace

QString ReadAckResult(const XmlDocument& document)
{
    const XmlNode root = document.documentElement();
    CheckSoapEnvelope(root);

    const XmlNode ack = FindNodeByPath(root, QStringLiteral("Body\\ackResult"), true);
    const QString status = NodeText(ack, QStringLiteral("Message\\Status"));
    if (!SameAsciiText(status, QLatin1String("ACCEPT")))
        throw ESOAPException::Create(QStringLiteral("Error Status <") + status + QLatin1Char('>'));
    return NodeText(ack, QStringLiteral("MessageData\\AppData\\AcknowledgmentResponse\\MessageGUID"));
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
    return NodeText(common, QStringLiteral("TransportID"));
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
        const QString code = NodeText(error, QStringLiteral("ErrorCode"));
        if (SameAsciiText(code, QLatin1String("INT002012")))
            return 0;
        throw ESOAPException::CreateResult(code, NodeText(error, QStringLiteral("Description")), {});
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
            if (!SameAsciiText(name, QLatin1String("PaymentDocument")) &&
                !SameAsciiText(name, QLatin1String("Service")))
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
