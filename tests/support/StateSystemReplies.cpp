#include "support/StateSystemReplies.h"

QByteArray Envelope(const QString& body, const QString& root)
{
    return (QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?><") + root +
            QStringLiteral(" xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>") + body +
            QStringLiteral("</soap:Body></") + root + u'>')
        .toUtf8();
}

QString GisGmpReply(const QString& response, const QString& status)
{
    return QStringLiteral(
               "<smev:GISGMPTransferMsg xmlns:smev=\"http://smev.gosuslugi.ru/rev120315\">"
               "<smev:Message><smev:Status>%1</smev:Status></smev:Message><smev:MessageData>"
               "<smev:AppData><gisgmp:ResponseMessage xmlns:gisgmp=\"urn:gisgmp\">%2"
               "</gisgmp:ResponseMessage></smev:AppData></smev:MessageData></smev:GISGMPTransferMsg>")
        .arg(status, response);
}

QString ImportResult(const QString& packageId)
{
    return GisGmpReply(QStringLiteral("<Ticket><RequestProcessResult><ResultCode>0</ResultCode>"
                                      "<ResultData>%1</ResultData></RequestProcessResult></Ticket>")
                           .arg(packageId));
}

QString PackageStatus(const QString& code, const QString& description)
{
    return GisGmpReply(QStringLiteral("<Ticket><PackageProcessResult><EntityProcessResult entityId=\"E1\">"
                                      "<ResultCode>%1</ResultCode><ResultDescription>%2</ResultDescription>"
                                      "</EntityProcessResult></PackageProcessResult></Ticket>")
                           .arg(code, description));
}

// One charge document as GIS GMP sends it, Base64 inside its wrapper.
QString ChargeInfo(const QString& billId, const QString& amount)
{
    const QString charge =
        QStringLiteral(
            "<Charge xmlns=\"http://roskazna.ru/gisgmp/xsd/116/Charge\" supplierBillID=\"%1\" "
            "billDate=\"2016-02-01T10:00:00+03:00\"><BillFor>Штраф</BillFor>"
            "<TotalAmount>%2</TotalAmount><ds:Signature xmlns:ds=\"http://www.w3.org/2000/09/xmldsig#\">"
            "<ds:SignatureValue>AAAA</ds:SignatureValue></ds:Signature></Charge>")
            .arg(billId, amount);
    return QStringLiteral("<ChargeInfo><ChargeData>%1</ChargeData></ChargeInfo>")
        .arg(QString::fromLatin1(charge.toUtf8().toBase64()));
}

QString ExportCharges(const QString& chargesAttributes, const QStringList& charges)
{
    return GisGmpReply(
        QStringLiteral("<ExportChargesResponse><Charges %1>%2</Charges></ExportChargesResponse>")
            .arg(chargesAttributes, charges.join(QString())));
}

QString AckResult(const QString& messageGuid, const QString& status)
{
    return QStringLiteral(
               "<ns:ackResult xmlns:ns=\"urn:gisgkx\"><ns:Message><ns:Status>%1</ns:Status>"
               "</ns:Message><ns:MessageData><ns:AppData><ns:AcknowledgmentResponse><ns:MessageGUID>%2"
               "</ns:MessageGUID></ns:AcknowledgmentResponse></ns:AppData></ns:MessageData></ns:ackResult>")
        .arg(status, messageGuid);
}

QString StateResult(const QString& transportId)
{
    return QStringLiteral("<getStateResult><Message><Status>RESULT</Status></Message><MessageData><AppData>"
                          "<CommonResult><TransportID>%1</TransportID></CommonResult></AppData></MessageData>"
                          "</getStateResult>")
        .arg(transportId);
}

QString DocumentDetails(const QString& content)
{
    return QStringLiteral(
               "<exportPaymentDocumentDetailsResult><MessageData><AppData>"
               "<ExportPaymentDocumentDetails>%1</ExportPaymentDocumentDetails></AppData></MessageData>"
               "</exportPaymentDocumentDetailsResult>")
        .arg(content);
}

TScriptedReply Xml(const QByteArray& body, int status)
{
    TScriptedReply reply;
    reply.Status = status;
    reply.ContentType = "text/xml; charset=utf-8";
    reply.Body = body;
    return reply;
}

TScriptedReply Soap(const QString& body)
{
    return Xml(Envelope(body));
}
