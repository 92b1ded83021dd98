#include "foundation/HttpClient.h"

#include "support/LoopbackHttpServer.h"
#include "support/PrintQt.h"
#include "support/Raised.h"

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

TEST(HttpClient, TricklingEndlessAndOversizedRepliesAreGivenUpNamingTheAddress)
{
    using namespace std::chrono_literals;
    TLoopbackHttpServer server;
    THttpLimits limits;
    // Long enough never to strike, unless it is the limit under test.
    limits.SilenceMs = 60000;
    limits.ExchangeMs = 60000;
    limits.SlowWindowMs = 1000;
    limits.MinBytesPerSecond = 10;
    limits.MaxReplyBytes = 4096;
    const QString url = server.url();
    THttpClient client(limits);
    const auto failure = [&](const TScriptedReply& reply, THttpClient& by) {
        server.setReply(reply);
        return Raised<EHttpTransportError>([&] { by.Post(url, "x", {}); });
    };
    TScriptedReply reply;
    reply.ContentType = "text/xml";

    // Moving, at five times the least speed: read whole.
    reply.Body = QByteArray(40, 'a');
    reply.ByteInterval = 20ms;
    server.setReply(reply);
    EXPECT_EQ(client.Post(url, "x", {}).Body, reply.Body);

    reply.ByteInterval = 500ms;
    EXPECT_EQ(failure(reply, client),
              QStringLiteral("Обмен с сервером %1 прерван: за 1 с передано меньше 10 байт в "
                             "секунду")
                  .arg(url));

    limits.ExchangeMs = 1500;
    {
        THttpClient shorter(limits);
        EXPECT_EQ(failure(TScriptedReply::hangForever(), shorter),
                  QStringLiteral("Обмен с сервером %1 прерван: он длится дольше 1500 мс").arg(url));
    }

    // Too large by its Content-Length: refused before the first octet of the body, which would
    // otherwise take more than an hour to trickle in.
    const QString tooLarge = QStringLiteral("Ответ сервера %1 не принят: он больше 4096 байт").arg(url);
    reply.Body = QByteArray(4097, 'b');
    reply.ByteInterval = 1s;
    EXPECT_EQ(failure(reply, client), tooLarge);
    // Without a length, a reply that never ends.
    reply.ByteInterval = 0ms;
    reply.Body = QByteArray(1000, 'c');
    reply.EndlessBody = true;
    EXPECT_EQ(failure(reply, client), tooLarge);

    // Exactly the limit is taken, by the same client.
    reply.EndlessBody = false;
    reply.Body = QByteArray(4096, 'd');
    server.setReply(reply);
    EXPECT_EQ(client.Post(url, "x", {}).Body, reply.Body);
    EXPECT_EQ(client.Limits().MaxReplyBytes, 4096);
}
