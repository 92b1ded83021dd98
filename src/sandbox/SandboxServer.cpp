#include "sandbox/SandboxServer.h"
#include "sandbox/SandboxError.h"

#include "sandbox/TimeStampAuthority.h"

#include "foundation/AtomicFileWriter.h"
#include "foundation/KeyValueFile.h"
#include "foundation/TrustedCertificates.h"

#include <QDateTime>
#include <QDir>

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

struct SandboxServer::Impl {
    SandboxOptions options;
    SandboxIdentity identity;
    std::unique_ptr<SandboxService> service;
    std::unique_ptr<TimeStampAuthority> authority;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;

    std::mutex mutex;
    std::mutex logMutex;
    std::condition_variable released;
    bool stopping = false;
    std::atomic<int> exchanges{0};

    void Log(const QString& operation, const QString& verdict, const QString& identifiers)
    {
        const QString line = QStringLiteral("%1 %2 %3%4")
                                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate),
                                      operation.isEmpty() ? QStringLiteral("-") : operation, verdict,
                                      identifiers.isEmpty() ? QString() : u' ' + identifiers);
        std::lock_guard lock(logMutex);
        if (options.log) {
            options.log(line);
        } else {
            std::fputs((line + u'\n').toUtf8().constData(), stdout);
            std::fflush(stdout);
        }
    }

    // Kept whole or not at all; a dump that cannot be written is logged and the exchange goes on.
    void Dump(int number, const QString& operation, const char* what, const QByteArray& bytes)
    {
        if (options.dumpFolder.isEmpty())
            return;
        const QString name =
            QStringLiteral("%1-%2-%3.xml")
                .arg(number, 6, 10, QLatin1Char('0'))
                .arg(operation.isEmpty() ? QStringLiteral("unknown") : operation, QLatin1String(what));
        try {
            WriteFileAtomically(QDir(options.dumpFolder).filePath(name), bytes);
        } catch (const Exception& e) {
            Log(operation, QStringLiteral("dump failed: ") + e.message(), {});
        }
    }

    void Serve(const httplib::Request& request, httplib::Response& response)
    {
        const int number = ++exchanges;
        const QByteArray body = QByteArray::fromStdString(request.body);
        SandboxReply reply;
        try {
            reply = service->handle(QString::fromStdString(request.path),
                                    QByteArray::fromStdString(request.get_header_value("SOAPAction")), body);
        } catch (...) {
            // A request the sandbox could not answer must not stop it.
            const QString error = ErrorText(std::current_exception());
            reply.status = 500;
            reply.body = service->signedFault(QStringLiteral("SMEV-100099"),
                                              QStringLiteral("Внутренняя ошибка песочницы: ") + error);
            reply.verdict = QStringLiteral("failed ") + error;
        }
        Dump(number, reply.operation, "request", body);
        Log(reply.operation, reply.verdict, reply.identifiers);
        if (reply.hang) {
            std::unique_lock lock(mutex);
            released.wait_for(lock, options.noReplyLimit, [this] { return stopping; });
            response.status = 504;
            return;
        }
        Dump(number, reply.operation, "reply", reply.body);
        response.status = reply.status;
        response.set_content(reply.body.toStdString(), reply.contentType.toStdString());
    }
};

