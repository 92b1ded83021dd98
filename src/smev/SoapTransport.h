#pragma once

#include "foundation/Exceptions.h"
#include "foundation/HttpClient.h"
#include "foundation/XmlDocument.h"

#include <QString>

// The HTTP exchange itself went wrong in a way the reply readers never see: a status other than
// success or a SOAP fault, or a body that is plainly not a SOAP reply (a proxy's error page).
ZELVAN_DECLARE_EXCEPTION(ESOAPHTTPException, Exception);

// The services run on test stands and internal networks with certificates no public authority has
// signed; unless the operator asks for more, the exchange is protected by the message signature.
inline ServerTrust AnyServer()
{
    return {ServerTrust::Check::AcceptAny, {}};
}

// Posts a finished envelope to a SMEV service and returns the reply parsed as XML, unchecked.
// The SOAPAction is sent quoted; the envelope goes out as UTF-8. Status 500 is a reply like any
// other here (SOAP faults arrive with it). Blocks for at most RequestTimeoutMs per phase. The
// connection of `http` is kept for the next call; without one the call makes its own.
XmlDocument PostSoapRequest(const QString& envelope, const QString& url, const QString& soapAction,
                            THttpClient* http = nullptr, const ServerTrust& trust = AnyServer());

// The same exchange, returning the reply's bytes as they came, for a check of their signature.
QByteArray PostSoapRequestBody(const QString& envelope, const QString& url, const QString& soapAction,
                               THttpClient* http = nullptr, const ServerTrust& trust = AnyServer());

// The exchange in two halves, for a caller that keeps every reply as it came before judging it:
// the post, whatever the status, and the check PostSoapRequestBody makes of what came back.
THttpReply PostSoapEnvelope(const QByteArray& envelope, const QString& url, const QString& soapAction,
                            THttpClient* http, const ServerTrust& trust);
const QByteArray& SoapReplyBody(const THttpReply& reply, const QString& url);
