// The SOAP transport against a loopback server that records what arrives and answers as scripted.

#include "foundation/HttpClient.h"
#include "foundation/XmlHelper.h"
#include "smev/SoapReply.h"
#include "smev/SoapTransport.h"
#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

namespace {

const QByteArray kFaultReply =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><soap:Fault>"
    "<faultcode>soap:Server</faultcode><faultstring>SMEV-100003: Service not available</faultstring>"
    "</soap:Fault></soap:Body></soap:Envelope>";

TScriptedReply Reply(int status, const QByteArray& contentType, const QByteArray& body)
{
    TScriptedReply reply;
    reply.Status = status;
    reply.ContentType = contentType;
    reply.Body = body;
    return reply;
}

template <class E, class F>
QString FailureOf(F&& call)
{
    try {
        call();
    } catch (const E& e) {
        return e.message();
    }
    return QStringLiteral("<nothing of the expected class was raised>");
}

} // namespace

TEST(SoapTransport, PostsTheEnvelopeAsUtf8WithTheSoapHeadersAndParsesTheReply)
{
    TLoopbackHttpServer server;
    server.setReply(Reply(200, "text/xml; charset=utf-8",
                          "<s:Envelope xmlns:s=\"urn:s\"><s:Body><r>Готово</r></s:Body></s:Envelope>"));

    const QString envelope = QStringLiteral("<e>Платёж №1</e>");
    const XmlDocument reply = PostSoapRequest(envelope, server.url(QStringLiteral("/gateway/services/SID0003663")),
                                              QStringLiteral("urn:async_getResult"));

    ASSERT_EQ(server.requestCount(), 1);
    const TRecordedRequest request = server.requests().front();
    EXPECT_EQ(request.Method, "POST");
    EXPECT_EQ(request.Path, "/gateway/services/SID0003663");
    EXPECT_EQ(request.header("SOAPAction"), "\"urn:async_getResult\"");
    EXPECT_EQ(request.header("Content-Type"), "text/xml; charset=utf-8");
    // UTF-8 without a byte-order mark; the length counts bytes, not characters.
    const QByteArray utf8 = "<e>\xd0\x9f\xd0\xbb\xd0\xb0\xd1\x82\xd1\x91\xd0\xb6 \xe2\x84\x96" "1</e>";
    EXPECT_EQ(request.Body, utf8);
    EXPECT_EQ(request.header("Content-Length"), "24");
    EXPECT_TRUE(request.header("Expect").isEmpty());

    EXPECT_EQ(reply.documentElement().localName(), "Envelope");
    EXPECT_EQ(FindNodeByPath(reply.documentElement(), QStringLiteral("Body\\r"), true).text(), "Готово");

    // An empty action still goes out as a pair of quotation marks.
    PostSoapRequest(envelope, server.url(), QString());
    EXPECT_EQ(server.requests().back().header("SOAPAction"), "\"\"");
}

TEST(SoapTransport, LargeEnvelopesArriveWholeAndRepliesKeepTheirOwnEncoding)
{
    TLoopbackHttpServer server;
    // A reply in the 8-bit Cyrillic code page, as its declaration says: "Принят".
    server.setReply(Reply(200, "text/xml",
                          "<?xml version=\"1.0\" encoding=\"windows-1251\"?><Envelope><Body>"
                          "\xcf\xf0\xe8\xed\xff\xf2</Body></Envelope>"));

    const QString envelope = QStringLiteral("<e>") + QString(50000, QChar(0x0416)) + QStringLiteral("</e>");
    const XmlDocument reply = PostSoapRequest(envelope, server.url(), QStringLiteral("a"));

    const TRecordedRequest request = server.requests().back();
    EXPECT_EQ(request.Body.size(), 100007);
    EXPECT_EQ(request.Body, envelope.toUtf8());
    EXPECT_EQ(request.header("Content-Length"), "100007");
    EXPECT_EQ(FindNodeByPath(reply.documentElement(), QStringLiteral("Body"), true).text(), "Принят");
}

TEST(SoapTransport, StatusAndContentTypeErrors)
{
    TLoopbackHttpServer server;
    const QString url = server.url(QStringLiteral("/missing"));

    server.setReply(Reply(404, "text/xml", "<x/>"));
    EXPECT_EQ(FailureOf<ESOAPHTTPException>([&] { PostSoapRequest("<e/>", url, "a"); }),
              QStringLiteral("Not Found (404) - '%1'").arg(url));
    server.setReply(Reply(302, "text/xml", "<x/>"));
    EXPECT_EQ(FailureOf<ESOAPHTTPException>([&] { PostSoapRequest("<e/>", url, "a"); }),
              QStringLiteral("Found (302) - '%1'").arg(url));

    // A proxy's page with a success status is still no SOAP reply.
    for (const QByteArray& type : {QByteArray("text/html"), QByteArray("TEXT/PLAIN"), QByteArray("Text/Html; charset=utf-8")}) {
        server.setReply(Reply(200, type, "<html><body>Proxy error</body></html>"));
        EXPECT_EQ(FailureOf<ESOAPHTTPException>([&] { PostSoapRequest("<e/>", url, "a"); }),
                  QStringLiteral("Received content of invalid Content-Type setting: %1 - SOAP expects \"text/xml\"")
                      .arg(QString::fromLatin1(type)));
    }

    server.setReply(Reply(200, "text/xml", "Service temporarily unavailable"));
    EXPECT_THROW(PostSoapRequest("<e/>", url, "a"), EXMLException);
}

TEST(SoapTransport, AFaultWithStatus500IsReturnedForTheReaders)
{
    TLoopbackHttpServer server;
    server.setReply(Reply(500, "text/xml; charset=utf-8", kFaultReply));

    const XmlDocument reply = PostSoapRequest("<e/>", server.url(), "a");
    try {
        CheckSoapEnvelope(reply.documentElement());
        ADD_FAILURE() << "the fault was not found in the returned reply";
    } catch (const ESOAPException& e) {
        EXPECT_EQ(e.message(), "soap:Server SMEV-100003: Service not available");
        EXPECT_EQ(e.FaultSMEVCode(), "100003");
    }

    // Status 500 with a page instead of a fault is still judged by its content type.
    server.setReply(Reply(500, "text/html", "<html/>"));
    EXPECT_THROW(PostSoapRequest("<e/>", server.url(), "a"), ESOAPHTTPException);
}

TEST(SoapTransport, NoConnectionAndSilenceEndTheCallAndTheNextCallWorks)
{
    const int closedPort = UnusedLoopbackPort();
    const QString refused = FailureOf<EHttpTransportError>(
        [&] { PostSoapRequest("<e/>", QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), "a"); });
    EXPECT_TRUE(refused.contains(QStringLiteral("Connection refused"))) << refused.toStdString();

    TLoopbackHttpServer silent;
    silent.setReply(TScriptedReply::hangForever());
    {
        THttpTimeoutOverride shortened(1000);
        QElapsedTimer timer;
        timer.start();
        const QString timedOut = FailureOf<EHttpTransportError>([&] { PostSoapRequest("<e/>", silent.url(), "a"); });
        EXPECT_TRUE(timedOut.startsWith(QStringLiteral("Timed out"))) << timedOut.toStdString();
        EXPECT_LT(timer.elapsed(), RequestTimeoutMs / 3);
        EXPECT_EQ(silent.requestCount(), 1) << "the request went out once and was not repeated";
    }

    TLoopbackHttpServer answering;
    answering.setReply(Reply(200, "text/xml", "<Envelope/>"));
    EXPECT_EQ(PostSoapRequest("<e/>", answering.url(), "a").documentElement().localName(), "Envelope");
}
