#include "foundation/HttpClient.h"

#include "support/LoopbackHttpServer.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

namespace {

template <typename F>
QString TransportFailure(F&& action)
{
    try {
        action();
    } catch (const EHttpTransportError& e) {
        return e.message();
    }
    return QStringLiteral("<no EHttpTransportError>");
}

} // namespace

TEST(HttpClient, PostsTheBodyAndHeadersAndReadsTheWholeReply)
{
    TLoopbackHttpServer server;
    TScriptedReply scripted;
    scripted.ContentType = "Application/Timestamp-Reply; charset=binary";
    scripted.Body = QByteArray("\x30\x00\xff\x00tail", 8);
    server.setReply(scripted);

    THttpClient client;
    const QByteArray body("\x00\x01\x02\xfe\xff", 5);
    const THttpReply reply =
        client.Post(server.url(QStringLiteral("/tsp/tsp.srf")), body, {"Content-Type: application/timestamp-query"});

    ASSERT_EQ(server.requestCount(), 1);
    const TRecordedRequest request = server.requests().front();
    EXPECT_EQ(request.Method, "POST");
    EXPECT_EQ(request.Path, "/tsp/tsp.srf");
    EXPECT_EQ(request.Body, body);
    EXPECT_EQ(request.header("content-type"), "application/timestamp-query");
    EXPECT_EQ(request.header("Content-Length"), "5");

    EXPECT_EQ(reply.StatusCode, 200);
    EXPECT_EQ(reply.StatusText, QStringLiteral("OK"));
    EXPECT_EQ(reply.ContentType, QStringLiteral("Application/Timestamp-Reply; charset=binary"));
    EXPECT_EQ(reply.MediaType(), QStringLiteral("Application/Timestamp-Reply"));
    EXPECT_EQ(reply.Body, scripted.Body);
}

TEST(HttpClient, ErrorStatusesAreRepliesNotTransportFailures)
{
    TLoopbackHttpServer server;
    THttpClient client;
    for (const auto& [status, text] : {std::pair{404, "Not Found"}, std::pair{500, "Internal Server Error"},
                                       std::pair{302, "Found"}}) {
        TScriptedReply scripted;
        scripted.Status = status;
        scripted.ContentType = "text/html";
        scripted.Body = "<html>error page</html>";
        if (status == 302)
            scripted.Headers.append({"Location", server.url(QStringLiteral("/elsewhere")).toUtf8()});
        server.setReply(scripted);
        const THttpReply reply = client.Post(server.url(), "x", {});
        EXPECT_EQ(reply.StatusCode, status);
        EXPECT_EQ(reply.StatusText, QString::fromLatin1(text));
        EXPECT_EQ(reply.MediaType(), QStringLiteral("text/html"));
        EXPECT_EQ(reply.Body, scripted.Body);
    }
    // The redirect was not followed.
    EXPECT_EQ(server.requestCount(), 3);

    // A reply without a Content-Type has an empty one. A body large enough for the client to
    // ask "Expect: 100-continue" gets an interim status line first; the final one counts.
    TScriptedReply bare;
    bare.Status = 201;
    server.setReply(bare);
    const QByteArray large(64 * 1024, 'a');
    const THttpReply reply = client.Post(server.url(), large, {"Content-Type: application/octet-stream"});
    EXPECT_EQ(reply.StatusCode, 201);
    EXPECT_EQ(reply.StatusText, QStringLiteral("Created"));
    EXPECT_EQ(reply.ContentType, QString());
    EXPECT_EQ(server.requests().back().Body, large);
}

TEST(HttpClient, TransportFailuresRaiseAndTheClientStaysUsable)
{
    THttpClient client;
    TLoopbackHttpServer server;

    const int closedPort = UnusedLoopbackPort();
    const QString refused = TransportFailure(
        [&] { client.Post(QStringLiteral("http://127.0.0.1:%1/").arg(closedPort), "x", {}); });
    // The system's own reason is part of the message, not only the library's summary.
    EXPECT_TRUE(refused.contains(QStringLiteral("Connection refused"))) << refused.toStdString();
    EXPECT_TRUE(refused.contains(QString::number(closedPort))) << refused.toStdString();

    // Only http and https: a local file is never read as a reply.
    for (const QString& address : {QStringLiteral("file:///etc/hostname"),
                                   QStringLiteral("ftp://127.0.0.1:%1/").arg(server.port()), QString()}) {
        const QString failure = TransportFailure([&] { client.Post(address, "x", {}); });
        EXPECT_FALSE(failure.startsWith(QLatin1Char('<'))) << address.toStdString();
    }
    EXPECT_EQ(server.requestCount(), 0);

    TScriptedReply scripted;
    scripted.ContentType = "text/plain";
    scripted.Body = "after";
    server.setReply(scripted);
    const THttpReply reply = client.Post(server.url(), "again", {});
    EXPECT_EQ(reply.StatusCode, 200);
    EXPECT_EQ(reply.Body, "after");
    EXPECT_EQ(server.requests().back().Body, "again");
}

TEST(HttpClient, ASilentServerEndsThePostAfterThePhaseTimeOut)
{
    EXPECT_EQ(HttpPhaseTimeoutMs(), RequestTimeoutMs);
    EXPECT_EQ(RequestTimeoutMs, 90000);

    TLoopbackHttpServer server;
    server.setReply(TScriptedReply::hangForever());
    THttpClient client;
    {
        THttpTimeoutOverride shortened(1000);
        EXPECT_EQ(HttpPhaseTimeoutMs(), 1000);
        QElapsedTimer timer;
        timer.start();
        const QString failure = TransportFailure([&] { client.Post(server.url(), "x", {}); });
        EXPECT_EQ(failure, QStringLiteral("Timed out: nothing was exchanged with the server for 1 seconds"));
        // Ended by the shortened time-out, not by the default one.
        EXPECT_LT(timer.elapsed(), RequestTimeoutMs / 3);
        EXPECT_EQ(server.requestCount(), 1);
    }
    EXPECT_EQ(HttpPhaseTimeoutMs(), RequestTimeoutMs);

    // The same client talks to a server that answers.
    TLoopbackHttpServer answering;
    EXPECT_EQ(client.Post(answering.url(), "x", {}).StatusCode, 200);
}
