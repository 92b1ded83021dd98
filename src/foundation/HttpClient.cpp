#include "foundation/HttpClient.h"

#include "foundation/ErrorTexts.h"

#include <QElapsedTimer>
#include <QUrl>

#include <curl/curl.h>

#include <deque>
#include <mutex>

namespace {

struct TCurlSlist {
    curl_slist* List = nullptr;
    ~TCurlSlist() { curl_slist_free_all(List); }
};

enum class TLimitHit { None, Silence, Slow, TooLong, TooLarge, Cancelled };

struct TSample {
    qint64 Ms = 0;
    curl_off_t Moved = 0;
};

struct TTransfer {
    THttpReply Reply;
    THttpLimits Limits;
    QElapsedTimer Clock;
    // Stall watch: the time of the last octet moved in either direction.
    qint64 LastActivityMs = 0;
    curl_off_t Moved = 0;
    // Speed watch: octets moved so far at moments at least a sixteenth of the window apart,
    // reaching back just past one window.
    std::deque<TSample> Samples{TSample{}};
    TLimitHit Hit = TLimitHit::None;
    const std::atomic<bool>* Cancel = nullptr;
    curl_off_t Sent = 0;
};

TLimitHit CheckLimits(TTransfer& transfer, curl_off_t moved)
{
    const THttpLimits& limits = transfer.Limits;
    const qint64 now = transfer.Clock.elapsed();
    if (moved != transfer.Moved) {
        transfer.Moved = moved;
        transfer.LastActivityMs = now;
    } else if (now - transfer.LastActivityMs >= limits.SilenceMs) {
        return TLimitHit::Silence;
    }
    if (now >= limits.ExchangeMs)
        return TLimitHit::TooLong;

    const qint64 spacing = qMax(limits.SlowWindowMs / 16, 1);
    auto& samples = transfer.Samples;
    if (now - samples.back().Ms >= spacing)
        samples.push_back({now, moved});
    while (samples.size() > 1 && samples[1].Ms <= now - limits.SlowWindowMs)
        samples.pop_front();
    const qint64 span = now - samples.front().Ms;
    // A window in which nothing moved after its first moments is silence, which has its own
    // limit and message.
    const bool quiet = now - transfer.LastActivityMs >= limits.SlowWindowMs - spacing;
    if (span >= limits.SlowWindowMs && !quiet &&
        (moved - samples.front().Moved) * 1000 < qint64(limits.MinBytesPerSecond) * span)
        return TLimitHit::Slow;
    return TLimitHit::None;
}

// libcurl has no time-out for sending or for waiting on a reply, and its speed limit cannot tell
// silence from slowness; the limits are watched here, at least once a second.
int WatchProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent)
{
    auto* transfer = static_cast<TTransfer*>(user);
    transfer->Sent = qMax(transfer->Sent, sent);
    if (transfer->Cancel && transfer->Cancel->load()) {
        transfer->Hit = TLimitHit::Cancelled;
        return 1;
    }
    const TLimitHit hit = CheckLimits(*transfer, received + sent);
    if (hit == TLimitHit::None)
        return 0;
    transfer->Hit = hit;
    return 1;
}

// Refused before it is kept: an endless reply must not fill the memory.
size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<TTransfer*>(user);
    const qsizetype length = static_cast<qsizetype>(size * count);
    if (transfer->Reply.Body.size() + length > transfer->Limits.MaxReplyBytes) {
        transfer->Hit = TLimitHit::TooLarge;
        return 0;
    }
    transfer->Reply.Body.append(data, length);
    return size * count;
}

// libcurl hands over the status line with the headers; its reason phrase is not kept anywhere
// else. An interim reply (100 Continue) is followed by the real one, so the last line wins.
size_t ReadHeaderLine(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<TTransfer*>(user);
    const QByteArray line(data, static_cast<qsizetype>(size * count));
    if (line.startsWith("HTTP/")) {
        QByteArray rest = line.mid(line.indexOf(' ') + 1);
        while (rest.endsWith('\n') || rest.endsWith('\r'))
            rest.chop(1);
        const qsizetype space = rest.indexOf(' ');
        transfer->Reply.StatusText = space < 0 ? QString() : QString::fromLatin1(rest.mid(space + 1));
    }
    // A reply that announces more than the limit is refused before any of it is read.
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0) {
        bool ok = false;
        const qint64 length = line.mid(colon + 1).trimmed().toLongLong(&ok);
        if (ok && length > transfer->Limits.MaxReplyBytes) {
            transfer->Hit = TLimitHit::TooLarge;
            return 0;
        }
    }
    return size * count;
}

} // namespace

QString THttpReply::MediaType() const
{
    return ContentType.section(QLatin1Char(';'), 0, 0).trimmed();
}

struct THttpClient::TImpl {
    CURL* Handle = nullptr;
    const std::atomic<bool>* Cancel = nullptr;
    THttpLimits Limits;
};

