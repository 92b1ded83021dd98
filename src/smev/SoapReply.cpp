#include "smev/SoapReply.h"

#include "foundation/TextHelper.h"
#include "foundation/XmlHelper.h"

QString NodeText(const XmlNode& start, const QString& path)
{
    return FindNodeByPath(start, path, true).text();
}

void CheckSoapEnvelope(const XmlNode& root)
{
    const QString rootName = root ? root.localName() : QString();
    if (!SameAsciiText(rootName, QLatin1String("Envelope")))
        throw ESOAPException::Create(QStringLiteral("Invalid name: ") + rootName);

    const XmlNode fault = FindNodeByPath(root, QStringLiteral("Body\\Fault"), false);
    if (!fault)
        return;
    const XmlNode code = FindNodeByPath(fault, QStringLiteral("faultcode"), false);
    const XmlNode nested = FindNodeByPath(fault, QStringLiteral("detail\\nested\\fault"), false);
    const XmlNode error = FindNodeByPath(fault, QStringLiteral("MessageData\\AppData\\ErrorMessage"), false);

    if (code)
        throw ESOAPException::CreateFault(code.text(), NodeText(fault, QStringLiteral("faultstring")));
    if (nested) {
        const QString location = NodeText(nested, QStringLiteral("location\\node"));
        const QString reason = NodeText(nested, QStringLiteral("reason"));
        throw ESOAPException::CreateFault(NodeText(nested, QStringLiteral("errorCode")),
                                          location + QLatin1String(": ") + reason);
    }
    if (!error)
        throw ESOAPException::CreateFault(QStringLiteral("Fault"), QStringLiteral("Unknown error"));
    const QString description = NodeText(error, QStringLiteral("Description"));
    throw ESOAPException::CreateResult(NodeText(error, QStringLiteral("ErrorCode")), description, {});
}