SandboxServer::SandboxServer(SandboxOptions options) : F(std::make_unique<Impl>())
{
    F->options = std::move(options);
    for (const QString& file : F->options.trustFiles)
        F->options.trusted += ReadTrustedCertificates(file);
    F->identity = F->options.identityFolder.isEmpty() ? MakeSandboxIdentity()
                                                      : LoadOrMakeSandboxIdentity(F->options.identityFolder);
    F->service =
        std::make_unique<SandboxService>(LoadDemoData(F->options.dataFile), F->identity, F->options.trusted);
    for (const QString& fault : F->options.faults)
        F->service->setFault(fault);
    F->authority = std::make_unique<TimeStampAuthority>(
        X509Ptr(X509_dup(F->identity.timeStampCertificate.get())), EvpPkeyPtr([&] {
            EVP_PKEY_up_ref(F->identity.timeStampKey.get());
            return F->identity.timeStampKey.get();
        }()));
    if (!F->options.dumpFolder.isEmpty() && !QDir().mkpath(F->options.dumpFolder))
        throw ESandboxError(QStringLiteral("Не удалось создать папку %1 для --dump. Проверьте путь и права.")
                                .arg(F->options.dumpFolder));

    if (F->options.tlsCertificate.isEmpty() != F->options.tlsKey.isEmpty())
        throw ESandboxError(QStringLiteral("Для https укажите и сертификат, и ключ: --tls СЕРТИФИКАТ КЛЮЧ."));
    if (F->options.tlsCertificate.isEmpty()) {
        F->server = std::make_unique<httplib::Server>();
    } else {
        // OpenSSL reads these itself, without a bound; a device or a huge file is refused first.
        ReadFileBytes(F->options.tlsCertificate);
        ReadFileBytes(F->options.tlsKey);
        const std::string certificate = F->options.tlsCertificate.toStdString();
        const std::string key = F->options.tlsKey.toStdString();
        auto server = std::make_unique<httplib::SSLServer>(certificate.c_str(), key.c_str());
        if (!server->is_valid())
            throw ESandboxError(
                QStringLiteral("Не удалось включить https с сертификатом %1 и ключом %2: укажите файлы "
                               "PEM, где ключ — от этого сертификата.")
                    .arg(F->options.tlsCertificate, F->options.tlsKey));
        F->server = std::move(server);
    }

    Impl* impl = F.get();
    const auto serve = [impl](const httplib::Request& request, httplib::Response& response) {
        impl->Serve(request, response);
    };
    for (const char* sid : {"SID0003663", "SID0004153", "SID0004154"})
        F->server->Post(std::string("/gateway/services/") + sid, serve);
    F->server->Post("/tsp/tsp.srf", [impl](const httplib::Request& request, httplib::Response& response) {
        try {
            response.set_content(
                impl->authority->respond(QByteArray::fromStdString(request.body)).toStdString(),
                "application/timestamp-reply");
            impl->Log(QStringLiteral("timestamp"), QStringLiteral("answered"), {});
        } catch (...) {
            response.status = 500;
            impl->Log(QStringLiteral("timestamp"),
                      QStringLiteral("failed ") + ErrorText(std::current_exception()), {});
        }
    });
    F->server->Get("/sandbox/certificate", [impl](const httplib::Request&, httplib::Response& response) {
        response.set_content(impl->identity.signerChainPem().toStdString(), "application/x-pem-file");
    });
    F->server->Post("/sandbox/fault", [impl](const httplib::Request& request, httplib::Response& response) {
        QStringList lines;
        for (const QString& line : QString::fromStdString(request.body).split(u'\n', Qt::SkipEmptyParts))
            if (!line.trimmed().isEmpty())
                lines << line.trimmed();
        try {
            impl->service->setFaults(lines);
            response.set_content("ok\n", "text/plain; charset=utf-8");
            impl->Log(QStringLiteral("control"), QStringLiteral("fault ") + lines.join(u' '), {});
        } catch (const ESandboxUsageError&) {
            // What was sent is not repeated: whatever a caller posts must not come back as the
            // sandbox's own words.
            response.status = 400;
            response.set_content(
                (QStringLiteral("Ничего не изменено: ") + FaultUsageText() + u'\n').toStdString(),
                "text/plain; charset=utf-8");
            impl->Log(QStringLiteral("control"), QStringLiteral("fault refused"), {});
        }
    });
    F->server->set_payload_max_length(size_t(F->options.maxBody));
    F->server->set_error_handler([impl](const httplib::Request& request, httplib::Response& response) {
        if (response.status == 413) {
            response.set_content(
                impl->service
                    ->signedFault(
                        QStringLiteral("SMEV-100013"),
                        QStringLiteral("Размер запроса превышает %1 байт").arg(impl->options.maxBody))
                    .toStdString(),
                "text/xml; charset=utf-8");
            impl->Log({}, QStringLiteral("refused SMEV-100013 body too large"),
                      QString::fromStdString(request.path));
        }
    });
    // An idle kept-alive connection would hold the server's stop for the whole keep-alive time.
    F->server->set_keep_alive_timeout(1);
    // httplib's default also sets SO_REUSEPORT, with which a second sandbox on a busy port binds and
    // takes half of the other's connections. SO_REUSEADDR alone only allows a restart right after a stop.
    F->server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<char*>(&yes), sizeof(yes));
    });

    const std::string host = F->options.host.toStdString();
    F->port = F->options.port == 0 ? F->server->bind_to_any_port(host)
                                   : (F->server->bind_to_port(host, F->options.port) ? F->options.port : -1);
    if (F->port <= 0)
        throw ESandboxError(QStringLiteral("Не удалось занять порт %2 на адресе %1: порт занят или адрес не "
                                           "принадлежит этому компьютеру. Выберите другой порт ключом --port "
                                           "(0 — любой свободный).")
                                .arg(F->options.host)
                                .arg(F->options.port));
    F->thread = std::thread([impl] { impl->server->listen_after_bind(); });
    while (!F->server->is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

SandboxServer::~SandboxServer()
{
    {
        std::lock_guard lock(F->mutex);
        F->stopping = true;
    }
    F->released.notify_all();
    F->server->stop();
    if (F->thread.joinable())
        F->thread.join();
}

int SandboxServer::port() const
{
    return F->port;
}

QString SandboxServer::url(const QString& path) const
{
    const QString host = F->options.host.contains(u':') ? u'[' + F->options.host + u']' : F->options.host;
    const QString scheme =
        F->options.tlsCertificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https");
    return QStringLiteral("%1://%2:%3%4").arg(scheme, host).arg(F->port).arg(path);
}

QStringList SandboxServer::settingsLines() const
{
    return {QStringLiteral("ServiceChargesGISGMP=") + url(QStringLiteral("/gateway/services/SID0003663")),
            QStringLiteral("ServicePaymentGISGMP=") + url(QStringLiteral("/gateway/services/SID0003663")),
            QStringLiteral("ServiceChargesGISGKX=") + url(QStringLiteral("/gateway/services/SID0004153")),
            QStringLiteral("ServicePaymentGISGKX=") + url(QStringLiteral("/gateway/services/SID0004154")),
            QStringLiteral("TimeStampServer=") + url(QStringLiteral("/tsp/tsp.srf"))};
}

const SandboxIdentity& SandboxServer::identity() const
{
    return F->identity;
}

SandboxService& SandboxServer::service()
{
    return *F->service;
}
