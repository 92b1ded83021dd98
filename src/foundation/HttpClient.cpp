#include "foundation/HttpClient.h"

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
};

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
    const int timeoutMs = HttpPhaseTimeoutMs();
    const long stallSeconds = (timeoutMs + 999) / 1000;

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
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    // Sending and receiving have no time-out of their own in libcurl; a transfer that moves
    // nothing for the whole period is the same thing.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stallSeconds);
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
        curl_off_t connectedAfter = 0;
        if (result == CURLE_OPERATION_TIMEDOUT &&
            curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connectedAfter) == CURLE_OK && connectedAfter > 0)
            // libcurl words a stalled transfer as a speed limit, which is not what was set.
            detail = QStringLiteral("Timed out: nothing was exchanged with the server for %1 seconds")
                         .arg(stallSeconds);
        if (detail.isEmpty())
            detail = QString::fromLatin1(curl_easy_strerror(result));
        // libcurl's text names the failing step; the system's reason (refused, unreachable…)
        // is what tells the operator where to look.
        long systemError = 0;
        if (curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &systemError) == CURLE_OK && systemError != 0)
            detail += QStringLiteral(" (") + qt_error_string(static_cast<int>(systemError)) + QLatin1Char(')');
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
