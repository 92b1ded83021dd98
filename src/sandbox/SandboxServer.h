#pragma once

// The sandbox as a server: the service paths of the state systems' gateway, a time-stamp authority
// at /tsp/tsp.srf, the reply-signing certificate at GET /sandbox/certificate and the fault control
// at POST /sandbox/fault, all in one HTTP server with a thread of its own.

#include "sandbox/SandboxService.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

struct SandboxOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 8791;    // 0: a free port
    QByteArray trusted; // the certificates the signers' must be issued by; empty: any GOST certificate
    // Files whose certificates are added to `trusted`; one that cannot be read or holds no
    // certificate stops the start, since trusting nothing would accept any signer.
    QStringList trustFiles;
    QString dataFile;       // empty: the shipped demo data
    QString dumpFolder;     // not empty: every request and reply is kept there
    QString identityFolder; // not empty: the sandbox's keys are kept there
    qint64 maxBody = 10 * 1024 * 1024;
    QStringList faults; // OPERATION=KIND
    // Both set: https with this certificate and private key (PEM files).
    QString tlsCertificate;
    QString tlsKey;
    // How long an answer that never comes is held back at most (the client gives up before).
    std::chrono::milliseconds noReplyLimit{std::chrono::minutes(10)};
    // One line per exchange; null: standard output.
    std::function<void(const QString&)> log;
};

class SandboxServer final {
  public:
    // Listens once constructed; raises ESandboxError when the address cannot be bound or the
    // data, the identity or a fault cannot be read.
    explicit SandboxServer(SandboxOptions options);
    // Stops listening, releases answers held back and waits for the server's threads.
    ~SandboxServer();
    SandboxServer(const SandboxServer&) = delete;
    SandboxServer& operator=(const SandboxServer&) = delete;

    int port() const;
    // "http://HOST:PORT" (https with TLS) followed by the path.
    QString url(const QString& path) const;
    // The five settings lines that point a client at this sandbox.
    QStringList settingsLines() const;

    const SandboxIdentity& identity() const;
    SandboxService& service();

  private:
    struct Impl;
    std::unique_ptr<Impl> F;
};
