#include "support/ReplyDocuments.h"

XmlDocument ReplyEnvelope(const QByteArray& body)
{
    return XmlDocument::parse("<soapenv:Envelope xmlns:soapenv=\"urn:soap\"><soapenv:Body>" + body +
                              "</soapenv:Body></soapenv:Envelope>");
}
