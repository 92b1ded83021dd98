#pragma once

#include "foundation/Exceptions.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <memory>

// How long each phase of an HTTP exchange (connect, send, receive) may take before it is given
// up. A server that never answers must not keep the operator waiting for ever.
inline constexpr int RequestTimeoutMs = 90000;

// What one exchange may take. A server can keep a phase alive for ever by trickling a byte now and
// then, and can send a reply without end; each of these limits ends such an exchange with its own
// message naming the address.
struct THttpLimits {
    // Nothing moved in either direction for this long.
    int SilenceMs = RequestTimeoutMs;
    // Fewer than MinBytesPerSecond on average over this long.
    int SlowWindowMs = 90000;
    int MinBytesPerSecond = 10;
    // The whole exchange, from connecting to the last octet of the reply.
    int ExchangeMs = 5 * 60 * 1000;
    // The reply's body; a larger one is refused as soon as it says so or grows past it.
    qint64 MaxReplyBytes = qint64(100) * 1024 * 1024;
};

// A transfer that failed below HTTP: no connection, name resolution, time-out, TLS, a malformed
// address. The message is the transport's own description of what went wrong.
class EHttpTransportError final : public Exception {
  public:
    explicit EHttpTransportError(const QString& message, bool requestSent = true)
        : Exception(message), requestSent_(requestSent)
    {
    }
    // Callers that report the failing class by name (the time-stamp client does) use this.
    static QString className() { return QStringLiteral("EHttpTransportError"); }
    // False only when no octet of the request can have reached the server (no connection was
    // made); a sender that must not send twice may then send again.
    bool requestSent() const noexcept { return requestSent_; }

  private:
    bool requestSent_;
};

// A transfer given up because its owner asked for it (THttpClient::SetCancelFlag).
class EHttpCancelled final : public Exception {
  public:
    EHttpCancelled(const QString& message, bool requestSent) : Exception(message), requestSent_(requestSent)
    {
    }
    // Whether any octet of the request had left: the server may then have it, whole or in part.
    bool requestSent() const noexcept { return requestSent_; }

  private:
    bool requestSent_;
};

struct THttpReply {
    int StatusCode = 0;
    QString StatusText;  // the reason phrase as the server sent it, blanks kept
    QString ContentType; // the Content-Type header's value, empty when there was none
    QByteArray Body;

    // The content type without its parameters ("; charset=…") and surrounding blanks.
    QString MediaType() const;
};

// How the certificate of an https server is judged.
struct ServerTrust {
    enum class Check {
        AcceptAny,      // any certificate: the SMEV test stands have certificates of their own
        LibraryDefault, // libcurl's check against the system's store, reported in its words
        Trusted,        // checked against `authorities`; a refusal names the host and the reason
    };
    Check check = Check::LibraryDefault;
    // PEM certificates of the authorities or of the servers themselves; empty: the system's store.
    QByteArray authorities;
};

// One HTTP connection holder, reused from call to call (connections are kept alive between
// posts to the same server). Every setting is made afresh on each call, so a failed call leaves
// nothing behind that could spoil the next one. Only http and https addresses are accepted;
// redirects are not followed.
class THttpClient final {
  public:
    // `limits` bound every exchange of this client; tests of silent, slow and endless servers
    // shorten them. A limit is noticed within about a second of being reached.
    explicit THttpClient(const THttpLimits& limits = {});
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    // A flag another thread may set to stop the transfer in flight; it is looked at before the
    // first octet goes out and at least once a second after. Kept by the caller; nullptr: none.
    void SetCancelFlag(const std::atomic<bool>* cancel);

    const THttpLimits& Limits() const;

    // Posts `body` to `url` with the extra header lines ("Name: value") and returns whatever
    // status the server answered with. Raises EHttpTransportError when no reply was read.
    THttpReply Post(const QString& url, const QByteArray& body, const QList<QByteArray>& headers,
                    const ServerTrust& trust = {});

  private:
    struct TImpl;
    std::unique_ptr<TImpl> F;
};
