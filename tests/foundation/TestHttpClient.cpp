#include "foundation/HttpClient.h"

#include "support/LoopbackHttpServer.h"
#include "support/PrintQt.h"

#include <gtest/gtest.h>

// Refused connections and silent servers are covered where the time-stamp client meets them.

TEST(HttpClient, PostsTheBodyAsGivenAndReadsStatusTypeAndBody)
{
    TLoopbackHttpServer server;
    TScriptedReply scripted;
    scripted.ContentType = "Application/Timestamp-Reply; charset=binary";
    scripted.Body = QByteArray("\x30\x00\xff\x00tail", 8);
    server.setReply(scripted);
    THttpClient client;
    const QByteArray body("\x00\x01\x02\xfe\xff", 5);

    THttpReply reply = client.Post(server.url(QStringLiteral("/tsp/tsp.srf")), body,
                                   {"Content-Type: application/timestamp-query"});
    ASSERT_EQ(server.requestCount(), 1);
    EXPECT_EQ(server.requests().front().Method, "POST");
    EXPECT_EQ(server.requests().front().Path, "/tsp/tsp.srf");
    EXPECT_EQ(server.requests().front().Body, body);
    EXPECT_EQ(server.requests().front().header("content-type"), "application/timestamp-query");
    EXPECT_EQ(reply.StatusCode, 200);
    EXPECT_EQ(reply.StatusText, QStringLiteral("OK"));
    EXPECT_EQ(reply.ContentType, QStringLiteral("Application/Timestamp-Reply; charset=binary"));
    EXPECT_EQ(reply.MediaType(), QStringLiteral("Application/Timestamp-Reply"));
    EXPECT_EQ(reply.Body, scripted.Body);

    // A body large enough for "Expect: 100-continue" gets an interim status line first; the final
    // one counts. A reply without a Content-Type has an empty one.
    scripted = TScriptedReply();
    scripted.Status = 201;
    server.setReply(scripted);
    const QByteArray large(2 * 1024 * 1024, 'a');
    reply = client.Post(server.url(), large, {"Content-Type: application/octet-stream"});
    EXPECT_EQ(reply.StatusCode, 201);
    EXPECT_EQ(reply.StatusText, QStringLiteral("Created"));
    EXPECT_EQ(reply.ContentType, QString());
    EXPECT_EQ(server.requests().back().header("Expect"), "100-continue");
    EXPECT_EQ(server.requests().back().Body, large);
}

TEST(HttpClient, ErrorStatusesAreRepliesAndOnlyHttpIsSpoken)
{
    TLoopbackHttpServer server;
    THttpClient client;
    TScriptedReply scripted;
    scripted.Status = 302;
    scripted.Headers.append({"Location", server.url(QStringLiteral("/elsewhere")).toUtf8()});
    server.setReply(scripted);
    const THttpReply moved = client.Post(server.url(), "x", {});
    EXPECT_EQ(moved.StatusCode, 302);
    EXPECT_EQ(moved.StatusText, QStringLiteral("Found"));
    EXPECT_EQ(server.requestCount(), 1); // not followed

    // A local file is never read as a reply.
    for (const QString& address : {QStringLiteral("file:///etc/hostname"),
                                   QStringLiteral("ftp://127.0.0.1:%1/").arg(server.port()), QString()})
        EXPECT_THROW(client.Post(address, "x", {}), EHttpTransportError) << address.toStdString();
    EXPECT_EQ(server.requestCount(), 1);
}
