#include "smev/SoapTransport.h"

#include "foundation/HttpClient.h"

#include <QList>

#include <optional>

namespace {

bool IsTextPage(const QString& mediaType)
{
    return mediaType.compare(QLatin1String("text/plain"), Qt::CaseInsensitive) == 0 ||
           mediaType.compare(QLatin1String("text/html"), Qt::CaseInsensitive) == 0;
}

} // namespace

THttpReply PostSoapEnvelope(const QByteArray& envelope, const QString& url, const QString& soapAction,
                            THttpClient* http, const ServerTrust& trust)
{
    const QList<QByteArray> headers{
        QByteArray("SOAPAction: \"") + soapAction.toUtf8() + '"',
        QByteArray("Content-Type: text/xml; charset=utf-8"),
        // Waiting for "100 Continue" before sending an envelope only delays the exchange.
        QByteArray("Expect:"),
    };
    std::optional<THttpClient> ownClient;
    THttpClient& client = http ? *http : ownClient.emplace();
    return client.Post(url, envelope, headers, trust);
}

const QByteArray& SoapReplyBody(const THttpReply& reply, const QString& url)
{
    // A SOAP fault comes with status 500 and is read from the body by the reply readers.
    if (reply.StatusCode >= 300 && reply.StatusCode != 500)
        throw ESOAPHTTPException(
            QStringLiteral("%1 (%2) - '%3'").arg(reply.StatusText, QString::number(reply.StatusCode), url));
    // Proxies and misrouted addresses answer with a page for people, not with a SOAP reply.
    // The media type decides, whatever parameters follow it.
    if (IsTextPage(reply.MediaType()))
        throw ESOAPHTTPException(
            QStringLiteral("Received content of invalid Content-Type setting: %1 - SOAP expects \"text/xml\"")
                .arg(reply.ContentType));
    return reply.Body;
}

QByteArray PostSoapRequestBody(const QString& envelope, const QString& url, const QString& soapAction,
                               THttpClient* http, const ServerTrust& trust)
{
    return SoapReplyBody(PostSoapEnvelope(envelope.toUtf8(), url, soapAction, http, trust), url);
}

XmlDocument PostSoapRequest(const QString& envelope, const QString& url, const QString& soapAction,
                            THttpClient* http, const ServerTrust& trust)
{
    return XmlDocument::parse(PostSoapRequestBody(envelope, url, soapAction, http, trust));
}
