#pragma once

// An HTTP server on 127.0.0.1 for tests: listens on a port of the system's choosing in a thread of
// its own, records every request it receives and answers each with a reply the test scripts.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>

struct TRecordedRequest {
    QByteArray Method;
    QByteArray Path;
    QList<QPair<QByteArray, QByteArray>> Headers; // as received, in order
    QByteArray Body;

    // The first header of that name (compared ignoring case); empty when there is none.
    QByteArray header(const QByteArray& name) const;
};

struct TScriptedReply {
    int Status = 200;
    QByteArray ContentType; // empty: no Content-Type header at all
    QByteArray Body;
    QList<QPair<QByteArray, QByteArray>> Headers; // further headers
    // Holds the reply back this long before sending it; a negative delay holds it until the
    // server is stopped, so the client sees a server that never answers.
    std::chrono::milliseconds Delay{0};
    // Sends the body one octet at a time, this long apart, after a Content-Length of its size.
    std::chrono::milliseconds ByteInterval{0};
    // Sends the body again and again, chunked, until the client gives up.
    bool EndlessBody = false;
    // Called on the server's thread once the client has read the whole reply and closed the
    // connection, as the reply then asks it to: the client's transfer is over, and whatever it
    // does with the reply comes after.
    std::function<void()> ReadByClient;

    static TScriptedReply hangForever()
    {
        TScriptedReply reply;
        reply.Delay = std::chrono::milliseconds(-1);
        return reply;
    }
};

// Replies in the order of the requests; the last one answers every further request, and none at
// all answers 200 with an empty body. Read by the server's thread while a test sets it: a test
// declares it before the server that reads it.
class ReplyScript final {
  public:
    void set(std::initializer_list<TScriptedReply> replies);
    TScriptedReply next();

  private:
    std::mutex mutex_;
    std::deque<TScriptedReply> replies_;
};

class TLoopbackHttpServer final {
  public:
    using THandler = std::function<TScriptedReply(const TRecordedRequest&)>;

    // Answers every request with 200 and an empty body until told otherwise.
    TLoopbackHttpServer();
    explicit TLoopbackHttpServer(THandler handler);
    // A server that keeps an idle connection open for `keepAlive`, as a real one does: a client
    // that sends on a connection the server has just closed gets no reply, a race a busy machine
    // loses often enough to spoil a benchmark.
    TLoopbackHttpServer(THandler handler, std::chrono::seconds keepAlive);
    // Stops listening, releases any reply held back, and waits for the server's threads.
    ~TLoopbackHttpServer();
    TLoopbackHttpServer(const TLoopbackHttpServer&) = delete;
    TLoopbackHttpServer& operator=(const TLoopbackHttpServer&) = delete;

    void setHandler(THandler handler);
    // Answers every request with the same reply.
    void setReply(const TScriptedReply& reply);

    int port() const;
    // "http://127.0.0.1:<port>" followed by the path.
    QString url(const QString& path = QStringLiteral("/")) const;

    QList<TRecordedRequest> requests() const;
    int requestCount() const;

  private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};

// A port on 127.0.0.1 that nothing listens on (it was bound and released again), for tests of a
// refused connection.
int UnusedLoopbackPort();
