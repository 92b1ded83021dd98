#include "smev/SmevEnvelope.h"

#include "foundation/CryptHelper.h"
#include "foundation/TextHelper.h"
#include "smev/SoapConstants.h"
#include "smev/SoapValues.h"
#include "smev/SoapWriter.h"

QString TestMsgElement(bool testMode)
{
    return testMode ? QStringLiteral("<rev:TestMsg></rev:TestMsg>") : QString();
}

QString BuildSmevHeader(ISOAPValues& values, bool declarePrefix)
{
    // Keys are read in this fixed order so that the first missing one is the one reported.
    const QString senderCode = values.GetFieldValue(QStringLiteral("SenderCode"));
    const QString senderName = values.GetFieldValue(QStringLiteral("SenderName"));
    const QString recipientCode = values.GetFieldValue(QStringLiteral("RecipientCode"));
    const QString recipientName = values.GetFieldValue(QStringLiteral("RecipientName"));
    const QString originatorCode = values.GetFieldValue(QStringLiteral("OriginatorCode"));
    const QString originatorName = values.GetFieldValue(QStringLiteral("OriginatorName"));
    const QString serviceName = values.GetFieldValue(QStringLiteral("ServiceName"));
    const QString typeCode = values.GetFieldValue(QStringLiteral("TypeCode"));
    const QString messageStatus = values.GetFieldValue(QStringLiteral("MessageStatus"));
    const QString messageDate = values.GetFieldValue(QStringLiteral("MessageDate"));
    const QString exchangeType = values.GetFieldValue(QStringLiteral("ExchangeType"));

    const XmlTag code(u"rev:Code");
    const XmlTag name(u"rev:Name");
    XmlTag message(u"rev:Message");
    if (declarePrefix)
        message.xmlns(u"rev", SMEV_REV_NS);

    QString content;
    content += XmlTag(u"rev:Sender").always(code.always(senderCode) + name.always(senderName));
    content += XmlTag(u"rev:Recipient").always(code.always(recipientCode) + name.always(recipientName));
    content += XmlTag(u"rev:Originator")
                   .ifNonEmpty(code.ifNonEmpty(originatorCode) + name.ifNonEmpty(originatorName));
    content += XmlTag(u"rev:ServiceName").always(serviceName);
    content += XmlTag(u"rev:TypeCode").always(typeCode);
    content += XmlTag(u"rev:Status").always(messageStatus);
    content += XmlTag(u"rev:Date").always(messageDate);
    content += XmlTag(u"rev:ExchangeType").always(exchangeType);
    content += TestMsgElement(values.RunOptions().testMode);
    return message.always(content);
}

QString BuildSignedEnvelope(ContainerKey& key, const QString& body, IdentifierSource& ids)
{
    // The declarations stand on the Body itself because exclusive canonicalisation renders them
    // there; the text written is then exactly the text a receiver digests.
    const QString signedBody = XmlTag(u"soapenv:Body")
                                   .xmlns(u"soapenv", SOAP11_ENV_NS)
                                   .xmlns(u"wsu", WSU_NS)
                                   .attr(u"wsu:Id", u"body")
                                   .always(body);

    const GostAlgorithm algorithm = key.algorithm();
    const QByteArray bodyHash = key.hash(signedBody.toUtf8());

    const QString signedInfo = XmlTag(u"ds:SignedInfo")
                                   .xmlns(u"ds", XMLDSIG_NS)
                                   .always(SignedInfoContent(QStringLiteral("#body"), {EXC_C14N_URI},
                                                             Base64Line(bodyHash), algorithm));

    const QByteArray signature = key.sign(signedInfo.toUtf8());
    const QByteArray certificate = key.certificate();

    // Drawn one after the other: the order is what makes the Ids of one envelope ascend.
    const QString certId = QStringLiteral("CertId-") + ids.NextIdSuffix();
    const QString keyId = QStringLiteral("KeyId-") + ids.NextIdSuffix();
    const QString strId = QStringLiteral("STRId-") + ids.NextIdSuffix();
    const QString signId = QStringLiteral("SignID-") + ids.NextIdSuffix();

    const QString tokenReference =
        XmlTag(u"wsse:SecurityTokenReference")
            .attr(u"wsu:Id", strId)
            .always(QStringLiteral("<wsse:Reference URI=\"#") + certId + QStringLiteral("\" ValueType=\"") +
                    WSS_X509V3_URI + QStringLiteral("\"/>"));

    const QString security =
        XmlTag(u"wsse:Security")
            .xmlns(u"ds", XMLDSIG_NS)
            .xmlns(u"wsu", WSU_NS)
            .xmlns(u"wsse", WSSE_NS)
            .attr(u"soapenv:actor", SMEV_ACTOR_URI)
            .always(XmlTag(u"wsse:BinarySecurityToken")
                        .attr(u"EncodingType", WSS_BASE64_URI)
                        .attr(u"ValueType", WSS_X509V3_URI)
                        .attr(u"wsu:Id", certId)
                        .always(Base64Line(certificate)) +
                    XmlTag(u"ds:Signature")
                        .attr(u"Id", signId)
                        .always(signedInfo + XmlTag(u"ds:SignatureValue").always(Base64Line(signature)) +
                                XmlTag(u"ds:KeyInfo").attr(u"Id", keyId).always(tokenReference)));

    return QStringLiteral("<?xml version=\"1.0\"?>") +
           XmlTag(u"soapenv:Envelope")
               .xmlns(u"soapenv", SOAP11_ENV_NS)
               .always(XmlTag(u"soapenv:Header").always(security) + signedBody);
}
