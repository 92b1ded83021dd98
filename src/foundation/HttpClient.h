#pragma once

#include "foundation/Exceptions.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// How long each phase of an HTTP exchange (connect, send, receive) may take before it is given
// up. Every operation blocks the window, so a server that never answers must not freeze it.
inline constexpr int RequestTimeoutMs = 90000;

// The per-phase time-out in force: RequestTimeoutMs unless a test has shortened it.
int HttpPhaseTimeoutMs();

// Shortens the per-phase time-out while it lives, so that tests of a silent server end quickly.
// A stall is noticed within about a second of the time-out.
class THttpTimeoutOverride final {
  public:
    explicit THttpTimeoutOverride(int timeoutMs);
    ~THttpTimeoutOverride();
    THttpTimeoutOverride(const THttpTimeoutOverride&) = delete;
    THttpTimeoutOverride& operator=(const THttpTimeoutOverride&) = delete;

  private:
    int FPrevious;
};

// A transfer that failed below HTTP: no connection, name resolution, time-out, TLS, a malformed
// address. The message is the transport's own description of what went wrong.
class EHttpTransportError final : public Exception {
  public:
    using Exception::Exception;
    // Callers that report the failing class by name (the time-stamp client does) use this.
    static QString className() { return QStringLiteral("EHttpTransportError"); }
};

struct THttpReply {
    int StatusCode = 0;
    QString StatusText;  // the reason phrase as the server sent it, blanks kept
    QString ContentType; // the Content-Type header's value, empty when there was none
    QByteArray Body;

    // The content type without its parameters ("; charset=…") and surrounding blanks.
    QString MediaType() const;
};

// One HTTP connection holder, reused from call to call (connections are kept alive between
// posts to the same server). Every setting is made afresh on each call, so a failed call leaves
// nothing behind that could spoil the next one. Only http and https addresses are accepted;
// redirects are not followed.
class THttpClient final {
  public:
    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // Posts `body` to `url` with the extra header lines ("Name: value") and returns whatever
    // status the server answered with. Raises EHttpTransportError when no reply was read.
    THttpReply Post(const QString& url, const QByteArray& body, const QList<QByteArray>& headers,
                    bool acceptInvalidCertificates = false);

  private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};
