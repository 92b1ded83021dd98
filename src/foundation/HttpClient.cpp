#include "foundation/HttpClient.h"

#include <QElapsedTimer>

#include <curl/curl.h>

#include <atomic>
#include <mutex>

namespace {

std::atomic<int> phaseTimeoutMs{RequestTimeoutMs};

struct TCurlSlist {
    curl_slist* List = nullptr;
    ~TCurlSlist() { curl_slist_free_all(List); }
};

struct TTransfer {
    THttpReply Reply;
    // Stall watch: the time of the last octet moved in either direction.
    QElapsedTimer Clock;
    qint64 LastActivityMs = 0;
    curl_off_t Received = 0;
    curl_off_t Sent = 0;
    int TimeoutMs = RequestTimeoutMs;
    bool Stalled = false;
};

// libcurl has no time-out for sending or for waiting on a reply, only one for the whole
// transfer (which would cut off a slow but moving reply) and a speed limit averaged over
// several seconds. A phase here is over when nothing has moved for the whole time-out.
int WatchProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent)
{
    auto* transfer = static_cast<TTransfer*>(user);
    const qint64 now = transfer->Clock.elapsed();
    if (received != transfer->Received || sent != transfer->Sent) {
        transfer->Received = received;
        transfer->Sent = sent;
        transfer->LastActivityMs = now;
        return 0;
    }
    if (now - transfer->LastActivityMs >= transfer->TimeoutMs) {
        transfer->Stalled = true;
        return 1;
    }
    return 0;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<TTransfer*>(user);
    transfer->Reply.Body.append(data, static_cast<qsizetype>(size * count));
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
    return size * count;
}

} // namespace

int HttpPhaseTimeoutMs()
{
    return phaseTimeoutMs.load();
}

THttpTimeoutOverride::THttpTimeoutOverride(int timeoutMs) : FPrevious(phaseTimeoutMs.exchange(timeoutMs)) {}

THttpTimeoutOverride::~THttpTimeoutOverride()
{
    phaseTimeoutMs.store(FPrevious);
}

QString THttpReply::MediaType() const
{
    return ContentType.section(QLatin1Char(';'), 0, 0).trimmed();
}

struct THttpClient::TImpl {
    CURL* Handle = nullptr;
};

THttpClient::THttpClient() : F(std::make_unique<TImpl>())
{
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

THttpReply THttpClient::Post(const QString& url, const QByteArray& body, const QList<QByteArray>& headers,
                             bool acceptInvalidCertificates)
{
    if (!F->Handle) {
        F->Handle = curl_easy_init();
        if (!F->Handle)
            throw EHttpTransportError(QStringLiteral("The HTTP client could not be created"));
    }
    CURL* curl = F->Handle;
    // Forget the previous call's settings but keep its open connections.
    curl_easy_reset(curl);

    TTransfer transfer;
    TCurlSlist headerList;
    for (const QByteArray& header : headers)
        headerList.List = curl_slist_append(headerList.List, header.constData());

    const QByteArray urlBytes = url.toUtf8();
    char errorText[CURL_ERROR_SIZE] = {};
    transfer.TimeoutMs = HttpPhaseTimeoutMs();
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
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(transfer.TimeoutMs));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, WatchProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    if (acceptInvalidCertificates) {
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    }

    const CURLcode result = curl_easy_perform(curl);
    // The error buffer and the header list die with this call; the handle must not keep them.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    if (result != CURLE_OK) {
        QString detail = QString::fromLocal8Bit(errorText).trimmed();
        if (transfer.Stalled)
            detail = QStringLiteral("Timed out: nothing was exchanged with the server for %1")
                         .arg(transfer.TimeoutMs % 1000 == 0
                                  ? QStringLiteral("%1 s").arg(transfer.TimeoutMs / 1000)
                                  : QStringLiteral("%1 ms").arg(transfer.TimeoutMs));
        if (detail.isEmpty())
            detail = QString::fromLatin1(curl_easy_strerror(result));
        // libcurl's text names the failing step; the system's reason (refused, unreachable…)
        // is what tells the operator where to look.
        // The handle keeps the last system error across calls, so it is read only where this
        // call's failure set it.
        long systemError = 0;
        if (result == CURLE_COULDNT_CONNECT &&
            curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &systemError) == CURLE_OK && systemError != 0)
            detail +=
                QStringLiteral(" (") + qt_error_string(static_cast<int>(systemError)) + QLatin1Char(')');
        throw EHttpTransportError(detail);
    }

    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    transfer.Reply.StatusCode = static_cast<int>(status);
    const char* contentType = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &contentType) == CURLE_OK && contentType)
        transfer.Reply.ContentType = QString::fromLatin1(contentType);
    return std::move(transfer.Reply);
}
