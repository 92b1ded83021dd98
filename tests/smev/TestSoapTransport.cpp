// The SOAP transport against a loopback server that records what arrives and answers as scripted.

#include "foundation/HttpClient.h"
#include "foundation/XmlHelper.h"
#include "smev/SoapReply.h"
#include "smev/SoapTransport.h"
#include "support/LoopbackHttpServer.h"
#include "support/Raised.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

namespace {

TScriptedReply Reply(int status, const QByteArray& contentType, const QByteArray& body)
{
    TScriptedReply reply;
    reply.Status = status;
    reply.ContentType = contentType;
    reply.Body = body;
    return reply;
}

} // namespace

TEST(SoapTransport, PostsUtf8WithTheSoapHeadersAndParsesTheReplyInItsOwnEncoding)
{
    TLoopbackHttpServer server;
    // "Принят" in the 8-bit Cyrillic code page, as the reply's declaration says.
    server.setReply(
        Reply(200, "text/xml",
              "<?xml version=\"1.0\" encoding=\"windows-1251\"?>"
              "<s:Envelope xmlns:s=\"u\"><s:Body>\xcf\xf0\xe8\xed\xff\xf2</s:Body></s:Envelope>"));

    const XmlDocument reply = PostSoapRequest(QStringLiteral("<e>Платёж №1</e>"),
                                              server.url(QStringLiteral("/gateway/services/SID0003663")),
                                              QStringLiteral("urn:async_getResult"));

    const TRecordedRequest request = server.requests().front();
    EXPECT_EQ(request.Method, "POST");
    EXPECT_EQ(request.Path, "/gateway/services/SID0003663");
    EXPECT_EQ(request.header("SOAPAction"), "\"urn:async_getResult\"");
    EXPECT_EQ(request.header("Content-Type"), "text/xml; charset=utf-8");
    EXPECT_EQ(request.Body, "<e>\xd0\x9f\xd0\xbb\xd0\xb0\xd1\x82\xd1\x91\xd0\xb6 \xe2\x84\x96"
                            "1</e>");
    EXPECT_EQ(request.header("Content-Length"), "24") << "bytes, not characters";
    EXPECT_EQ(FindNodeByPath(reply.documentElement(), QStringLiteral("Body"), true).text(), "Принят");

    PostSoapRequest(QStringLiteral("<e/>"), server.url(), QString());
    EXPECT_EQ(server.requests().back().header("SOAPAction"), "\"\"") << "an empty action is still quoted";
}

TEST(SoapTransport, StatusContentTypeAndBodyErrors)
{
    TLoopbackHttpServer server;
    const QString url = server.url(QStringLiteral("/missing"));
    const auto post = [&] { PostSoapRequest("<e/>", url, "a"); };

    server.setReply(Reply(404, "text/xml", "<x/>"));
    EXPECT_EQ(Raised<ESOAPHTTPException>(post), QStringLiteral("Not Found (404) - '%1'").arg(url));
    server.setReply(Reply(302, "text/xml", "<x/>"));
    EXPECT_EQ(Raised<ESOAPHTTPException>(post), QStringLiteral("Found (302) - '%1'").arg(url));

    // A proxy's page is no SOAP reply, whatever its status and parameters.
    for (const char* type : {"text/html", "TEXT/PLAIN", "Text/Html; charset=utf-8"}) {
        server.setReply(Reply(200, type, "<html><body>Proxy error</body></html>"));
        EXPECT_EQ(
            Raised<ESOAPHTTPException>(post),
            QStringLiteral("Received content of invalid Content-Type setting: %1 - SOAP expects \"text/xml\"")
                .arg(type));
    }
    server.setReply(Reply(500, "text/html", "<html/>"));
    EXPECT_NE(Raised<ESOAPHTTPException>(post), "<not raised>");

    server.setReply(Reply(200, "text/xml", "Service temporarily unavailable"));
    EXPECT_NE(Raised<EXMLException>(post), "<not raised>");

    // A fault comes with status 500 and is left to the readers.
    server.setReply(
        Reply(500, "text/xml; charset=utf-8",
              "<soap:Envelope xmlns:soap=\"u\"><soap:Body><soap:Fault><faultcode>soap:Server</faultcode>"
              "<faultstring>SMEV-100003: Service not "
              "available</faultstring></soap:Fault></soap:Body></soap:Envelope>"));
    const XmlDocument fault = PostSoapRequest("<e/>", url, "a");
    EXPECT_EQ(Raised<ESOAPException>([&] { CheckSoapEnvelope(fault.documentElement()); }),
              "soap:Server SMEV-100003: Service not available");
}

TEST(SoapTransport, NoConnectionAndSilenceEndTheCallAndTheNextCallWorks)
{
    const QString refused = Raised<EHttpTransportError>([] {
        PostSoapRequest("<e/>", QStringLiteral("http://127.0.0.1:%1/").arg(UnusedLoopbackPort()), "a");
    });
    EXPECT_TRUE(refused.contains(QStringLiteral("Connection refused"))) << refused.toStdString();

    TLoopbackHttpServer silent;
    silent.setReply(TScriptedReply::hangForever());
    {
        THttpLimits limits;
        limits.SilenceMs = 1000;
        THttpClient shortened(limits);
        QElapsedTimer timer;
        timer.start();
        const QString timedOut =
            Raised<EHttpTransportError>([&] { PostSoapRequest("<e/>", silent.url(), "a", &shortened); });
        EXPECT_TRUE(timedOut.startsWith(QStringLiteral("Обмен с сервером прерван"))) << timedOut.toStdString();
        EXPECT_LT(timer.elapsed(), RequestTimeoutMs / 3);
        EXPECT_EQ(silent.requestCount(), 1) << "never sent again";
    }

    TLoopbackHttpServer answering;
    answering.setReply(Reply(200, "text/xml", "<Envelope/>"));
    EXPECT_EQ(PostSoapRequest("<e/>", answering.url(), "a").documentElement().localName(), "Envelope");
}