THttpClient::THttpClient(const THttpLimits& limits) : F(std::make_unique<TImpl>())
{
    F->Limits = limits;
    // Global set-up is not thread-safe in libcurl; doing it once here, before the first handle,
    // keeps it off the path of any later handle made on another thread.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

THttpClient::~THttpClient()
{
    if (F->Handle)
        curl_easy_cleanup(F->Handle);
}

const THttpLimits& THttpClient::Limits() const
{
    return F->Limits;
}

void THttpClient::SetCancelFlag(const std::atomic<bool>* cancel)
{
    F->Cancel = cancel;
}

THttpReply THttpClient::Post(const QString& url, const QByteArray& body, const QList<QByteArray>& headers,
                             const ServerTrust& trust)
{
    if (!F->Handle) {
        F->Handle = curl_easy_init();
        if (!F->Handle)
            throw EHttpTransportError(
                QStringLiteral("Не удалось подготовить HTTP-клиент (недостаточно памяти)"), false);
    }
    CURL* curl = F->Handle;
    // Forget the previous call's settings but keep its open connections.
    curl_easy_reset(curl);

    if (F->Cancel && F->Cancel->load())
        throw EHttpCancelled(ExchangeCancelledText(url), false);
    TTransfer transfer;
    transfer.Cancel = F->Cancel;
    TCurlSlist headerList;
    for (const QByteArray& header : headers)
        headerList.List = curl_slist_append(headerList.List, header.constData());

    const QByteArray urlBytes = url.toUtf8();
    char errorText[CURL_ERROR_SIZE] = {};
    transfer.Limits = F->Limits;
    transfer.Clock.start();

    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headerList.List);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReadHeaderLine);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(transfer.Limits.SilenceMs));
    // The progress watch ends a long exchange; this catches one in which libcurl stops calling it.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(transfer.Limits.ExchangeMs) + 2000);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, WatchProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (trust.check == ServerTrust::Check::AcceptAny) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    } else if (trust.check == ServerTrust::Check::Trusted && !trust.authorities.isEmpty()) {
        // The trust file alone: a certificate the system's store knows is not trusted for that.
        curl_blob authorities{const_cast<char*>(trust.authorities.constData()),
                              size_t(trust.authorities.size()), CURL_BLOB_COPY};
        curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &authorities);
        curl_easy_setopt(curl, CURLOPT_CAPATH, nullptr);
    }

    const CURLcode result = curl_easy_perform(curl);
    // The error buffer and the header list die with this call; the handle must not keep them.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    if (result != CURLE_OK) {
        if (result == CURLE_OPERATION_TIMEDOUT && transfer.Clock.elapsed() >= transfer.Limits.ExchangeMs)
            transfer.Hit = TLimitHit::TooLong;
        switch (transfer.Hit) {
        case TLimitHit::Silence:
            throw EHttpTransportError(ExchangeSilentText(transfer.Limits.SilenceMs), transfer.Sent > 0);
        case TLimitHit::Slow:
            throw EHttpTransportError(
                ExchangeTooSlowText(url, transfer.Limits.MinBytesPerSecond, transfer.Limits.SlowWindowMs),
                transfer.Sent > 0);
        case TLimitHit::TooLong:
            throw EHttpTransportError(ExchangeTooLongText(url, transfer.Limits.ExchangeMs),
                                      transfer.Sent > 0);
        case TLimitHit::TooLarge:
            throw EHttpTransportError(ReplyTooLargeText(url, transfer.Limits.MaxReplyBytes),
                                      transfer.Sent > 0);
        case TLimitHit::Cancelled:
            throw EHttpCancelled(ExchangeCancelledText(url), transfer.Sent > 0);
        case TLimitHit::None:
            break;
        }
        QString reason = QString::fromLocal8Bit(errorText).trimmed();
        if (reason.isEmpty())
            reason = QString::fromLatin1(curl_easy_strerror(result));
        // A failed handshake is not the certificate's fault and keeps libcurl's words.
        if (trust.check == ServerTrust::Check::Trusted &&
            (result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CACERT_BADFILE))
            throw EHttpTransportError(ServerCertificateRefusedText(QUrl(url).host(), reason),
                                      transfer.Sent > 0);
        QString detail = NoConnectionText(url, reason);
        // libcurl's text names the failing step; the system's reason (refused, unreachable…)
        // is what tells the operator where to look.
        // The handle keeps the last system error across calls, so it is read only where this
        // call's failure set it.
        long systemError = 0;
        if (result == CURLE_COULDNT_CONNECT &&
            curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &systemError) == CURLE_OK && systemError != 0)
            detail +=
                QStringLiteral(" (") + qt_error_string(static_cast<int>(systemError)) + QLatin1Char(')');
        // Before a connection is made nothing can have left; after it, any failure may follow a
        // request the server took.
        const bool unconnected = result == CURLE_COULDNT_CONNECT || result == CURLE_COULDNT_RESOLVE_HOST ||
                                 result == CURLE_COULDNT_RESOLVE_PROXY || result == CURLE_URL_MALFORMAT ||
                                 result == CURLE_UNSUPPORTED_PROTOCOL;
        throw EHttpTransportError(detail, transfer.Sent > 0 || !unconnected);
    }

    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    transfer.Reply.StatusCode = static_cast<int>(status);
    const char* contentType = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
        transfer.Reply.ContentType = QString::fromLatin1(contentType);
    return std::move(transfer.Reply);
}
